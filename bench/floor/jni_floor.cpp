// A test-only native library for the whole-call benchmarks: the bare JNI sequence that an
// identification call cannot do without (the floor), and the costs of a call that are not the
// bridge's own (the decoder alone, the engine alone, and the engine's scoring alone on a set
// loaded once), each measurable from the same JVM as the call itself.
#include <jni.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "audio/wave_decoder.h"
#include "audio/wave_header.h"
#include "bridge/scoped_model_set.h"
#include "engine/kestrune.h"

namespace {

// A name like the scripted engine's, "target-00042", written without formatting calls.
void WriteName(char (&name)[16], int32_t index) {
    const char prefix[] = "target-";
    for (int i = 0; i < 7; ++i) {
        name[i] = prefix[i];
    }
    for (int i = 11; i >= 7; --i) {
        name[i] = static_cast<char>('0' + index % 10);
        index /= 10;
    }
    name[12] = '\0';
}

}  // namespace

extern "C" {

// The copy of the recording into fresh native memory, then for every target: FindClass,
// AllocObject, four GetFieldID, three SetIntField, NewStringUTF, SetObjectField,
// SetObjectArrayElement and the three DeleteLocalRef. No checks beyond what keeps the JVM
// sound.
JNIEXPORT jint JNICALL Java_com_mirelta_bench_JniFloor_copyAndDeliver(
    JNIEnv* env, jclass, jbyteArray audio, jint audioLength, jstring resultClassName,
    jobjectArray results, jint targetCount) {
    void* copy = std::malloc(static_cast<size_t>(audioLength) + 1);
    if (copy == nullptr) {
        return -1;
    }
    env->GetByteArrayRegion(audio, 0, audioLength, static_cast<jbyte*>(copy));
    std::free(copy);
    const char* className = env->GetStringUTFChars(resultClassName, nullptr);
    if (className == nullptr) {
        return -1;
    }
    char name[16];
    jint status = 0;
    for (jint position = 0; position < targetCount; ++position) {
        jclass klass = env->FindClass(className);
        jobject object = klass != nullptr ? env->AllocObject(klass) : nullptr;
        if (object == nullptr) {
            env->ExceptionClear();
            status = -1;
            break;
        }
        env->SetIntField(object, env->GetFieldID(klass, "logScore", "I"), position);
        env->SetIntField(object, env->GetFieldID(klass, "errorFA_percent", "I"), position);
        env->SetIntField(object, env->GetFieldID(klass, "errorFR_percent", "I"), position);
        const jfieldID nameField = env->GetFieldID(klass, "target_name", "Ljava/lang/String;");
        WriteName(name, position);
        jstring string = env->NewStringUTF(name);
        env->SetObjectField(object, nameField, string);
        env->SetObjectArrayElement(results, position, object);
        env->DeleteLocalRef(string);
        env->DeleteLocalRef(object);
        env->DeleteLocalRef(klass);
    }
    env->ReleaseStringUTFChars(resultClassName, className);
    return status;
}

// The copy alone into memory that earlier calls already touched: what the copy costs without
// the first touch of fresh pages. The buffer is this test library's and outlives the call.
JNIEXPORT jint JNICALL Java_com_mirelta_bench_JniFloor_copyWarm(JNIEnv* env, jclass,
                                                                jbyteArray audio,
                                                                jint audioLength) {
    static thread_local std::vector<jbyte> buffer;
    if (buffer.size() < static_cast<size_t>(audioLength)) {
        buffer.resize(static_cast<size_t>(audioLength));
    }
    env->GetByteArrayRegion(audio, 0, audioLength, buffer.data());
    return 0;
}

// The decoder alone, from the Java array in place into a Java array of samples that is used
// again and again (so its pages are warm): what decoding costs without copies or allocations.
JNIEXPORT jint JNICALL Java_com_mirelta_bench_JniFloor_decode(JNIEnv* env, jclass, jbyteArray audio,
                                                              jint audioLength,
                                                              jshortArray samples) {
    auto* image = static_cast<uint8_t*>(env->GetPrimitiveArrayCritical(audio, nullptr));
    auto* out = static_cast<int16_t*>(env->GetPrimitiveArrayCritical(samples, nullptr));
    jkestrune::WaveHeader header;
    uint32_t count = 0;
    if (image != nullptr && out != nullptr) {
        jkestrune::DecodeWaveSamples(header, image, static_cast<uint32_t>(audioLength), count, out);
    }
    if (out != nullptr) {
        env->ReleasePrimitiveArrayCritical(samples, out, 0);
    }
    if (image != nullptr) {
        env->ReleasePrimitiveArrayCritical(audio, image, JNI_ABORT);
    }
    return static_cast<jint>(count);
}

// The engine alone: what a call asks of it (load the targets, score `sampleCount` samples,
// release), with the score arrays the call would allocate.
JNIEXPORT jint JNICALL Java_com_mirelta_bench_JniFloor_engine(JNIEnv* env, jclass,
                                                              jstring modelsDir,
                                                              jshortArray samples,
                                                              jint sampleCount) {
    const char* dir = env->GetStringUTFChars(modelsDir, nullptr);
    if (dir == nullptr) {
        return -1;
    }
    jint code = -1;
    {
        jkestrune::ScopedModelSet set;
        set.Load(dir);
        const auto count = static_cast<size_t>(set.targetCount());
        std::vector<int32_t> logScores(count);
        std::vector<int32_t> frrValues(count);
        std::vector<int32_t> farValues(count);
        auto* data = static_cast<int16_t*>(env->GetPrimitiveArrayCritical(samples, nullptr));
        if (data != nullptr) {
            code = set.Score(data, sampleCount,
                             {logScores.data(), frrValues.data(), farValues.data()});
            env->ReleasePrimitiveArrayCritical(samples, data, JNI_ABORT);
        }
    }
    env->ReleaseStringUTFChars(modelsDir, dir);
    return code;
}

// A target set loaded once and kept across calls, so that COM_IDENTI_SoundData can be timed
// without the load and release around it. Returns a handle for scoreLoadedSet and
// releaseLoadedSet, or 0 when the engine loaded no targets.
JNIEXPORT jlong JNICALL Java_com_mirelta_bench_JniFloor_loadSet(JNIEnv* env, jclass,
                                                                jstring modelsDir) {
    const char* dir = env->GetStringUTFChars(modelsDir, nullptr);
    if (dir == nullptr) {
        return 0;
    }
    auto set =
        std::unique_ptr<jkestrune::ScopedModelSet>(new (std::nothrow) jkestrune::ScopedModelSet);
    if (set != nullptr) {
        set->Load(dir);
    }
    env->ReleaseStringUTFChars(modelsDir, dir);
    if (set == nullptr || set->targetCount() <= 0) {
        return 0;
    }
    return reinterpret_cast<jlong>(set.release());
}

// The number of targets in a set from loadSet.
JNIEXPORT jint JNICALL Java_com_mirelta_bench_JniFloor_loadedTargetCount(JNIEnv*, jclass,
                                                                         jlong handle) {
    return reinterpret_cast<const jkestrune::ScopedModelSet*>(handle)->targetCount();
}

// COM_IDENTI_SoundData on a set from loadSet: `sampleCount` samples copied out of the Java
// array (as the bridge copies them), scored against every target. The scores go into
// `logScores` when it is not null.
JNIEXPORT jint JNICALL Java_com_mirelta_bench_JniFloor_scoreLoadedSet(
    JNIEnv* env, jclass, jlong handle, jshortArray samples, jint sampleCount, jintArray logScores) {
    const auto* set = reinterpret_cast<const jkestrune::ScopedModelSet*>(handle);
    const auto count = static_cast<size_t>(set->targetCount());
    std::vector<int16_t> audio(static_cast<size_t>(sampleCount));
    env->GetShortArrayRegion(samples, 0, sampleCount, reinterpret_cast<jshort*>(audio.data()));
    if (env->ExceptionCheck()) {
        return -1;
    }
    std::vector<int32_t> log(count);
    std::vector<int32_t> frr(count);
    std::vector<int32_t> far(count);
    const int32_t code =
        set->Score(audio.data(), sampleCount, {log.data(), frr.data(), far.data()});
    if (code == 0 && logScores != nullptr) {
        const auto length = static_cast<size_t>(env->GetArrayLength(logScores));
        env->SetIntArrayRegion(logScores, 0, static_cast<jsize>(std::min(count, length)),
                               reinterpret_cast<const jint*>(log.data()));
    }
    return code;
}

// Hands a set from loadSet back to the engine.
JNIEXPORT void JNICALL Java_com_mirelta_bench_JniFloor_releaseLoadedSet(JNIEnv*, jclass,
                                                                        jlong handle) {
    delete reinterpret_cast<jkestrune::ScopedModelSet*>(handle);
}

}  // extern "C"
