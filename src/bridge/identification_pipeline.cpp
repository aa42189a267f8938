#include "bridge/identification_pipeline.h"

#include <memory>
#include <new>

#include "audio/wave_decoder.h"
#include "audio/wave_header.h"
#include "audio/wave_reader.h"
#include "bridge/console_log.h"
#include "bridge/native_array.h"
#include "bridge/result_delivery.h"
#include "bridge/scoped_model_set.h"
#include "bridge/scoped_utf_chars.h"
#include "bridge/target_names.h"
#include "ranking/ranking.h"
#include "return_codes.h"

namespace jkestrune {
namespace {

// Everything one call holds. Members are destroyed in the reverse of their declaration, so
// they are declared in the reverse of the release order: the audio copy goes first, then the
// header, the strings, the samples, the score arrays and the ranking, and the engine's model
// set last. Whatever step a call ends at, exactly what it obtained is released, in that order.
struct CallResources {
    ScopedModelSet modelSet;
    NativeArray<int32_t> ranking;
    NativeArray<int32_t> logScores;
    NativeArray<int32_t> farValues;
    NativeArray<int32_t> frrValues;
    NativeArray<int16_t> samples;
    ScopedUtfChars resultClassName;
    ScopedUtfChars modelsDir;
    std::unique_ptr<WaveHeader> header;
    NativeArray<uint8_t> audioCopy;
};

// Copies the first `length` bytes of the Java array. The length has been checked against the
// array, so the JVM raises nothing here; should it, the exception is cleared.
int32_t CopyAudio(JNIEnv* env, jbyteArray audio, jint length, NativeArray<uint8_t>& copy) {
    if (length < 0 || length > env->GetArrayLength(audio)) {
        return ERR_INVALID_ARGUMENT;
    }
    if (!copy.Allocate(static_cast<size_t>(length))) {
        return ERR_OUT_OF_MEMORY;
    }
    env->GetByteArrayRegion(audio, 0, length, reinterpret_cast<jbyte*>(copy.get()));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return ERR_INVALID_ARGUMENT;
    }
    return kSuccess;
}

}  // namespace

int32_t RunIdentification(JNIEnv* env, const IdentificationRequest& request,
                          const ResultDestination& destination) {
    if (request.modelsDir == nullptr) {
        return ERR_NULL_ARGUMENT;
    }
    CallResources held;
    held.modelsDir.Obtain(env, request.modelsDir);
    if (held.modelsDir.c_str() == nullptr) {
        return ERR_OUT_OF_MEMORY;
    }
    if (destination.allTargets) {
        if (destination.resultClassName == nullptr) {
            return ERR_NULL_ARGUMENT;
        }
        held.resultClassName.Obtain(env, destination.resultClassName);
        if (held.resultClassName.c_str() == nullptr) {
            return ERR_OUT_OF_MEMORY;
        }
    }

    // Without an array there is nothing to copy; the reader then reports that there is no
    // audio.
    uint32_t imageLength = 0;
    if (request.audio != nullptr) {
        const int32_t copied = CopyAudio(env, request.audio, request.audioLength, held.audioCopy);
        if (copied != kSuccess) {
            return copied;
        }
        imageLength = static_cast<uint32_t>(request.audioLength);
    }

    held.header.reset(new (std::nothrow) WaveHeader());
    if (held.header == nullptr) {
        return ERR_OUT_OF_MEMORY;
    }
    uint32_t sampleCount = 0;
    const int32_t sized =
        QueryWaveSampleCount(*held.header, held.audioCopy.get(), imageLength, sampleCount);
    if (sampleCount == 0) {
        // No audio (an error), or a data chunk without one whole frame (nothing to score).
        return sized;
    }
    if (!held.samples.Allocate(sampleCount)) {
        return ERR_OUT_OF_MEMORY;
    }
    // The decoder fails only where the count above failed, and it never writes more samples
    // than that count; its count is the number of frames, which the engine receives.
    (void)DecodeWaveSamples(*held.header, held.audioCopy.get(), imageLength, sampleCount,
                            held.samples.get());

    ConsoleLog log(request.verbose);
    held.modelSet.Load(held.modelsDir.c_str());
    const int32_t targetCount = held.modelSet.targetCount();
    log.Write(QuantityLine(targetCount));
    if (targetCount < 0 || (targetCount > 0 && held.modelSet.targetNames() == nullptr)) {
        return ERR_ENGINE_CONTRACT;  // nothing can be sized or named from such an answer
    }

    const auto count = static_cast<size_t>(targetCount);
    if (!held.logScores.Allocate(count) || !held.frrValues.Allocate(count) ||
        !held.farValues.Allocate(count) || !held.ranking.Allocate(count + 1)) {
        return ERR_OUT_OF_MEMORY;
    }
    for (size_t i = 0; i < count; ++i) {
        held.frrValues[i] = 0;
        held.farValues[i] = 0;
    }
    const ScoreArrays scores{held.logScores.get(), held.frrValues.get(), held.farValues.get()};
    const int32_t engineCode =
        held.modelSet.Score(held.samples.get(), static_cast<int32_t>(sampleCount), scores);
    if (engineCode != kSuccess) {
        return engineCode;
    }

    RankBy(request.rankBy, targetCount, {scores.logScores, scores.frrValues, scores.farValues},
           held.ranking.get());
    if (log.enabled()) {
        for (int32_t position = 0; position < targetCount; ++position) {
            const int32_t target = held.ranking[position];
            log.Write(TargetLine(TargetName(held.modelSet.targetNames(), target),
                                 scores.frrValues[target], scores.farValues[target],
                                 scores.logScores[target]));
        }
    }

    const RankedTargets ranked{targetCount, held.ranking.get(), scores,
                               held.modelSet.targetNames()};
    const bool delivered =
        destination.allTargets
            ? DeliverAllResults(env, destination.results, held.resultClassName.c_str(), ranked)
            : DeliverBestResult(env, destination.result, ranked);
    return delivered ? engineCode : ERR_RESULT_DELIVERY;
}

}  // namespace jkestrune
