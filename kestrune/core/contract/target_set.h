// A loaded set of targets, as COM_IDENTI_LoadFromSubDirsToBuffers hands it out, and the loading
// of a models directory through the model cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/contract/model_cache.h"
#include "core/contract/prepared_targets.h"
#include "core/models/model_files.h"
#include "core/scoring/background.h"

namespace kestrune {

inline constexpr uint64_t kSetMagic = 0x315445534E52534Bull;  // "KSRNSET1"

// One load's set: shares its prepared targets with other sets of the same files and the
// cache; owns its names. A directory over the target limit gives a set of no targets with
// `tooManyTargets`, which scoring answers with KS_ERR_TOO_MANY_TARGETS.
struct TargetSet {
    uint64_t magic = kSetMagic;
    std::shared_ptr<const Background> ubm;
    std::shared_ptr<const PreparedTargets> targets;
    std::vector<char> names;  // a slot of kTargetNameSlot bytes per target
    bool tooManyTargets = false;
};

// Reads one target's model file (ReadFileOutcome unless a test puts another in its place).
using TargetFileReader = std::function<ReadOutcome(
    const std::filesystem::path& file, std::vector<uint8_t>& bytes, std::string& error)>;

struct LoadRules {
    bool strict = false;       // an unusable target model fails the whole load
    bool cutLongNames = true;  // names over 255 bytes are cut rather than skipped
    // A directory listing more targets than this is refused whole, before any file is read.
    size_t limit = SIZE_MAX;
    TargetFileReader reader;  // empty: ReadFileOutcome
};

// The usable targets under `models` (those whose model files read correctly and were adapted
// from `ubm`), in name order; null when there are none or the rules fail the load. Targets the
// cache holds for unchanged files are not read again; what was prepared is offered to the
// cache. `filesRead`, when given, receives the number of model files read.
//
// Names leave as modified UTF-8 cut to the slot, so distinct directories can meet in one name
// (bytes that are not UTF-8 all become U+FFFD; a cut removes what told two long names apart).
// Every target of such a group is left out, and the group is reported once per process on
// standard error: no name reaches the caller that stands for two targets.
std::unique_ptr<TargetSet> LoadTargetSet(const std::filesystem::path& models,
                                         std::shared_ptr<const Background> ubm,
                                         const LoadRules& rules, ModelCache& cache,
                                         size_t* filesRead = nullptr);

// The number of targets a load would find usable: those that fit `ubm`, or, without one, those
// whose model file reads correctly; targets whose names meet are not counted, as a load leaves
// them out. A directory listing more than `limit` targets gives the number listed, without
// reading any file.
size_t CountUsableTargets(const std::filesystem::path& models, const Background* ubm,
                          ModelCache& cache, size_t limit = SIZE_MAX,
                          const TargetFileReader& reader = {});

}  // namespace kestrune
