// Why a models directory gives no targets under a background model, when the reason is that
// its targets were enrolled with another one: which models they need, and how many need each.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace kestrune {

// The fingerprints of the background models the intact targets under `models` were enrolled
// with, other than `loaded`, with how many targets record each.
std::map<uint64_t, size_t> TargetsOfOtherBackgrounds(const std::filesystem::path& models,
                                                     uint64_t loaded);

// What to tell the user about `others` (empty when there are none): how many targets were set
// aside and which background model they need, and, when `defaultUbm` (a background-model
// directory, or empty) is that model, that it is the one to use.
std::string OtherBackgroundsMessage(const std::string& models, const std::string& ubm,
                                    uint64_t loaded, const std::map<uint64_t, size_t>& others,
                                    const std::filesystem::path& defaultUbm);

}  // namespace kestrune
