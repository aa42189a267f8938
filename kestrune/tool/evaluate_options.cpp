// kestrune evaluate's numeric options.
#include "tool/evaluate_options.h"

#include <algorithm>
#include <thread>

namespace kestrune {
namespace {

constexpr OptionField<EvaluateOptions> kFields[] = {
    {"threads", &FieldOf<&EvaluateOptions::threads>, 1, 256,
     "trials scored in parallel, never more than the engine scores at once", "the machine's cores"},
};

}  // namespace

std::span<const OptionField<EvaluateOptions>> EvaluateOptionFields() {
    return kFields;
}

unsigned RequestedThreads(const EvaluateOptions& options) {
    return options.threads > 0 ? options.threads
                               : std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace kestrune
