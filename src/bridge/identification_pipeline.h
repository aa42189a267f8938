// The body that VerifyDataWithGetAll and VerifyDataWithGetMaxProbability share: copy and decode
// the recording, have the engine load and score the targets, rank, log, deliver, release.
#pragma once

#include <jni.h>

#include <cstdint>

namespace jkestrune {

struct IdentificationRequest {
    jbyteArray audio;
    jint audioLength;
    jstring modelsDir;
    jint rankBy;
    bool verbose;
};

// Where the results go: every target into `results` as new objects of `resultClassName`
// (VerifyDataWithGetAll), or the best one into `result` (VerifyDataWithGetMaxProbability).
struct ResultDestination {
    bool allTargets;
    jstring resultClassName;
    jobjectArray results;
    jobject result;
};

// Runs one identification. Returns 0, one of the library's codes (return_codes.h), or the
// engine's own non-zero code. Everything obtained is released before it returns, in a fixed
// order, and no Java exception is left pending.
int32_t RunIdentification(JNIEnv* env, const IdentificationRequest& request,
                          const ResultDestination& destination);

}  // namespace jkestrune
