// Targets enrolled with another background model, found by the tool for its own message.
#include "tool/other_background.h"

#include <vector>

#include "core/contract/model_directories.h"
#include "core/contract/target_directory.h"
#include "core/models/model_files.h"

namespace kestrune {

std::map<uint64_t, size_t> TargetsOfOtherBackgrounds(const std::filesystem::path& models,
                                                     uint64_t loaded) {
    std::map<uint64_t, size_t> others;
    for (const TargetDirectory& directory : FindTargetDirectories(models)) {
        std::vector<uint8_t> bytes;
        std::string error;
        TargetModel model;
        if (ReadWholeFile(directory.modelFile.path, kMaxModelFileBytes, bytes, error) &&
            DecodeTarget(bytes, model, error) && model.ubmFingerprint != loaded) {
            ++others[model.ubmFingerprint];
        }
    }
    return others;
}

std::string OtherBackgroundsMessage(const std::string& models, const std::string& ubm,
                                    uint64_t loaded, const std::map<uint64_t, size_t>& others,
                                    const std::filesystem::path& defaultUbm) {
    if (others.empty()) {
        return "";
    }
    uint64_t defaultFingerprint = 0;
    std::shared_ptr<const Background> fallback;
    std::string error;
    const bool haveDefault =
        !defaultUbm.empty() && ReadBackground(defaultUbm.string(), fallback, error);
    if (haveDefault) {
        defaultFingerprint = fallback->fingerprint();
    }
    std::string message;
    for (const auto& [needed, count] : others) {
        message += std::to_string(count) + (count == 1 ? " target" : " targets") + " under " +
                   models + " " + (count == 1 ? "was" : "were") +
                   " enrolled with background model " + FingerprintText(needed) + ", not with " +
                   ubm + " (" + FingerprintText(loaded) + "), and set aside: ";
        if (haveDefault && needed == defaultFingerprint && needed != loaded) {
            message += std::string("the default background model ") + defaultUbm.string() +
                       " is that model: leave out --ubm\n";
        } else {
            message +=
                "give --ubm with the background model they were enrolled with, or enroll "
                "them again with this one\n";
        }
    }
    return message;
}

}  // namespace kestrune
