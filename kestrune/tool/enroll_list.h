// The list that `kestrune enroll --list` enrolls from: one target a line, its name and then its
// recordings, tab-separated; and the shard of it that one task takes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune {

// One of N shares of a list: the entries whose position modulo `count` is `index`.
struct ListShard {
    size_t index = 0;
    size_t count = 1;
};

// Parses "K/N" with 0 <= K < N.
bool ParseShard(const std::string& text, ListShard& shard);

struct EnrollEntry {
    std::string name;
    std::vector<std::string> files;  // relative paths taken from the list's folder
};

// Reads the entries of `list` that `shard` holds. Blank lines and lines starting with '#' hold no
// entry and take no position. The whole list is checked, so that every task of a sharded run
// refuses a bad list alike: false, with the line and what is wrong in `error`, for a line
// without recordings, a name that cannot be a folder, or a name listed twice.
bool ReadEnrollList(const std::filesystem::path& list, const ListShard& shard,
                    std::vector<EnrollEntry>& entries, std::string& error);

}  // namespace kestrune
