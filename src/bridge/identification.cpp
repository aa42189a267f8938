// Identification methods: the pipeline arrives with the audio reader.
#include "bridge/load_manager.h"
#include "return_codes.h"

extern "C" {

jint JNICALL Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll(JNIEnv*, jclass, jbyteArray,
                                                                        jint, jstring, jint,
                                                                        jstring, jobjectArray,
                                                                        jboolean) {
    return jkestrune::ERR_NO_AUDIO;
}

jint JNICALL Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability(
    JNIEnv*, jclass, jbyteArray, jint, jstring, jint, jobject, jboolean) {
    return jkestrune::ERR_NO_AUDIO;
}

}  // extern "C"
