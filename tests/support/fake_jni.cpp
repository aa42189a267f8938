#include "support/fake_jni.h"

#include <algorithm>
#include <cstring>

namespace fakejni {

namespace {

jobject AsJ(FakeObject* object) {
    return reinterpret_cast<jobject>(object);
}
FakeObject* Obj(jobject object) {
    return reinterpret_cast<FakeObject*>(object);
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

bool IsModifiedUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == 0) {
            return false;
        }
        if (c < 0x80) {
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            if (i + 1 >= n || !IsContinuation(p[i + 1])) {
                return false;
            }
            // Overlong two-byte forms are invalid, except C0 80, which is how NUL is written.
            if (c < 0xC2 && !(c == 0xC0 && p[i + 1] == 0x80)) {
                return false;
            }
            i += 2;
        } else if ((c & 0xF0) == 0xE0) {
            if (i + 2 >= n || !IsContinuation(p[i + 1]) || !IsContinuation(p[i + 2])) {
                return false;
            }
            if (c == 0xE0 && p[i + 1] < 0xA0) {
                return false;  // overlong
            }
            i += 3;
        } else {
            return false;  // four-byte forms and stray continuation bytes
        }
    }
    return true;
}

// The table's functions. Each first records its call, then does what a JVM would do.
struct Functions {
    static const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring string, jboolean* isCopy) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("GetStringUTFChars")) {
            return nullptr;
        }
        const std::string& text = Obj(string)->text;
        jni.obtained_.push_back(text);
        testsupport::RecordEvent("GetStringUTFChars(" + text + ")");
        char* chars = new char[text.size() + 1];
        std::memcpy(chars, text.c_str(), text.size() + 1);
        jni.utfChars_[chars] = string;
        if (isCopy != nullptr) {
            *isCopy = JNI_TRUE;
        }
        return chars;
    }

    static void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring string, const char* chars) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("ReleaseStringUTFChars", /*allowedWhilePending=*/true);
        auto it = jni.utfChars_.find(chars);
        if (it == jni.utfChars_.end() || it->second != string) {
            ++jni.badReleases_;
            return;
        }
        testsupport::RecordEvent("ReleaseStringUTFChars(" + std::string(chars) + ")");
        jni.utfChars_.erase(it);
        delete[] chars;
    }

    static jsize JNICALL GetArrayLength(JNIEnv* env, jarray array) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("GetArrayLength");
        const FakeObject* object = Obj(array);
        return static_cast<jsize>(object->kind == Kind::kByteArray ? object->bytes.size()
                                                                   : object->elements.size());
    }

    static void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                                           jbyte* buffer) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("GetByteArrayRegion")) {
            return;
        }
        const auto& bytes = Obj(array)->bytes;
        if (start < 0 || length < 0 || static_cast<size_t>(start) + length > bytes.size()) {
            jni.Throw("java/lang/ArrayIndexOutOfBoundsException");
            return;
        }
        std::copy_n(bytes.begin() + start, length, buffer);
    }

    static jclass JNICALL FindClass(JNIEnv* env, const char* name) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("FindClass")) {
            return nullptr;
        }
        FakeClass* klass = jni.FindClassByName(name);
        if (klass == nullptr) {
            jni.Throw("java/lang/NoClassDefFoundError");
            return nullptr;
        }
        return static_cast<jclass>(jni.MakeLocal(&klass->object));
    }

    static jobject JNICALL AllocObject(JNIEnv* env, jclass klass) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("AllocObject")) {
            return nullptr;
        }
        FakeObject* instance = jni.NewObject(Kind::kInstance);
        instance->klass = Obj(klass)->klass;
        return jni.MakeLocal(instance);
    }

    static jclass JNICALL GetObjectClass(JNIEnv* env, jobject object) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("GetObjectClass");
        return static_cast<jclass>(jni.MakeLocal(&Obj(object)->klass->object));
    }

    static jfieldID JNICALL GetFieldID(JNIEnv* env, jclass klass, const char* name,
                                       const char* signature) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("GetFieldID")) {
            return nullptr;
        }
        for (FakeField& field : Obj(klass)->klass->fields) {
            if (field.name == name && field.signature == signature) {
                return reinterpret_cast<jfieldID>(&field);
            }
        }
        jni.Throw("java/lang/NoSuchFieldError");
        return nullptr;
    }

    static FakeField* CheckedField(FakeJni& jni, jobject object, jfieldID id, const char* sig) {
        auto* field = reinterpret_cast<FakeField*>(id);
        if (object == nullptr || field == nullptr || Obj(object)->klass != field->owner ||
            field->signature != sig) {
            ++jni.violations_;
            return nullptr;
        }
        return field;
    }

    static void JNICALL SetIntField(JNIEnv* env, jobject object, jfieldID id, jint value) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("SetIntField");
        if (FakeField* field = CheckedField(jni, object, id, "I")) {
            Obj(object)->intFields[field->name] = value;
        }
    }

    static void JNICALL SetObjectField(JNIEnv* env, jobject object, jfieldID id, jobject value) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("SetObjectField");
        if (FakeField* field = CheckedField(jni, object, id, "Ljava/lang/String;")) {
            Obj(object)->refFields[field->name] = Obj(value);
        }
    }

    static jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("NewStringUTF")) {
            return nullptr;
        }
        FakeObject* string = jni.NewObject(Kind::kString);
        string->text = utf;
        if (!IsModifiedUtf8(string->text)) {
            ++jni.invalidUtf_;
        }
        return static_cast<jstring>(jni.MakeLocal(string));
    }

    static void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index,
                                              jobject value) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("SetObjectArrayElement")) {
            return;
        }
        FakeObject* target = Obj(array);
        if (index < 0 || static_cast<size_t>(index) >= target->elements.size()) {
            jni.Throw("java/lang/ArrayIndexOutOfBoundsException");
            return;
        }
        if (value != nullptr && target->klass->name != "java/lang/Object" &&
            Obj(value)->klass != target->klass) {
            jni.Throw("java/lang/ArrayStoreException");
            return;
        }
        target->elements[index] = Obj(value);
    }

    static void JNICALL DeleteLocalRef(JNIEnv* env, jobject object) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("DeleteLocalRef", /*allowedWhilePending=*/true);
        if (object == nullptr) {
            return;
        }
        for (auto frame = jni.localFrames_.rbegin(); frame != jni.localFrames_.rend(); ++frame) {
            auto it = frame->find(Obj(object));
            if (it != frame->end()) {
                frame->erase(it);
                return;
            }
        }
        ++jni.badReleases_;  // not a live local reference
    }

    static jint JNICALL PushLocalFrame(JNIEnv* env, jint capacity) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("PushLocalFrame") || capacity < 0) {
            return JNI_ERR;
        }
        jni.localFrames_.emplace_back();
        return JNI_OK;
    }

    static jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("PopLocalFrame", /*allowedWhilePending=*/true);
        if (jni.localFrames_.size() <= 1) {
            ++jni.badReleases_;
            return nullptr;
        }
        jni.localFrames_.pop_back();
        return result == nullptr ? nullptr : jni.MakeLocal(Obj(result));
    }

    static jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint capacity) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        if (jni.Enter("EnsureLocalCapacity") || capacity < 0) {
            return JNI_ERR;
        }
        return JNI_OK;
    }

    static jboolean JNICALL ExceptionCheck(JNIEnv* env) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("ExceptionCheck", /*allowedWhilePending=*/true);
        return jni.pending_ != nullptr ? JNI_TRUE : JNI_FALSE;
    }

    static jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("ExceptionOccurred", /*allowedWhilePending=*/true);
        return jni.pending_ == nullptr ? nullptr
                                       : static_cast<jthrowable>(jni.MakeLocal(jni.pending_));
    }

    static void JNICALL ExceptionClear(JNIEnv* env) {
        testsupport::FakeScope fakeScope;
        auto& jni = FakeJni::From(env);
        jni.Enter("ExceptionClear", /*allowedWhilePending=*/true);
        jni.pending_ = nullptr;
    }
};

