// Durable writes on POSIX and on Windows.
#include "core/base/durable_write.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <system_error>

#include "core/base/path_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrune {
namespace {

// Exclusive creation fails on a name that exists; a writer then takes another.
constexpr int kNameAttempts = 16;

// A suffix no other writer in this or another process picks: the process id, a counter of this
// process's writes, and a random number (the process id alone repeats across containers).
std::string UniqueSuffix() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = [] {
        std::random_device device;
        return (uint64_t{device()} << 32) ^ device() ^
               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    const uint64_t count = counter.fetch_add(1);
    std::mt19937_64 mix(seed ^ (count * 0x9E3779B97F4A7C15ull));
#if defined(_WIN32)
    const auto process = static_cast<uint64_t>(GetCurrentProcessId());
#else
    const auto process = static_cast<uint64_t>(getpid());
#endif
    return std::to_string(process) + "-" + std::to_string(count) + "-" + std::to_string(mix());
}

}  // namespace

std::string TemporaryPrefix(const std::filesystem::path& file) {
    std::string prefix(".");
    prefix.append(FileNameUtf8(file)).append(".tmp-");
    return prefix;
}

#if defined(_WIN32)

namespace {

// A handle closed on every path.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool Close() {
        const bool closed = handle_ == INVALID_HANDLE_VALUE || CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

bool IsReparsePoint(const std::filesystem::path& file) {
    const DWORD attributes = GetFileAttributesW(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool WriteFileDurably(const std::filesystem::path& file, const void* data, size_t size,
                      std::string& error) {
    if (IsReparsePoint(file)) {
        error = PathUtf8(file) + " is a link; not followed, not replaced";
        return false;
    }
    const std::filesystem::path folder = file.parent_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = TemporaryPrefix(file);
        name.append(UniqueSuffix());
        const std::filesystem::path temporary =
            folder / std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size());
        Handle out(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (out.get() == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            error = "cannot create a file in " + PathUtf8(folder);
            return false;
        }
        const auto* bytes = static_cast<const char*>(data);
        bool written = true;
        for (size_t done = 0; written && done < size;) {
            DWORD wrote = 0;
            const auto chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
            written = WriteFile(out.get(), bytes + done, chunk, &wrote, nullptr) != 0 && wrote > 0;
            done += wrote;
        }
        written = written && FlushFileBuffers(out.get()) != 0;
        written = out.Close() && written;
        if (!written || MoveFileExW(temporary.c_str(), file.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
            error = (written ? "cannot replace " : "cannot write ") + PathUtf8(file);
            DeleteFileW(temporary.c_str());
            return false;
        }
        return true;
    }
    error = "cannot find a free temporary name in " + PathUtf8(folder);
    return false;
}

#else

namespace {

std::string SystemMessage(int code) {
    return std::error_code(code, std::system_category()).message();
}

// A descriptor closed on every path.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // True when closed without error (a failed close can be a failed write on some file
    // systems).
    bool Close() {
        const bool closed = fd_ < 0 || close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t wrote = write(fd, bytes, size);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        bytes += wrote;
        size -= static_cast<size_t>(wrote);
    }
    return true;
}

// Removes the temporary file unless the rename took it.
class TemporaryName {
  public:
    TemporaryName(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}
    ~TemporaryName() {
        if (!name_.empty()) {
            unlinkat(folder_, name_.c_str(), 0);
        }
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const char* c_str() const { return name_.c_str(); }
    void Release() { name_.clear(); }

  private:
    int folder_;
    std::string name_;
};

}  // namespace

bool WriteFileDurably(const std::filesystem::path& file, const void* data, size_t size,
                      std::string& error) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const std::string finalName = file.filename().native();
    const Descriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        error = "cannot open the folder " + PathUtf8(folder) + ": " + SystemMessage(errno);
        return false;
    }
    struct stat existing {};
    if (fstatat(directory.get(), finalName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(existing.st_mode)) {
        error = PathUtf8(file) + " is a symbolic link; not followed, not replaced";
        return false;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = TemporaryPrefix(file);
        name.append(UniqueSuffix());
        Descriptor out(openat(directory.get(), name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (out.get() < 0) {
            if (errno == EEXIST || errno == ELOOP) {
                continue;  // taken, or a link planted at the name: another name
            }
            error = "cannot create a file in " + PathUtf8(folder) + ": " + SystemMessage(errno);
            return false;
        }
        TemporaryName temporary(directory.get(), std::move(name));
        if (!WriteAll(out.get(), data, size) || fsync(out.get()) != 0 || !out.Close()) {
            error = "cannot write " + PathUtf8(file) + ": " + SystemMessage(errno);
            return false;
        }
        if (renameat(directory.get(), temporary.c_str(), directory.get(), finalName.c_str()) != 0) {
            error = "cannot replace " + PathUtf8(file) + ": " + SystemMessage(errno);
            return false;
        }
        temporary.Release();
        // The rename is durable once the folder is; a failure here leaves the new file in place
        // (readers already see it), so it is not reported as a failed write.
        fsync(directory.get());
        return true;
    }
    error = "cannot find a free temporary name in " + PathUtf8(folder);
    return false;
}

#endif

}  // namespace kestrune
