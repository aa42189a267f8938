// A JNI local reference deleted at the end of its scope, so that a loop over many targets
// keeps the local reference table small.
#pragma once

#include <jni.h>

namespace jkestrune {

template <typename T>
class ScopedLocalRef {
  public:
    ScopedLocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    ~ScopedLocalRef() {
        if (ref_ != nullptr) {
            env_->DeleteLocalRef(ref_);
        }
    }
    ScopedLocalRef(const ScopedLocalRef&) = delete;
    ScopedLocalRef& operator=(const ScopedLocalRef&) = delete;

    T get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

  private:
    JNIEnv* env_;
    T ref_;
};

}  // namespace jkestrune
