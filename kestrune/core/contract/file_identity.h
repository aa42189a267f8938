// What tells one version of a file from another without reading it, from one status call: its
// path, size and timestamps at full resolution, and on POSIX its device and inode. Target files
// are rewritten by writing a new file and renaming it over the old one (WriteFileAtomically),
// which gives the new version another inode and a new status-change time; a file written in
// place changes its modification time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace kestrune {

struct FileIdentity {
    std::filesystem::path::string_type path;
    uint64_t size = 0;
    // In file-clock units (kFileClockPerSecond). `changed` is the status-change time on POSIX,
    // which no program can set back, and the creation time on Windows.
    int64_t modified = 0;
    int64_t changed = 0;
    uint64_t device = 0;  // POSIX only; 0 on Windows
    uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
    int64_t Newest() const { return modified > changed ? modified : changed; }
};

struct FileIdentityHash {
    size_t operator()(const FileIdentity& file) const;
};

#if defined(_WIN32)
inline constexpr int64_t kFileClockPerSecond = 10000000;  // FILETIME: 100 ns since 1601
#else
inline constexpr int64_t kFileClockPerSecond = 1000000000;  // ns since 1970
#endif

// True when `path` is a regular file (after symbolic links), with `identity` filled in.
bool IdentifyRegularFile(const std::filesystem::path& path, FileIdentity& identity);

#if !defined(_WIN32)
// The same for `relative` under the open directory `directory` (a shorter walk than from the
// root), filling in every field of `identity` but its path.
bool IdentifyRegularFileAt(int directory, const char* relative, FileIdentity& identity);
#endif

// The wall-clock time now, in the units and epoch of FileIdentity's times.
int64_t FileClockNow();

}  // namespace kestrune
