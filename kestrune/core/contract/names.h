// Text at the engine's boundary. Paths arrive as JNI gives them (modified UTF-8: supplementary
// characters as surrogate pairs of three bytes each, NUL as C0 80); target names leave in the
// same form, since the library hands them to NewStringUTF, in slots of 255 bytes and a NUL.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune {

// Turns a NUL-terminated modified UTF-8 path into a filesystem path. Surrogate pairs become
// UTF-8; other bytes pass unchanged (so a plain UTF-8 or byte path works too). Null, empty and
// paths with an encoded NUL give nothing. The path is built from UTF-8 whatever the platform's
// narrow encoding: on Windows, where paths are UTF-16, a path that is not UTF-8 gives nothing.
std::optional<std::filesystem::path> PathFromModifiedUtf8(const char* text);

// A directory name (UTF-8 as the file system gives it) as modified UTF-8 of at most
// `maxBytes` bytes, cut before the first character that would not fit whole. A byte that is
// not part of valid UTF-8 becomes U+FFFD.
std::string ModifiedUtf8Name(std::string_view utf8, size_t maxBytes);

}  // namespace kestrune
