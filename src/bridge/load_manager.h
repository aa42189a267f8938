// The native methods of com.mirelta.requests.LoadManager, in the JNI short-name form. These
// six are the library's whole exported surface.
#pragma once

#include <jni.h>

#include "bridge/export.h"

extern "C" {

JKESTRUNE_EXPORT jint JNICALL Java_com_mirelta_requests_LoadManager_MaxQntTargets(JNIEnv* env,
                                                                                  jclass);

JKESTRUNE_EXPORT jint JNICALL
Java_com_mirelta_requests_LoadManager_MaxQntProgramStreams(JNIEnv* env, jclass);

JKESTRUNE_EXPORT jboolean JNICALL
Java_com_mirelta_requests_LoadManager_LoadBgModels(JNIEnv* env, jclass, jstring bgModelsPath);

JKESTRUNE_EXPORT jint JNICALL
Java_com_mirelta_requests_LoadManager_GetTargetQuantity(JNIEnv* env, jclass, jstring modelsDir);

JKESTRUNE_EXPORT jint JNICALL Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll(
    JNIEnv* env, jclass, jbyteArray audio, jint audioLength, jstring modelsDir, jint rankBy,
    jstring resultClassName, jobjectArray results, jboolean verbose);

JKESTRUNE_EXPORT jint JNICALL Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability(
    JNIEnv* env, jclass, jbyteArray audio, jint audioLength, jstring modelsDir, jint rankBy,
    jobject result, jboolean verbose);

}  // extern "C"
