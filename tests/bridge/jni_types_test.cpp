// The JNI types as the library relies on them, checked on every platform it is built for. The
// Java Native Interface fixes their sizes, while the C types behind them differ: `long` is 64-bit
// on Linux and 32-bit on Windows, where jint is declared as `long`.
#include <jni.h>

#include <cstdint>
#include <limits>
#include <type_traits>

namespace {

template <typename T, int bits, bool isSigned>
constexpr bool Is() {
    return std::is_integral_v<T> && sizeof(T) * 8 == bits && std::is_signed_v<T> == isSigned;
}

static_assert(Is<jbyte, 8, true>(), "jbyte: signed 8-bit");
static_assert(Is<jboolean, 8, false>(), "jboolean: unsigned 8-bit");
static_assert(Is<jchar, 16, false>(), "jchar: unsigned 16-bit");
static_assert(Is<jshort, 16, true>(), "jshort: signed 16-bit");
static_assert(Is<jint, 32, true>(), "jint: signed 32-bit");
static_assert(Is<jsize, 32, true>(), "jsize: signed 32-bit");
static_assert(Is<jlong, 64, true>(), "jlong: signed 64-bit");
static_assert(sizeof(jfloat) == 4 && sizeof(jdouble) == 8, "IEEE single and double");

// Return codes and scores travel between int32_t (the engine's type) and jint (Java's) both
// ways; every value must survive the trip.
static_assert(std::numeric_limits<jint>::min() == INT32_MIN &&
              std::numeric_limits<jint>::max() == INT32_MAX);

}  // namespace
