// Loading a models directory: the listing and its file identities on every load; the targets
// themselves from the cache when their files have not changed, else read, checked and prepared.
#include "core/contract/target_set.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <utility>

#include "core/base/path_text.h"
#include "core/base/report_once.h"
#include "core/contract/names.h"
#include "core/contract/target_directory.h"
#include "core/models/model_files.h"
#include "engine/kestrune.h"

namespace kestrune {
namespace {

constexpr size_t kNameSlot = jkestrune::kTargetNameSlot;

enum class Verdict { kUsable, kUnusable, kUnavailable, kOtherBackground };

// Reads a target's model file: usable when it is intact, in range and, given `ubm`, adapted
// from it; unavailable when it could not be read this time; of another background when it is
// intact but was enrolled with a background model other than `ubm`.
Verdict ReadTarget(const std::filesystem::path& file, const Background* ubm,
                   const TargetFileReader& reader, TargetModel& model) {
    std::vector<uint8_t> bytes;
    std::string error;
    const ReadOutcome outcome = reader ? reader(file, bytes, error)
                                       : ReadFileOutcome(file, kMaxModelFileBytes, bytes, error);
    if (outcome != ReadOutcome::kRead) {
        return outcome == ReadOutcome::kUnavailable ? Verdict::kUnavailable : Verdict::kUnusable;
    }
    if (!DecodeTarget(bytes, model, error)) {
        return Verdict::kUnusable;
    }
    if (ubm != nullptr && model.ubmFingerprint != ubm->fingerprint()) {
        return Verdict::kOtherBackground;
    }
    return ubm == nullptr || TargetFitsBackground(model, *ubm) ? Verdict::kUsable
                                                               : Verdict::kUnusable;
}

// Targets set aside because they were enrolled with another background model, by the
// fingerprint of the model they need.
using OtherBackgrounds = std::map<uint64_t, size_t>;

void Tally(Verdict verdict, const TargetModel& model, OtherBackgrounds& others) {
    if (verdict == Verdict::kOtherBackground) {
        ++others[model.ubmFingerprint];
    }
}

// One line per process, directory and background model needed, naming the model by the
// fingerprint its targets record: the cure is to load that model or enroll the targets again.
void ReportOtherBackgrounds(const std::filesystem::path& models, uint64_t loaded,
                            const OtherBackgrounds& others) {
    for (const auto& [needed, count] : others) {
        const std::string where = EscapedForLine(PathUtf8(models));
        ReportOnce(
            "background\n" + where + "\n" + FingerprintText(loaded) + FingerprintText(needed),
            std::to_string(count) + (count == 1 ? " target" : " targets") + " in '" + where +
                "' set aside: enrolled with background model " + FingerprintText(needed) +
                ", not the loaded one (" + FingerprintText(loaded) +
                "); load the background model they were enrolled with, or enroll them "
                "again with this one");
    }
}

// The name a target leaves with, or nothing when its name is too long and is not to be cut.
std::optional<std::string> SlotName(const std::string& name, bool cutLongNames) {
    std::string converted = ModifiedUtf8Name(name, std::numeric_limits<size_t>::max());
    if (converted.size() < kNameSlot) {
        return converted;
    }
    if (!cutLongNames) {
        return std::nullopt;
    }
    return ModifiedUtf8Name(name, kNameSlot - 1);
}

// Leaves out every target whose slot name another target has too (the entries of `chosen`
// and `slotNames` at the same positions), and reports each such name once per process and
// directory.
void LeaveOutCollisions(const std::filesystem::path& models,
                        const std::vector<TargetDirectory>& listing, std::vector<int32_t>& chosen,
                        std::vector<std::string>& slotNames) {
    std::vector<size_t> order(chosen.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return slotNames[a] < slotNames[b]; });
    std::vector<uint8_t> collides(chosen.size(), 0);
    for (size_t k = 0; k + 1 < order.size(); ++k) {
        if (slotNames[order[k]] == slotNames[order[k + 1]]) {
            collides[order[k]] = collides[order[k + 1]] = 1;
        }
    }
    if (std::find(collides.begin(), collides.end(), 1) == collides.end()) {
        return;  // the common case: nothing to copy
    }
    std::vector<int32_t> keptTargets;
    std::vector<std::string> keptNames;
    for (size_t k = 0; k < chosen.size(); ++k) {
        if (!collides[k]) {
            keptTargets.push_back(chosen[k]);
            keptNames.push_back(std::move(slotNames[k]));
            continue;
        }
        const std::string& directory = listing[static_cast<size_t>(chosen[k])].name;
        const std::string where = PathUtf8(models);
        ReportOnce("name\n" + where + "\n" + directory,
                   "target directory '" + EscapedForLine(directory) + "' in '" +
                       EscapedForLine(where) + "' left out: its name reaches the caller as '" +
                       EscapedForLine(slotNames[k]) + "', as another target's does");
    }
    chosen = std::move(keptTargets);
    slotNames = std::move(keptNames);
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
    if (listing.size() > rules.limit) {
        // Refused by counting: no file of a directory this large is read.
        auto set = std::make_unique<TargetSet>();
        set->ubm = std::move(ubm);
        set->targets = std::make_shared<const PreparedTargets>();
        set->tooManyTargets = true;
        return set;
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
    OtherBackgrounds others;
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
            const Verdict verdict = ReadTarget(files[i].path, ubm.get(), rules.reader, read[i]);
            Tally(verdict, read[i], others);
            usable = verdict == Verdict::kUsable;
            sources[i] = {nullptr, -1, usable ? &read[i] : nullptr,
                          verdict == Verdict::kUnavailable};
        }
        if (!usable) {
            if (rules.strict) {
                ReportOtherBackgrounds(models, fingerprint, others);
                return nullptr;
            }
            continue;
        }
        std::optional<std::string> name = SlotName(listing[i].name, rules.cutLongNames);
        if (!name) {
            continue;
        }
        if (chosen.size() >= rules.limit) {
            return nullptr;
        }
        chosen.push_back(static_cast<int32_t>(i));
        slotNames.push_back(std::move(*name));
    }
    ReportOtherBackgrounds(models, fingerprint, others);
    LeaveOutCollisions(models, listing, chosen, slotNames);
    if (!prepared && std::any_of(sources.begin(), sources.end(),
                                 [](const TargetSource& s) { return s.model || s.prepared; })) {
        prepared = PrepareTargets(*ubm, std::move(files), sources);
        cache.Keep(prepared, FileClockNow());
    }
    if (chosen.empty()) {
        return nullptr;
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
                          ModelCache& cache, size_t limit, const TargetFileReader& reader) {
    std::vector<TargetDirectory> listing = FindTargetDirectories(models);
    if (listing.size() > limit) {
        return listing.size();
    }
    const std::vector<FileIdentity> files = TakeFiles(listing);
    std::shared_ptr<const PreparedTargets> prepared;
    std::vector<ModelCache::Known> known(files.size());
    if (ubm != nullptr && !files.empty()) {
        prepared = cache.FindListing(ubm->fingerprint(), files);
        if (!prepared) {
            known = cache.FindFiles(ubm->fingerprint(), files);
        }
    }
    // The targets a load would take, names and all.
    std::vector<int32_t> chosen;
    std::vector<std::string> slotNames;
    OtherBackgrounds others;
    for (size_t i = 0; i < files.size(); ++i) {
        bool usable;
        if (prepared) {
            usable = prepared->targetOf[i] >= 0;
        } else if (known[i].prepared) {
            usable = known[i].target >= 0;
        } else {
            TargetModel model;
            const Verdict verdict = ReadTarget(files[i].path, ubm, reader, model);
            Tally(verdict, model, others);
            usable = verdict == Verdict::kUsable;
        }
        if (usable) {
            chosen.push_back(static_cast<int32_t>(i));
            slotNames.push_back(*SlotName(listing[i].name, true));
        }
    }
    if (ubm != nullptr) {
        ReportOtherBackgrounds(models, ubm->fingerprint(), others);
    }
    LeaveOutCollisions(models, listing, chosen, slotNames);
    return chosen.size();
}

}  // namespace kestrune
