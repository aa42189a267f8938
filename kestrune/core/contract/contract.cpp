// The seven functions the library imports, and the state the engine keeps: the background
// model loaded last, and the model cache of prepared targets (model_cache.h).
//
// A model set is a TargetSet object (target_set.h); the values handed to the library mean:
//   modelBufferA  the TargetSet, which holds everything below
//   modelBufferB  its ConditionBanks: the adapted means of every condition, prepared for
//                 scoring (shared, read-only, with other sets of the same unchanged files)
//   modelBufferC  its genuine scores, one list per target (shared likewise)
//   modelBufferD  the background model it was loaded against (shared, kept alive by the set)
//   modelValueA   mixture components of that background model
//   modelValueB   feature dimension
//   targetNames   targetCount slots of 256 bytes inside the set
// A set keeps its own references, so loading another background model, or the cache dropping
// the set's targets, while other threads score never pulls a model from under them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/contract/engine_codes.h"
#include "core/contract/export.h"
#include "core/contract/model_cache.h"
#include "core/contract/model_directories.h"
#include "core/contract/names.h"
#include "core/contract/stream_gate.h"
#include "core/contract/target_set.h"
#include "core/models/model_files.h"
#include "core/models/model_ranges.h"
#include "core/scoring/background.h"
#include "core/scoring/rates.h"
#include "core/scoring/scoring.h"
#include "core/scoring/trial_scoring.h"
#include "engine/kestrune.h"

namespace kestrune {
namespace {

class EngineState {
  public:
    std::shared_ptr<const Background> Ubm() {
        std::lock_guard lock(mutex_);
        return ubm_;
    }
    void SetUbm(std::shared_ptr<const Background> ubm) {
        std::lock_guard lock(mutex_);
        ubm_ = std::move(ubm);
    }
    StreamGate& streams() { return streams_; }
    ModelCache& cache() { return cache_; }

  private:
    static ModelCacheLimits CacheLimits() {
        ModelCacheLimits limits;
        limits.maxBytes = CacheBytesFromSetting(std::getenv(kCacheSettingName));
        return limits;
    }

