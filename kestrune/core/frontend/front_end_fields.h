// The front end's constants by name, so that a tool can set any of them from text.
#pragma once

#include <string>

#include "core/frontend/front_end.h"

namespace kestrune {

// Sets the field called `name` of `config` from `value`; false (with `error`) for an unknown
// name or a value that is not a number of the field's type.
bool SetFrontEndField(FrontEndConfig& config, const std::string& name, const std::string& value,
                      std::string& error);

// The names SetFrontEndField knows, separated by spaces.
std::string FrontEndFieldNames();

}  // namespace kestrune
