// Scanning a models directory.
#include "core/contract/target_directory.h"

#include <algorithm>
#include <system_error>

#include "core/contract/names.h"
#include "core/models/model_files.h"

namespace kestrune {

std::vector<TargetDirectory> FindTargetDirectories(const std::filesystem::path& models) {
    std::vector<TargetDirectory> found;
    std::error_code code;
    std::filesystem::directory_iterator it(models, code);
    if (code) {
        return found;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(code)) {
        if (code) {
            break;
        }
        std::error_code entryCode;
        if (!it->is_directory(entryCode)) {
            continue;
        }
        std::filesystem::path file = it->path() / kTargetFileName;
        if (!std::filesystem::is_regular_file(file, entryCode)) {
            continue;
        }
        found.push_back({FileNameUtf8(it->path()), std::move(file)});
    }
    std::sort(found.begin(), found.end(),
              [](const TargetDirectory& a, const TargetDirectory& b) { return a.name < b.name; });
    return found;
}

}  // namespace kestrune
