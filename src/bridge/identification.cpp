// The two identification methods; both run the same pipeline and differ in where the results
// go.
#include "bridge/identification_pipeline.h"
#include "bridge/load_manager.h"

using jkestrune::IdentificationRequest;
using jkestrune::ResultDestination;
using jkestrune::RunIdentification;

extern "C" {

jint JNICALL Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll(
    JNIEnv* env, jclass, jbyteArray audio, jint audioLength, jstring modelsDir, jint rankBy,
    jstring resultClassName, jobjectArray results, jboolean verbose) {
    return RunIdentification(
        env, IdentificationRequest{audio, audioLength, modelsDir, rankBy, verbose != 0},
        ResultDestination{true, resultClassName, results, nullptr});
}

jint JNICALL Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability(
    JNIEnv* env, jclass, jbyteArray audio, jint audioLength, jstring modelsDir, jint rankBy,
    jobject result, jboolean verbose) {
    return RunIdentification(
        env, IdentificationRequest{audio, audioLength, modelsDir, rankBy, verbose != 0},
        ResultDestination{false, nullptr, nullptr, result});
}

}  // extern "C"
