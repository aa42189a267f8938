// Enrollment's settable options.
#include "core/enrollment/enrollment_options.h"

#include "core/models/model_ranges.h"

namespace kestrune {
namespace {

// The relevance factor is stored in the target's file, whose reader accepts the same range.
constexpr OptionField<EnrollmentOptions> kFields[] = {
    {"relevance", &FieldOf<&EnrollmentOptions::relevance>, 0, kMaxRelevance,
     "MAP relevance factor: how many frames a component needs before the target's own speech "
     "outweighs the background model"},
};

}  // namespace

std::span<const OptionField<EnrollmentOptions>> EnrollmentOptionFields() {
    return kFields;
}

}  // namespace kestrune
