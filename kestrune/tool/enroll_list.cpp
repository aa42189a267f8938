// The list of `kestrune enroll --list`.
#include "tool/enroll_list.h"

#include <fstream>
#include <set>

#include "core/base/path_text.h"
#include "core/contract/model_directories.h"
#include "tool/arguments.h"
#include "tool/shown_path.h"

namespace kestrune {

bool ParseShard(const std::string& text, ListShard& shard) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) {
        return false;
    }
    ListShard parsed;
    if (!ParseNumber(text.substr(0, slash), parsed.index) ||
        !ParseNumber(text.substr(slash + 1), parsed.count) || parsed.count == 0 ||
        parsed.index >= parsed.count) {
        return false;
    }
    shard = parsed;
    return true;
}

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::filesystem::path PathOfUtf8(const std::string& text) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace

bool ReadEnrollList(const std::filesystem::path& list, const ListShard& shard,
                    std::vector<EnrollEntry>& entries, std::string& error) {
    std::ifstream in(list, std::ios::binary);
    if (!in) {
        error = "cannot read " + ShownPath(list);
        return false;
    }
    const std::filesystem::path folder = list.parent_path();
    std::set<std::string> names;
    size_t position = 0;
    size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields = SplitTabs(line);
        const std::string where = ShownPath(list) + ":" + std::to_string(number) + ": ";
        if (!ValidTargetName(fields[0])) {
            error = where + "'" + fields[0] + "' cannot be a directory name";
            return false;
        }
        if (!names.insert(fields[0]).second) {
            error = where + "'" + fields[0] + "' is listed twice";
            return false;
        }
        EnrollEntry entry{fields[0], {}};
        for (size_t i = 1; i < fields.size(); ++i) {
            if (fields[i].empty()) {
                continue;
            }
            const std::filesystem::path file = PathOfUtf8(fields[i]);
            entry.files.push_back(PathUtf8(file.is_absolute() ? file : folder / file));
        }
        if (entry.files.empty()) {
            error = where + "'" + fields[0] + "' has no recordings";
            return false;
        }
        if (position++ % shard.count == shard.index) {
            entries.push_back(std::move(entry));
        }
    }
    return true;
}

}  // namespace kestrune
