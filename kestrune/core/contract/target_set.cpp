// Loading a models directory: the listing and its file identities on every load; the targets
// themselves from the cache when their files have not changed, else read, checked and prepared.
#include "core/contract/target_set.h"

#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/contract/names.h"
#include "core/contract/target_directory.h"
#include "core/models/model_files.h"
#include "engine/kestrune.h"

namespace kestrune {
namespace {

constexpr size_t kNameSlot = jkestrune::kTargetNameSlot;

// Reads a target's model file; true when it is intact and, given `ubm`, was adapted from it.
bool ReadUsableTarget(const std::filesystem::path& file, const Background* ubm,
                      TargetModel& model) {
    std::vector<uint8_t> bytes;
    std::string error;
    return ReadWholeFile(file, kMaxModelFileBytes, bytes, error) &&
           DecodeTarget(bytes, model, error) &&
           (ubm == nullptr || TargetFitsBackground(model, *ubm));
}

// Moves the model files' identities out of `listing` (its names stay).
std::vector<FileIdentity> TakeFiles(std::vector<TargetDirectory>& listing) {
    std::vector<FileIdentity> files;
    files.reserve(listing.size());
    for (TargetDirectory& directory : listing) {
        files.push_back(std::move(directory.modelFile));
    }
    return files;
}

}  // namespace

std::unique_ptr<TargetSet> LoadTargetSet(const std::filesystem::path& models,
                                         std::shared_ptr<const Background> ubm,
                                         const LoadRules& rules, ModelCache& cache,
                                         size_t* filesRead) {
    if (filesRead != nullptr) {
        *filesRead = 0;
    }
    std::vector<TargetDirectory> listing = FindTargetDirectories(models);
    if (listing.empty()) {
        return nullptr;
    }
    std::vector<FileIdentity> files = TakeFiles(listing);
    const uint64_t fingerprint = ubm->fingerprint();

    // Where each file's target comes from: an unchanged listing's preparation, else what the
    // cache knows of each file, else the file itself.
    std::shared_ptr<const PreparedTargets> prepared = cache.FindListing(fingerprint, files);
    std::vector<ModelCache::Known> known;
    std::vector<TargetSource> sources;
    std::vector<TargetModel> read;
    if (!prepared) {
        known = cache.FindFiles(fingerprint, files);
        sources.resize(listing.size());
        read.resize(listing.size());
    }

    // The rules in name order, reading files as they are reached, so that a failed load stops
    // as soon as its outcome is known.
    std::vector<int32_t> chosen;  // indices into `listing`
    std::vector<std::string> slotNames;
    for (size_t i = 0; i < listing.size(); ++i) {
        bool usable;
        if (prepared) {
            usable = prepared->targetOf[i] >= 0;
        } else if (known[i].prepared) {
            usable = known[i].target >= 0;
            if (usable) {
                sources[i] = {known[i].prepared.get(), known[i].target, nullptr};
            }
        } else {
            if (filesRead != nullptr) {
                ++*filesRead;
            }
            usable = ReadUsableTarget(files[i].path, ubm.get(), read[i]);
            sources[i] = {nullptr, -1, usable ? &read[i] : nullptr};
        }
        if (!usable) {
            if (rules.strict) {
                return nullptr;
            }
            continue;
        }
        std::string name = ModifiedUtf8Name(listing[i].name, std::numeric_limits<size_t>::max());
        if (name.size() >= kNameSlot) {
            if (!rules.cutLongNames) {
                continue;
            }
            name = ModifiedUtf8Name(listing[i].name, kNameSlot - 1);
        }
        if (chosen.size() >= rules.limit) {
            return nullptr;
        }
        chosen.push_back(static_cast<int32_t>(i));
        slotNames.push_back(std::move(name));
    }
    if (chosen.empty()) {
        return nullptr;
    }
    if (!prepared) {
        prepared = PrepareTargets(*ubm, std::move(files), sources);
        cache.Keep(prepared, FileClockNow());
    }
    if (chosen.size() != static_cast<size_t>(prepared->Targets())) {
        // Targets skipped for their names: a set of the others, of its own.
        std::vector<FileIdentity> subset;
        std::vector<TargetSource> picks;
        for (const int32_t i : chosen) {
            subset.push_back(prepared->files[static_cast<size_t>(i)]);
            picks.push_back({prepared.get(), prepared->targetOf[static_cast<size_t>(i)], nullptr});
        }
        prepared = PrepareTargets(*ubm, std::move(subset), picks);
    }

    auto set = std::make_unique<TargetSet>();
    set->ubm = std::move(ubm);
    set->targets = std::move(prepared);
    set->names.assign(chosen.size() * kNameSlot, '\0');
    for (size_t t = 0; t < slotNames.size(); ++t) {
        std::memcpy(set->names.data() + t * kNameSlot, slotNames[t].data(), slotNames[t].size());
    }
    return set;
}

size_t CountUsableTargets(const std::filesystem::path& models, const Background* ubm,
                          ModelCache& cache) {
    std::vector<TargetDirectory> listing = FindTargetDirectories(models);
    const std::vector<FileIdentity> files = TakeFiles(listing);
    std::vector<ModelCache::Known> known(files.size());
    if (ubm != nullptr && !files.empty()) {
        if (const auto prepared = cache.FindListing(ubm->fingerprint(), files)) {
            return static_cast<size_t>(prepared->Targets());
        }
        known = cache.FindFiles(ubm->fingerprint(), files);
    }
    size_t usable = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        TargetModel model;
        usable +=
            known[i].prepared ? known[i].target >= 0 : ReadUsableTarget(files[i].path, ubm, model);
    }
    return usable;
}

}  // namespace kestrune
