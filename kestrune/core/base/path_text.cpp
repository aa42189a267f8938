// Paths as UTF-8 text.
#include "core/base/path_text.h"

namespace kestrune {

std::string PathUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string FileNameUtf8(const std::filesystem::path& path) {
    return PathUtf8(path.filename());
}

}  // namespace kestrune
