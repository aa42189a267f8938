// Per-thread state of the test fakes.
#pragma once

namespace testsupport {

// The calling thread's own `T`, made on first use. With MinGW-w64's GCC, thread_local objects
// live in emulated TLS, whose storage a thread frees when it exits, and their destructors run
// after that (both are winpthreads key destructors, run in the order the keys were created):
// a destructor would work on freed memory, which other threads may already be reusing. There
// each thread's `T` is allocated and never destroyed, a small leak per thread of a test
// program; elsewhere it is an ordinary thread_local object. `Tag` keeps apart states of the
// same type.
template <typename T, typename Tag = T>
T& PerThread() {
#if defined(__MINGW32__)
    thread_local T* state = new T();
    return *state;
#else
    thread_local T state;
    return state;
#endif
}

}  // namespace testsupport