FakeJni::FakeJni() {
    table_.GetStringUTFChars = Functions::GetStringUTFChars;
    table_.ReleaseStringUTFChars = Functions::ReleaseStringUTFChars;
    table_.GetArrayLength = Functions::GetArrayLength;
    table_.GetByteArrayRegion = Functions::GetByteArrayRegion;
    table_.FindClass = Functions::FindClass;
    table_.AllocObject = Functions::AllocObject;
    table_.GetObjectClass = Functions::GetObjectClass;
    table_.GetFieldID = Functions::GetFieldID;
    table_.SetIntField = Functions::SetIntField;
    table_.SetObjectField = Functions::SetObjectField;
    table_.NewStringUTF = Functions::NewStringUTF;
    table_.SetObjectArrayElement = Functions::SetObjectArrayElement;
    table_.DeleteLocalRef = Functions::DeleteLocalRef;
    table_.PushLocalFrame = Functions::PushLocalFrame;
    table_.PopLocalFrame = Functions::PopLocalFrame;
    table_.EnsureLocalCapacity = Functions::EnsureLocalCapacity;
    table_.ExceptionCheck = Functions::ExceptionCheck;
    table_.ExceptionOccurred = Functions::ExceptionOccurred;
    table_.ExceptionClear = Functions::ExceptionClear;
    holder_.env.functions = &table_;
    holder_.owner = this;
    objectClass_ = DefineClass("java/lang/Object", {});
}

FakeJni::~FakeJni() {
    for (auto& [chars, string] : utfChars_) {
        delete[] chars;
    }
}

jstring FakeJni::NewString(const std::string& modifiedUtf8) {
    testsupport::FakeScope fakeScope;
    FakeObject* string = NewObject(Kind::kString);
    string->text = modifiedUtf8;
    return static_cast<jstring>(AsJ(string));
}

jbyteArray FakeJni::NewByteArray(const std::vector<uint8_t>& bytes) {
    testsupport::FakeScope fakeScope;
    FakeObject* array = NewObject(Kind::kByteArray);
    array->bytes.assign(bytes.begin(), bytes.end());
    return static_cast<jbyteArray>(AsJ(array));
}

