// A path as the tool's messages show it: UTF-8 with control characters and backslashes escaped
// as names are, so that a file name holding a line break cannot forge a line of the output.
#pragma once

#include <filesystem>
#include <string>

#include "bridge/name_escape.h"
#include "core/base/path_text.h"

namespace kestrune {

inline std::string ShownPath(const std::filesystem::path& path) {
    return jkestrune::EscapedName(PathUtf8(path));
}

}  // namespace kestrune
