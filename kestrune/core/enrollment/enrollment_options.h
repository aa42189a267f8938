// The options of enrollment that a tool may set, described once (defaults are
// EnrollmentOptions' member initialisers).
#pragma once

#include <span>

#include "core/base/option_table.h"
#include "core/enrollment/enrollment.h"

namespace kestrune {

std::span<const OptionField<EnrollmentOptions>> EnrollmentOptionFields();

}  // namespace kestrune
