// The four methods that need no audio: two engine limits, loading the background models, and
// counting the target models under a directory. Each forwards to its engine function.
#include "bridge/load_manager.h"
#include "bridge/scoped_utf_chars.h"
#include "engine/kestrune.h"

using jkestrune::ScopedUtfChars;

extern "C" {

jint JNICALL Java_com_mirelta_requests_LoadManager_MaxQntTargets(JNIEnv*, jclass) {
    return COM_IDENTI_CheckedQuantTargetUsers();
}

jint JNICALL Java_com_mirelta_requests_LoadManager_MaxQntProgramStreams(JNIEnv*, jclass) {
    return COM_IDENTI_CheckedQuantVerifyStreams();
}

jboolean JNICALL Java_com_mirelta_requests_LoadManager_LoadBgModels(JNIEnv* env, jclass,
                                                                    jstring bgModelsPath) {
    // A null path is not an error: the engine decides what loading from "" means.
    if (bgModelsPath == nullptr) {
        return COM_IDENTI_LoadUBMModels("") != 0 ? JNI_TRUE : JNI_FALSE;
    }
    ScopedUtfChars path(env, bgModelsPath);
    if (path.c_str() == nullptr) {
        return JNI_FALSE;
    }
    // The engine answers with a byte in which any non-zero value means success; a Java boolean
    // must be exactly JNI_TRUE or JNI_FALSE.
    return COM_IDENTI_LoadUBMModels(path.c_str()) != 0 ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL Java_com_mirelta_requests_LoadManager_GetTargetQuantity(JNIEnv* env, jclass,
                                                                     jstring modelsDir) {
    if (modelsDir == nullptr) {
        return 0;
    }
    ScopedUtfChars path(env, modelsDir);
    if (path.c_str() == nullptr) {
        return 0;
    }
    return COM_IDENTI_GetQntModelsFromSubDirs(path.c_str());
}

}  // extern "C"
