// The options of kestrune evaluate that are numbers, described once.
#pragma once

#include <cstdint>
#include <span>

#include "core/base/option_table.h"

namespace kestrune {

struct EvaluateOptions {
    uint32_t threads = 0;  // 0: not given, the machine's cores
};

std::span<const OptionField<EvaluateOptions>> EvaluateOptionFields();

// The threads asked for, or the machine's cores (at least 1) when none were.
unsigned RequestedThreads(const EvaluateOptions& options);

}  // namespace kestrune
