// File status through the platform's own call: std::filesystem gives neither the inode nor the
// status-change time, and would need a call per field.
#include "core/contract/file_identity.h"

#include <functional>
#include <string>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#endif

namespace kestrune {

size_t FileIdentityHash::operator()(const FileIdentity& file) const {
    size_t hash = std::hash<std::filesystem::path::string_type>()(file.path);
    for (const uint64_t field : {file.size, static_cast<uint64_t>(file.modified),
                                 static_cast<uint64_t>(file.changed), file.device, file.inode}) {
        hash = (hash ^ std::hash<uint64_t>()(field)) * 0x100000001B3ull;
    }
    return hash;
}

#if defined(_WIN32)

namespace {

int64_t FileTimeTicks(const FILETIME& time) {
    return static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
}

}  // namespace

bool IdentifyRegularFile(const std::filesystem::path& path, FileIdentity& identity) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return false;
    }
    identity.path = path.native();
    identity.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    identity.modified = FileTimeTicks(data.ftLastWriteTime);
    identity.changed = FileTimeTicks(data.ftCreationTime);
    identity.device = 0;
    identity.inode = 0;
    return true;
}

int64_t FileClockNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeTicks(now);
}

#else

namespace {

int64_t Nanoseconds(const timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * kFileClockPerSecond + time.tv_nsec;
}

void FillIdentity(const struct stat& status, FileIdentity& identity) {
    identity.size = static_cast<uint64_t>(status.st_size);
    identity.modified = Nanoseconds(status.st_mtim);
    identity.changed = Nanoseconds(status.st_ctim);
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
}

}  // namespace

bool IdentifyRegularFile(const std::filesystem::path& path, FileIdentity& identity) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    identity.path = path.native();
    FillIdentity(status, identity);
    return true;
}

bool IdentifyRegularFileAt(int directory, const char* relative, FileIdentity& identity) {
    struct stat status;
    if (::fstatat(directory, relative, &status, 0) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    FillIdentity(status, identity);
    return true;
}

int64_t FileClockNow() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

#endif

}  // namespace kestrune
