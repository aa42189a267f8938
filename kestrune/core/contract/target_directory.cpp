// Scanning a models directory. Every load scans it, so on POSIX the scan reads the directory
// itself and takes the status of each "NAME/target.krn" relative to it: no path objects, and
// a short path walk per file. A name that is not a directory (or a link to one) has no such
// file, so that one call per entry tells both.
#include "core/contract/target_directory.h"

#include <algorithm>
#include <memory>
#include <system_error>

#include "core/base/path_text.h"
#include "core/contract/directory_watch.h"
#include "core/models/model_files.h"

#if !defined(_WIN32)
#include <dirent.h>
#endif

namespace kestrune {
namespace {

void SortByName(std::vector<TargetDirectory>& found) {
    std::sort(found.begin(), found.end(),
              [](const TargetDirectory& a, const TargetDirectory& b) { return a.name < b.name; });
}

}  // namespace

#if defined(_WIN32)

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
        TargetDirectory target;
        if (!IdentifyRegularFile(it->path() / kTargetFileName, target.modelFile)) {
            continue;
        }
        target.name = FileNameUtf8(it->path());
        found.push_back(std::move(target));
    }
    SortByName(found);
    return found;
}

std::vector<TargetDirectory> ScanTargetDirectories(const std::filesystem::path& models) {
    return FindTargetDirectories(models);
}

#else

std::vector<TargetDirectory> FindTargetDirectories(const std::filesystem::path& models) {
    return WatchedListing(models, ScanTargetDirectories);
}

std::vector<TargetDirectory> ScanTargetDirectories(const std::filesystem::path& models) {
    std::vector<TargetDirectory> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(models.c_str()), &closedir);
    if (!directory) {
        return found;
    }
    std::string prefix = models.native();
    if (!prefix.empty() && prefix.back() != '/') {
        prefix += '/';
    }
    const std::string suffix = std::string("/") + kTargetFileName;
    std::string relative;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." ||
            (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)) {
            continue;
        }
        relative.assign(name).append(suffix);
        TargetDirectory target;
        if (!IdentifyRegularFileAt(dirfd(directory.get()), relative.c_str(), target.modelFile)) {
            continue;
        }
        target.name = name;
        target.modelFile.path = prefix + relative;
        found.push_back(std::move(target));
    }
    SortByName(found);
    return found;
}

#endif

}  // namespace kestrune
