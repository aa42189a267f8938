// Holds the modified UTF-8 characters of a Java string for one scope and releases them exactly
// once. A null string yields no characters and no JNI call; a JVM that cannot supply the
// characters yields none either, with its pending exception cleared so that nothing is thrown
// back into Java.
#pragma once

#include <jni.h>

namespace jkestrune {

class ScopedUtfChars {
  public:
    ScopedUtfChars() = default;
    ScopedUtfChars(JNIEnv* env, jstring string) { Obtain(env, string); }
    ~ScopedUtfChars() { Release(); }

    ScopedUtfChars(const ScopedUtfChars&) = delete;
    ScopedUtfChars& operator=(const ScopedUtfChars&) = delete;

    // Releases what is held, then obtains the characters of `string` (which may be null).
    void Obtain(JNIEnv* env, jstring string) {
        Release();
        env_ = env;
        string_ = string;
        if (string == nullptr) {
            return;
        }
        chars_ = env->GetStringUTFChars(string, nullptr);
        if (chars_ == nullptr) {
            env->ExceptionClear();
        }
    }

    // Releases the characters now rather than at the end of the scope; later calls do nothing.
    void Release() {
        if (chars_ != nullptr) {
            env_->ReleaseStringUTFChars(string_, chars_);
            chars_ = nullptr;
        }
    }

    // The characters, or null when the string was null or could not be read.
    const char* c_str() const { return chars_; }

  private:
    JNIEnv* env_ = nullptr;
    jstring string_ = nullptr;
    const char* chars_ = nullptr;
};

}  // namespace jkestrune
