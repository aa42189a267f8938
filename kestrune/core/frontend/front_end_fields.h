// The front end's constants, described once: name, valid range and meaning of every field of
// FrontEndConfig that a tool may set and a background model stores. Defaults are the
// config's member initialisers.
#pragma once

#include <span>
#include <string>

#include "core/base/option_table.h"
#include "core/frontend/front_end_config.h"

namespace kestrune {

// The settable fields, in the order a background model stores them. The sample rate is fixed
// (recordings are resampled to it) and the telephone band belongs to the recording traits'
// calibration, so neither is among them.
std::span<const OptionField<FrontEndConfig>> FrontEndFields();

// Sets the field called `name` of `config` from `value`; false (with `error`) for an unknown
// name, a value that is not a number of the field's type, or one outside the field's range.
bool SetFrontEndField(FrontEndConfig& config, const std::string& name, const std::string& value,
                      std::string& error);

// The names SetFrontEndField knows, separated by spaces.
std::string FrontEndFieldNames();

}  // namespace kestrune
