// A JNI environment without a JVM: a JNINativeInterface_ table whose functions work on a small
// in-memory object heap and record every call, so that native code can be unit-tested (and run
// under sanitizers and fuzzers) with exact call counts, release balance and exception rules.
//
// One FakeJni is one thread's environment, as a real JNIEnv is; nothing in it is shared.
#pragma once

#include <jni.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "support/event_log.h"

namespace fakejni {

struct FakeClass;

enum class Kind { kString, kByteArray, kObjectArray, kClass, kInstance, kThrowable };

struct FakeObject {
    Kind kind = Kind::kInstance;
    FakeClass* klass = nullptr;  // instance or array element class; the class itself for kClass
    std::string text;            // kString: modified UTF-8 bytes; kThrowable: exception class
    std::vector<jbyte> bytes;    // kByteArray
    std::vector<FakeObject*> elements;      // kObjectArray
    std::map<std::string, jint> intFields;  // kInstance
    std::map<std::string, FakeObject*> refFields;
};

struct FakeField {
    FakeClass* owner;
    std::string name;
    std::string signature;
};

struct FakeClass {
    std::string name;  // in FindClass form, "com/example/Result"
    std::deque<FakeField> fields;
    FakeObject object;  // what a jclass of this class points to
};

// A field to declare on a fake class: name and JNI type signature.
struct FieldSpec {
    std::string name;
    std::string signature;
};

class FakeJni {
  public:
    FakeJni();
    ~FakeJni();
    FakeJni(const FakeJni&) = delete;
    FakeJni& operator=(const FakeJni&) = delete;

    JNIEnv* env() { return &holder_.env; }

    // Building the heap. Objects made here are not local references of the code under test.
    jstring NewString(const std::string& modifiedUtf8);
    jbyteArray NewByteArray(const std::vector<uint8_t>& bytes);
    FakeClass* DefineClass(const std::string& name, const std::vector<FieldSpec>& fields);
    // The result class with the four fields the library writes, plus `extra` fields.
    FakeClass* DefineResultClass(const std::string& name, const std::vector<FieldSpec>& extra = {});
    // The result class with its field `field` declared with `signature` instead, or left out
    // when `signature` is nullopt: a class the library cannot deliver into.
    FakeClass* DefineBrokenResultClass(const std::string& name, const std::string& field,
                                       const std::optional<std::string>& signature);
    // java/lang/Object, which every environment defines; an array of it takes any object.
    FakeClass* ObjectClass() const { return objectClass_; }
    jobjectArray NewObjectArray(FakeClass* elementClass, size_t length);
    jobject NewInstance(FakeClass* klass);

    // Inspecting the heap.
    static FakeObject* Unwrap(jobject object) { return reinterpret_cast<FakeObject*>(object); }
    static jint IntField(jobject instance, const std::string& name);
    static std::string StringField(jobject instance, const std::string& name);
    static jobject Element(jobjectArray array, size_t index);

    // Makes the n-th call (1-based, counted from now) of `function` fail as a JVM out of memory
    // would: it returns null and leaves an OutOfMemoryError pending.
    void FailCall(const std::string& function, int nth = 1);

    // What happened.
    int Count(const std::string& function) const;
    int OutstandingUtfChars() const { return static_cast<int>(utfChars_.size()); }
    int ReleasesOfUnknownChars() const { return badReleases_; }
    int CallsWhileExceptionPending() const { return callsWhilePending_; }
    // Calls a checked JVM would reject: a field set on an object of another class or with a
    // value of another type.
    int RuleViolations() const { return violations_; }
    bool ExceptionPending() const { return pending_ != nullptr; }
    std::string PendingExceptionClass() const { return pending_ ? pending_->text : ""; }
    int LiveLocalRefs() const;
    int PeakLocalRefs() const { return peakLocalRefs_; }
    int InvalidUtfStrings() const { return invalidUtf_; }
    // Strings handed to GetStringUTFChars, in call order.
    const std::vector<std::string>& ObtainedStrings() const { return obtained_; }

    // The whole environment is checked by tests after each native call: nothing pending,
    // every string released, no rule broken.
    bool Clean() const {
        return !ExceptionPending() && OutstandingUtfChars() == 0 && badReleases_ == 0 &&
               callsWhilePending_ == 0 && violations_ == 0 && invalidUtf_ == 0;
    }

  private:
    struct Holder {
        JNIEnv env;
        FakeJni* owner;
    };
    friend struct Functions;

    static FakeJni& From(JNIEnv* env) { return *reinterpret_cast<Holder*>(env)->owner; }
    // Records the call; returns true when it is to fail (injected).
    bool Enter(const char* function, bool allowedWhilePending = false);
    void Throw(const std::string& exceptionClass);
    jobject MakeLocal(FakeObject* object);
    FakeObject* NewObject(Kind kind);
    FakeClass* FindClassByName(const std::string& name);

    JNINativeInterface_ table_{};
    Holder holder_{};
    std::deque<FakeObject> objects_;
    std::deque<FakeClass> classes_;
    std::map<std::string, int> counts_;
    std::map<std::string, std::vector<int>> failures_;
    std::map<const char*, jstring> utfChars_;
    std::vector<std::string> obtained_;
    std::vector<std::multiset<FakeObject*>> localFrames_{1};  // innermost last
    FakeClass* objectClass_ = nullptr;
    FakeObject* pending_ = nullptr;
    int peakLocalRefs_ = 0;
    int callsWhilePending_ = 0;
    int badReleases_ = 0;
    int invalidUtf_ = 0;
    int violations_ = 0;
};

// The four fields the library writes into a result object, as read back from one.
struct ResultFields {
    std::string name;
    jint logScore = 0;
    jint errorFR = 0;
    jint errorFA = 0;

    bool operator==(const ResultFields&) const = default;
    // "name logScore errorFR errorFA"
    std::string Text() const;
};
std::ostream& operator<<(std::ostream& out, const ResultFields& fields);

// The result fields of `object`: "<null>" for a name and 0 for a number never set.
ResultFields ReadResult(jobject object);

// True when `bytes` is valid modified UTF-8 as NewStringUTF expects: no NUL byte, no four-byte
// sequence, no malformed or overlong sequence (except C0 80 for NUL).
bool IsModifiedUtf8(const std::string& bytes);

}  // namespace fakejni
