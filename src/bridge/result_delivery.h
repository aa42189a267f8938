// Writing ranked results into the caller's Java objects.
#pragma once

#include <jni.h>

#include <cstdint>

#include "engine/kestrune.h"

namespace jkestrune {

// What a delivery reads: the ranking (best first), the scores in ModelSet order, the names.
struct RankedTargets {
    int32_t targetCount;
    const int32_t* ranking;
    ScoreArrays scores;
    const char* targetNames;
};

// Stores one new object of class `resultClassName` (FindClass form) per target into
// results[0 .. targetCount - 1], in ranked order; later elements are not touched. Objects are
// made with AllocObject (no constructor runs). Class and field IDs are looked up anew for every
// target and nothing is cached. Returns false, with no exception left pending, when the results
// cannot be delivered: `results` null or too short, an element type that does not take the
// objects, an unknown class, a missing or mistyped field, a string that cannot be made.
// Elements stored before a failure stay stored.
[[nodiscard]] bool DeliverAllResults(JNIEnv* env, jobjectArray results, const char* resultClassName,
                                     const RankedTargets& targets);

// Writes the first-ranked target into the four fields of `result`; its other fields are kept.
// With no targets nothing is written and the delivery succeeds. Fails as DeliverAllResults.
[[nodiscard]] bool DeliverBestResult(JNIEnv* env, jobject result, const RankedTargets& targets);

}  // namespace jkestrune
