// The targets of one listing of a models directory, prepared against one background model: what
// a loaded set scores with. Immutable once built, so that every set loaded from the same
// unchanged files shares one copy, and the model cache can keep it between loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/contract/file_identity.h"
#include "core/models/target_model.h"
#include "core/scoring/background.h"
#include "core/scoring/rates.h"
#include "core/scoring/scoring.h"

namespace kestrune {

inline constexpr int32_t kUnusableTarget = -1;
inline constexpr int32_t kUnavailableTarget = -2;

struct PreparedTargets {
    uint64_t ubmFingerprint = 0;
    // Every target file of the listing, in the listing's order, and for each its target in
    // `banks`, kUnusableTarget when the file is damaged, out of range or of another background
    // model, or kUnavailableTarget when it could not be read this time (a verdict the cache
    // does not keep: such a file is read again on the next load).
    std::vector<FileIdentity> files;
    std::vector<int32_t> targetOf;
    bool anyUnavailable = false;                      // some file is kUnavailableTarget
    ConditionBanks banks;                             // every target's model for each condition
    std::vector<std::vector<GenuineSample>> genuine;  // per target
    std::vector<GenuineSample> pooledGenuine;         // of all the targets, for rejection rates
    size_t bytes = 0;                                 // the memory all this holds, about

    Eigen::Index Targets() const { return banks.Targets(); }
};

// Where one file's target comes from when targets are prepared.
struct TargetSource {
    // Target `target` of a preparation made before (its prepared models are copied) ...
    const PreparedTargets* prepared = nullptr;
    int32_t target = -1;
    // ... or a model just read from its file (its contents are moved out). Neither: the file is
    // unusable, or with `unavailable` could not be read.
    TargetModel* model = nullptr;
    bool unavailable = false;
};

// Prepares the targets of `files` (one source each, in order) against `ubm`, which every source
// fits. Models read from files are prepared for scoring; targets prepared before are copied as
// they are. At least one source must be usable.
std::shared_ptr<const PreparedTargets> PrepareTargets(const Background& ubm,
                                                      std::vector<FileIdentity> files,
                                                      const std::vector<TargetSource>& sources);

}  // namespace kestrune