    std::mutex mutex_;
    std::shared_ptr<const Background> ubm_;
    StreamGate streams_{kMaxStreams};
    ModelCache cache_{CacheLimits()};  // KESTRUNE_CACHE_MB is read once, on first use
};

EngineState& State() {
    static EngineState state;
    return state;
}

int32_t ToThousandths(double value) {
    const double scaled = std::round(value * 1000.0);
    if (!(scaled > std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    if (scaled >= std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(scaled);
}

int32_t Score(const TargetSet& set, const int16_t* samples, int32_t sampleCount, int32_t* logScores,
              int32_t* frrValues, int32_t* farValues) {
    const Background& ubm = *set.ubm;
    RecordingTraits traits;
    TrialFrames frames = ubm.Analyse(samples, static_cast<size_t>(sampleCount), &traits);
    if (frames.own.rows() < kMinimumSpeechFrames) {
        return KS_ERR_TOO_LITTLE_SPEECH;
    }
    const TrialScores trial = ScoreRecording(ubm, std::move(frames), traits, set.targets->banks);
    // A target whose score no speech gives is taken out of this call alone, before the set's
    // statistics are taken, so that it cannot move the other targets' results.
    const std::vector<uint8_t> removed = UntrustedScores(trial.scores);
    const std::vector<double> adapted = AdaptToTargetSet(trial.scores, removed);
    const auto kept = static_cast<size_t>(std::count(removed.begin(), removed.end(), 0));
    // The pooled genuine scores likewise: without the removed targets' own, as a set loaded
    // without them would pool them.
    std::vector<GenuineSample> repooled;
    if (kept != removed.size()) {
        std::vector<std::vector<GenuineSample>> genuine;
        for (size_t t = 0; t < removed.size(); ++t) {
            if (removed[t] == 0) {
                genuine.push_back(set.targets->genuine[t]);
            }
        }
        repooled = PoolGenuineSamples(genuine);
    }
    const FalseRejectionCurve rejection(
        kept != removed.size() ? repooled : set.targets->pooledGenuine, trial.conditions);
    const double degreesOfFreedom = TargetSetDegreesOfFreedom(kept);
    const double impostorSpread = ImpostorSpread(trial.conditions.frames);
    for (size_t t = 0; t < adapted.size(); ++t) {
        if (removed[t] != 0) {
            logScores[t] = kRemovedTargetScore;
            frrValues[t] = 0;
            farValues[t] = kRemovedTargetFar;
            continue;
        }
        const double score = std::clamp(adapted[t], -kMaxAbsTrialScore, kMaxAbsTrialScore);
        logScores[t] = ToThousandths(score);
        farValues[t] =
            PercentThousandths(FalseAcceptancePercent(score / impostorSpread, degreesOfFreedom));
        frrValues[t] = PercentThousandths(rejection.Percent(trial.scores[t]));
    }
    return 0;
}

}  // namespace
}  // namespace kestrune

using namespace kestrune;

extern "C" {

KESTRUNE_API int32_t COM_IDENTI_CheckedQuantTargetUsers(void) {
    return kMaxTargets;
}

KESTRUNE_API int32_t COM_IDENTI_CheckedQuantVerifyStreams(void) {
    return kMaxStreams;
}

// Loads "<path>/ubm.krn", or `path` itself when it is a file. A failed load keeps the model
// loaded before.
KESTRUNE_API uint8_t COM_IDENTI_LoadUBMModels(const char* path) {
    try {
        const std::optional<std::filesystem::path> location = PathFromModifiedUtf8(path);
        std::shared_ptr<const Background> ubm;
        std::string error;
        if (!location || !ReadBackground(*location, ubm, error)) {
            return 0;
        }
        State().SetUbm(std::move(ubm));
        return 1;
    } catch (...) {
        return 0;
    }
}

// Counts the targets a load would find usable now: those that fit the loaded background model,
// or, before one is loaded, those whose model file reads correctly. The count is not capped at
// kMaxTargets, so that it shows why a load of a larger directory gives none: over the limit it
// is the number of target directories, counted without reading their files.
KESTRUNE_API int32_t COM_IDENTI_GetQntModelsFromSubDirs(const char* path) {
    try {
        const std::shared_ptr<const Background> ubm = State().Ubm();
        const std::optional<std::filesystem::path> models = PathFromModifiedUtf8(path);
        if (!models) {
            return 0;
        }
        const size_t usable = CountUsableTargets(*models, ubm.get(), State().cache(),
                                                 static_cast<size_t>(kMaxTargets));
        return static_cast<int32_t>(std::min<size_t>(usable, INT32_MAX));
    } catch (...) {
        return 0;
    }
}

// flagA: non-zero skips target models that are unreadable or belong to another background
// model; zero makes any such model fail the whole load. flagB: non-zero cuts names longer than
// 255 bytes (at a character boundary); zero skips those targets. The library passes 1 and 1.
// A directory of more than kMaxTargets targets loads as a set of none, counted without reading
// a file, whose scoring answers KS_ERR_TOO_MANY_TARGETS.
KESTRUNE_API void COM_IDENTI_LoadFromSubDirsToBuffers(const char* path, int32_t* targetCount,
                                                      int32_t* modelValueA, void** modelBufferA,
                                                      void** modelBufferB, void** modelBufferC,
                                                      int32_t* modelValueB, void** modelBufferD,
                                                      char** targetNames, uint8_t flagA,
                                                      uint8_t flagB) {
    if (targetCount == nullptr || modelValueA == nullptr || modelBufferA == nullptr ||
        modelBufferB == nullptr || modelBufferC == nullptr || modelValueB == nullptr ||
        modelBufferD == nullptr || targetNames == nullptr) {
        return;
    }
    try {
        std::shared_ptr<const Background> ubm = State().Ubm();
        if (!ubm) {
            return;
        }
        const std::optional<std::filesystem::path> models = PathFromModifiedUtf8(path);
        if (!models) {
            return;
        }
        LoadRules rules;
        rules.strict = flagA == 0;
        rules.cutLongNames = flagB != 0;
        rules.limit = static_cast<size_t>(kMaxTargets);
        std::unique_ptr<TargetSet> set =
            LoadTargetSet(*models, std::move(ubm), rules, State().cache());
        if (!set) {
            return;
        }
        const TargetBank& bank = set->targets->banks.banks[0];
        *targetCount = static_cast<int32_t>(bank.Targets());
        *modelValueA = static_cast<int32_t>(set->ubm->gmm().Components());
        *modelValueB = static_cast<int32_t>(set->ubm->gmm().Dimension());
        *modelBufferB = const_cast<ConditionBanks*>(&set->targets->banks);
        *modelBufferC = const_cast<std::vector<GenuineSample>*>(set->targets->genuine.data());
        *modelBufferD = const_cast<Background*>(set->ubm.get());
        *targetNames = set->names.data();
        *modelBufferA = set.release();
    } catch (...) {
        // Nothing was written: the load shows as failed.
    }
}

KESTRUNE_API int32_t COM_IDENTI_SoundData(const int16_t* samples, int32_t sampleCount,
                                          int32_t targetCount, void* modelBufferA,
                                          int32_t modelValueA, void* modelBufferC,
                                          void* modelBufferB, void* modelBufferD,
                                          int32_t modelValueB, int32_t* logScores,
                                          int32_t* frrValues, int32_t* farValues) {
    const StreamGate::Pass pass(State().streams());
    if (!pass.admitted()) {
        return KS_ERR_BUSY;
    }
    if (targetCount < 0 || sampleCount < 0 || (sampleCount > 0 && samples == nullptr)) {
        return KS_ERR_ARGUMENT;
    }
    if (targetCount == 0 && modelBufferA == nullptr) {
        return State().Ubm() ? KS_ERR_NO_TARGETS : KS_ERR_NO_UBM;
    }
    const auto* set = static_cast<const TargetSet*>(modelBufferA);
    if (set != nullptr && set->magic == kSetMagic && set->tooManyTargets) {
        return targetCount == 0 ? KS_ERR_TOO_MANY_TARGETS : KS_ERR_MODEL_SET;
    }
    if (logScores == nullptr || frrValues == nullptr || farValues == nullptr) {
        return KS_ERR_ARGUMENT;
    }
    if (set == nullptr || set->magic != kSetMagic) {
        return KS_ERR_MODEL_SET;
    }
    const ConditionBanks& banks = set->targets->banks;
    if (banks.Targets() != targetCount || modelBufferB != &banks ||
        modelBufferC != set->targets->genuine.data() || modelBufferD != set->ubm.get() ||
        modelValueA != set->ubm->gmm().Components() || modelValueB != set->ubm->gmm().Dimension()) {
        return KS_ERR_MODEL_SET;
    }
    try {
        return Score(*set, samples, sampleCount, logScores, frrValues, farValues);
    } catch (const std::bad_alloc&) {
        return KS_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return KS_ERR_INTERNAL;
    }
}

// Accepts the preset values of a failed load (all null); clears every value it is given.
KESTRUNE_API void COM_IDENTI_DestroyedBuffers(void** modelBufferA, int32_t* modelValueA,
                                              void** modelBufferC, void** modelBufferB,
                                              void** modelBufferD, int32_t* modelValueB,
                                              char** targetNames) {
    if (modelBufferA != nullptr && *modelBufferA != nullptr) {
        auto* set = static_cast<TargetSet*>(*modelBufferA);
        if (set->magic == kSetMagic) {
            set->magic = 0;
            delete set;
        }
    }
    for (void** buffer : {modelBufferA, modelBufferB, modelBufferC, modelBufferD}) {
        if (buffer != nullptr) {
            *buffer = nullptr;
        }
    }
    for (int32_t* value : {modelValueA, modelValueB}) {
        if (value != nullptr) {
            *value = 0;
        }
    }
    if (targetNames != nullptr) {
        *targetNames = nullptr;
    }
}

}  // extern "C"