FakeClass* FakeJni::DefineClass(const std::string& name, const std::vector<FieldSpec>& fields) {
    testsupport::FakeScope fakeScope;
    FakeClass& klass = classes_.emplace_back();
    klass.name = name;
    klass.object.kind = Kind::kClass;
    klass.object.klass = &klass;
    for (const FieldSpec& field : fields) {
        klass.fields.push_back(FakeField{&klass, field.name, field.signature});
    }
    return &klass;
}

namespace {

// The four fields the library writes into a result object.
std::vector<FieldSpec> ResultFieldSpecs() {
    return {{"logScore", "I"},
            {"errorFA_percent", "I"},
            {"errorFR_percent", "I"},
            {"target_name", "Ljava/lang/String;"}};
}

}  // namespace

FakeClass* FakeJni::DefineResultClass(const std::string& name,
                                      const std::vector<FieldSpec>& extra) {
    std::vector<FieldSpec> fields = ResultFieldSpecs();
    fields.insert(fields.end(), extra.begin(), extra.end());
    return DefineClass(name, fields);
}

FakeClass* FakeJni::DefineBrokenResultClass(const std::string& name, const std::string& field,
                                            const std::optional<std::string>& signature) {
    std::vector<FieldSpec> fields;
    for (FieldSpec declared : ResultFieldSpecs()) {
        if (declared.name != field) {
            fields.push_back(declared);
        } else if (signature) {
            fields.push_back({declared.name, *signature});
        }
    }
    return DefineClass(name, fields);
}

jobjectArray FakeJni::NewObjectArray(FakeClass* elementClass, size_t length) {
    testsupport::FakeScope fakeScope;
    FakeObject* array = NewObject(Kind::kObjectArray);
    array->klass = elementClass;
    array->elements.assign(length, nullptr);
    return static_cast<jobjectArray>(AsJ(array));
}

jobject FakeJni::NewInstance(FakeClass* klass) {
    testsupport::FakeScope fakeScope;
    FakeObject* instance = NewObject(Kind::kInstance);
    instance->klass = klass;
    return AsJ(instance);
}

jint FakeJni::IntField(jobject instance, const std::string& name) {
    const auto& fields = Obj(instance)->intFields;
    auto it = fields.find(name);
    return it == fields.end() ? 0 : it->second;
}

std::string FakeJni::StringField(jobject instance, const std::string& name) {
    const auto& fields = Obj(instance)->refFields;
    auto it = fields.find(name);
    return it == fields.end() || it->second == nullptr ? "<null>" : it->second->text;
}

jobject FakeJni::Element(jobjectArray array, size_t index) {
    return AsJ(Obj(array)->elements.at(index));
}

std::string ResultFields::Text() const {
    return name + " " + std::to_string(logScore) + " " + std::to_string(errorFR) + " " +
           std::to_string(errorFA);
}

std::ostream& operator<<(std::ostream& out, const ResultFields& fields) {
    return out << fields.Text();
}

ResultFields ReadResult(jobject object) {
    return {FakeJni::StringField(object, "target_name"), FakeJni::IntField(object, "logScore"),
            FakeJni::IntField(object, "errorFR_percent"),
            FakeJni::IntField(object, "errorFA_percent")};
}

void FakeJni::FailCall(const std::string& function, int nth) {
    failures_[function].push_back(Count(function) + nth);
}

int FakeJni::Count(const std::string& function) const {
    auto it = counts_.find(function);
    return it == counts_.end() ? 0 : it->second;
}

int FakeJni::LiveLocalRefs() const {
    size_t live = 0;
    for (const auto& frame : localFrames_) {
        live += frame.size();
    }
    return static_cast<int>(live);
}

bool FakeJni::Enter(const char* function, bool allowedWhilePending) {
    const int call = ++counts_[function];
    if (pending_ != nullptr && !allowedWhilePending) {
        ++callsWhilePending_;
    }
    auto it = failures_.find(function);
    if (it != failures_.end()) {
        auto& calls = it->second;
        auto hit = std::find(calls.begin(), calls.end(), call);
        if (hit != calls.end()) {
            calls.erase(hit);
            Throw("java/lang/OutOfMemoryError");
            return true;
        }
    }
    return false;
}

void FakeJni::Throw(const std::string& exceptionClass) {
    FakeObject* throwable = NewObject(Kind::kThrowable);
    throwable->text = exceptionClass;
    pending_ = throwable;
}

jobject FakeJni::MakeLocal(FakeObject* object) {
    localFrames_.back().insert(object);
    peakLocalRefs_ = std::max(peakLocalRefs_, LiveLocalRefs());
    return AsJ(object);
}

FakeObject* FakeJni::NewObject(Kind kind) {
    FakeObject& object = objects_.emplace_back();
    object.kind = kind;
    return &object;
}

FakeClass* FakeJni::FindClassByName(const std::string& name) {
    for (FakeClass& klass : classes_) {
        if (klass.name == name) {
            return &klass;
        }
    }
    return nullptr;
}

}  // namespace fakejni
