// Return codes of the identification methods. 0 is success; every other value that is not
// listed here is the engine's own code, passed to Java unchanged. The Java constants in
// LoadManager and the README's table mirror this list.
#pragma once

#include <cstdint>

namespace jkestrune {

inline constexpr int32_t kSuccess = 0;
// A required string argument (the models directory or the result class name) is null.
inline constexpr int32_t ERR_NULL_ARGUMENT = 1116;
// audioLength is negative or larger than the audio array.
inline constexpr int32_t ERR_INVALID_ARGUMENT = 1117;
// A native buffer could not be allocated, or the JVM could not supply a string's characters.
inline constexpr int32_t ERR_OUT_OF_MEMORY = 1118;
// The results could not be written into the caller's array or object.
inline constexpr int32_t ERR_RESULT_DELIVERY = 1119;
// The engine broke its contract (a negative target count).
inline constexpr int32_t ERR_ENGINE_CONTRACT = 1120;
// No recording, an unreadable container, or an empty data chunk.
inline constexpr int32_t ERR_NO_AUDIO = 2071;

// The reference engine's own codes, passed on unchanged like any engine's (ReturnCode.java and
// the README name them): 4101 no background model, 4102 no targets, 4103 model-set values not
// from its load, 4104 bad count or null array, 4105 too little speech, 4106 busy (its stream
// limit reached; the tools retry it), 4107 out of memory, 4108 internal failure, 4109 too many
// targets (the models directory holds more than its target limit, and none is loaded).

}  // namespace jkestrune
