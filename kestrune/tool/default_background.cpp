// Finding the installed background model beside the tool.
#include "tool/default_background.h"

#include <system_error>

#include "core/models/model_files.h"

namespace kestrune {

std::filesystem::path DefaultBackgroundDirectory() {
    std::error_code code;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", code);
    if (code) {
        return {};
    }
    const std::filesystem::path directory =
        executable.parent_path().parent_path() / "share" / "kestrune" / "ubm";
    if (!std::filesystem::is_regular_file(directory / kBackgroundFileName, code)) {
        return {};
    }
    return directory;
}

}  // namespace kestrune
