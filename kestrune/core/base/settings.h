// Numbers from environment settings, read strictly: a setting is plain decimal digits (leading
// zeros allowed), nothing else, within its range. A value that is not understood changes
// nothing but a line on standard error, once per process and setting; the default applies.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrune {

// The number `text` holds when it is only decimal digits and at most `maximum`; nothing
// otherwise (empty, a sign, spaces, any other character, or too large).
std::optional<uint64_t> ParseSettingNumber(std::string_view text, uint64_t maximum);

// The value of setting `name` given its text (`text` null when unset): the number it holds, or
// nothing, for which the caller applies its default. A text that is not such a number is
// reported once on standard error.
std::optional<uint64_t> SettingNumber(const char* name, const char* text, uint64_t maximum);

}  // namespace kestrune
