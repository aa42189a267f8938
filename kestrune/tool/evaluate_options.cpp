// kestrune evaluate's numeric options.
#include "tool/evaluate_options.h"

#include <algorithm>
#include <thread>

namespace kestrune {
namespace {

constexpr OptionField<EvaluateOptions> kFields[] = {
    {"threads", &FieldOf<&EvaluateOptions::threads>, 1, 256,
     "trials scored in parallel, at most as many as the engine scores at once; a trial the engine "
     "still answers busy after ten tries is unscored (exit status 1)",
     "the machine's cores"},
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
