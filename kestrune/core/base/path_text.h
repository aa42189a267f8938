// Paths as text. path::string() is in the platform's narrow encoding, which on Windows need not
// hold every character of a path; messages and names take a path's UTF-8 bytes instead.
#pragma once

#include <filesystem>
#include <string>

namespace kestrune {

// The UTF-8 bytes of a path, for messages.
std::string PathUtf8(const std::filesystem::path& path);

// The UTF-8 bytes of a path's last component.
std::string FileNameUtf8(const std::filesystem::path& path);

}  // namespace kestrune
