// The true targets named in a trial list. The list is UTF-8 text; the engine gives its target
// names in modified UTF-8 (characters beyond the Basic Multilingual Plane as surrogate pairs,
// bytes that are not UTF-8 as U+FFFD, cut to 255 bytes), so the list's names are converted to
// that form before they are compared. Where the conversion makes two names one, or the engine
// gives one name to several targets, the name cannot say which target is meant: it is refused
// as ambiguous rather than resolved to one of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// The name a trial list gives a speaker who is not enrolled.
inline constexpr const char* kNotEnrolled = "-";

// Sets `truth[i]` to the index in `engineNames` of the target `listed[i]` names, or -1 for
// kNotEnrolled. False, with `error` set (names escaped), for a name that is no loaded target,
// a name several targets share, or two different names in the list that are one for the engine.
bool MatchTrialNames(const std::vector<std::string>& listed,
                     const std::vector<std::string>& engineNames, std::vector<int32_t>& truth,
                     std::string& error);

}  // namespace kestrune
