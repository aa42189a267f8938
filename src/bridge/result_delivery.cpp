#include "bridge/result_delivery.h"

#include "bridge/scoped_local_ref.h"
#include "bridge/target_names.h"

namespace jkestrune {
namespace {

// The JVM raised an exception for the last call: clear it, since nothing may be thrown back
// into Java and no further JNI call is allowed while it is pending.
bool ClearAndFail(JNIEnv* env) {
    env->ExceptionClear();
    return false;
}

// Sets logScore, errorFA_percent, errorFR_percent and target_name of `object`, in this order.
bool SetResultFields(JNIEnv* env, jclass klass, jobject object, const RankedTargets& targets,
                     int32_t target) {
    const struct {
        const char* name;
        const int32_t* values;
    } intFields[] = {{"logScore", targets.scores.logScores},
                     {"errorFA_percent", targets.scores.farValues},
                     {"errorFR_percent", targets.scores.frrValues}};
    for (const auto& field : intFields) {
        const jfieldID id = env->GetFieldID(klass, field.name, "I");
        if (id == nullptr) {
            return ClearAndFail(env);
        }
        env->SetIntField(object, id, field.values[target]);
    }
    const jfieldID nameId = env->GetFieldID(klass, "target_name", "Ljava/lang/String;");
    if (nameId == nullptr) {
        return ClearAndFail(env);
    }
    char name[kModifiedUtf8NameCapacity];
    ToModifiedUtf8(TargetName(targets.targetNames, target), name, sizeof name);
    ScopedLocalRef<jstring> string(env, env->NewStringUTF(name));
    if (!string) {
        return ClearAndFail(env);
    }
    env->SetObjectField(object, nameId, string.get());
    return true;
}

}  // namespace

bool DeliverAllResults(JNIEnv* env, jobjectArray results, const char* resultClassName,
                       const RankedTargets& targets) {
    if (targets.targetCount <= 0) {
        return true;
    }
    if (results == nullptr || env->GetArrayLength(results) < targets.targetCount) {
        return false;
    }
    for (int32_t position = 0; position < targets.targetCount; ++position) {
        const int32_t target = targets.ranking[position];
        ScopedLocalRef<jclass> klass(env, env->FindClass(resultClassName));
        if (!klass) {
            return ClearAndFail(env);
        }
        ScopedLocalRef<jobject> object(env, env->AllocObject(klass.get()));
        if (!object) {
            return ClearAndFail(env);
        }
        if (!SetResultFields(env, klass.get(), object.get(), targets, target)) {
            return false;
        }
        env->SetObjectArrayElement(results, position, object.get());
        if (env->ExceptionCheck()) {
            return ClearAndFail(env);  // an element type that does not take the object
        }
    }
    return true;
}

bool DeliverBestResult(JNIEnv* env, jobject result, const RankedTargets& targets) {
    if (targets.targetCount <= 0) {
        return true;
    }
    if (result == nullptr) {
        return false;
    }
    ScopedLocalRef<jclass> klass(env, env->GetObjectClass(result));
    return SetResultFields(env, klass.get(), result, targets, targets.ranking[0]);
}

}  // namespace jkestrune
