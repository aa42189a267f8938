// Return codes of the identification methods. 0 is success; every other value that is not
// listed here is the engine's own code, passed to Java unchanged. What each code means is said
// once, in java/src/main/java/com/mirelta/requests/ReturnCode.java, which the Java side, the
// tools and docs/JAVA-API.md all use; the build compares these numbers with the Java constants
// (cmake/checks/return_codes_agree.cpp), so that neither side can change one alone.
#pragma once

#include <cstdint>

namespace jkestrune {

inline constexpr int32_t kSuccess = 0;
inline constexpr int32_t ERR_NULL_ARGUMENT = 1116;
inline constexpr int32_t ERR_INVALID_ARGUMENT = 1117;
inline constexpr int32_t ERR_OUT_OF_MEMORY = 1118;
inline constexpr int32_t ERR_RESULT_DELIVERY = 1119;
inline constexpr int32_t ERR_ENGINE_CONTRACT = 1120;
inline constexpr int32_t ERR_NO_AUDIO = 2071;

}  // namespace jkestrune
