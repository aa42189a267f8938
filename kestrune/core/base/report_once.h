// Lines for the process's standard error that say something once, however often the engine
// meets the same thing: a setting it does not understand, a name it leaves out on every load.
#pragma once

#include <string>
#include <string_view>

namespace kestrune {

// Writes `line` (and a newline) to standard error the first time `key` is given in this
// process; true when it was written. Keys are remembered up to a bound (so that endless
// distinct names cannot grow memory); past it nothing more is written.
bool ReportOnce(const std::string& key, const std::string& line);

// `text` for one line of a log: control characters, backslashes and bytes above 0x7E as \xNN,
// so that a name holding a newline cannot forge a line.
std::string EscapedForLine(std::string_view text);

}  // namespace kestrune
