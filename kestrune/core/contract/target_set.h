// A loaded set of targets, as COM_IDENTI_LoadFromSubDirsToBuffers hands it out, and the loading
// of a models directory through the model cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/contract/model_cache.h"
#include "core/contract/prepared_targets.h"
#include "core/scoring/background.h"

namespace kestrune {

inline constexpr uint64_t kSetMagic = 0x315445534E52534Bull;  // "KSRNSET1"

// One load's set: shares its prepared targets with other sets of the same files and the
// cache; owns its names.
struct TargetSet {
    uint64_t magic = kSetMagic;
    std::shared_ptr<const Background> ubm;
    std::shared_ptr<const PreparedTargets> targets;
    std::vector<char> names;  // a slot of kTargetNameSlot bytes per target
};

struct LoadRules {
    bool strict = false;       // an unusable target model fails the whole load
    bool cutLongNames = true;  // names over 255 bytes are cut rather than skipped
    size_t limit = SIZE_MAX;   // more usable targets than this fail the load
};

// The usable targets under `models` (those whose model files read correctly and were adapted
// from `ubm`), in name order; null when there are none or the rules fail the load. Targets the
// cache holds for unchanged files are not read again; what was prepared is offered to the
// cache. `filesRead`, when given, receives the number of model files read.
std::unique_ptr<TargetSet> LoadTargetSet(const std::filesystem::path& models,
                                         std::shared_ptr<const Background> ubm,
                                         const LoadRules& rules, ModelCache& cache,
                                         size_t* filesRead = nullptr);

// The number of targets a load would find usable: those that fit `ubm`, or, without one, those
// whose model file reads correctly.
size_t CountUsableTargets(const std::filesystem::path& models, const Background* ubm,
                          ModelCache& cache);

}  // namespace kestrune
