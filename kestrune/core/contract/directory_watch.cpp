// Listings kept under an inotify watch (see directory_watch.h).
#include "core/contract/directory_watch.h"

#include <cerrno>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "core/base/settings.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

namespace kestrune {

bool DirectoryWatchEnabled(const char* setting) {
    return SettingNumber("KESTRUNE_DIRECTORY_WATCH", setting, 1).value_or(1) != 0;
}

#if defined(__linux__)
namespace {

// How many models directories keep a watch at once; the least recently listed lose theirs.
constexpr size_t kWatchedDirectories = 8;
constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                             IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// File systems on which every change, by whatever process of whatever machine, passes through
// this kernel.
bool LocalFileSystem(const char* path) {
    struct statfs info {};
    if (::statfs(path, &info) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(info.f_type)) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case F2FS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

class Watch {
  public:
    Watch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~Watch() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    // Watches a directory; false when it cannot be watched exactly.
    bool Add(const std::string& directory) {
        return fd_ >= 0 && LocalFileSystem(directory.c_str()) &&
               ::inotify_add_watch(fd_, directory.c_str(), kEvents) >= 0;
    }

    // True while no event (an overflow included) has arrived; reads without blocking.
    bool Quiet() {
        if (changed_) {
            return false;
        }
        alignas(inotify_event) char buffer[4096];
        const ssize_t read = ::read(fd_, buffer, sizeof buffer);
        changed_ = read != -1 || errno != EAGAIN;
        return !changed_;
    }

  private:
    int fd_;
    bool changed_ = false;
};

struct Kept {
    std::string models;
    std::unique_ptr<Watch> watch;
    std::vector<TargetDirectory> listing;
};

std::mutex keptMutex;
std::list<Kept> kept;  // most recently listed first

}  // namespace

std::vector<TargetDirectory> WatchedListing(const std::filesystem::path& models,
                                            const DirectoryScan& scan) {
    static const bool enabled = DirectoryWatchEnabled(std::getenv("KESTRUNE_DIRECTORY_WATCH"));
    if (!enabled) {
        return scan(models);
    }
    const std::string key = models.native();
    {
        const std::lock_guard<std::mutex> lock(keptMutex);
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            if (it->models == key) {
                if (it->watch->Quiet()) {
                    kept.splice(kept.begin(), kept, it);
                    return it->listing;
                }
                kept.erase(it);
                break;
            }
        }
    }
    // The directory's watch comes before the first scan, which names the target folders; their
    // watches come before the second, whose listing is kept: a change before a watch was armed
    // shows in the second scan, one after it as an event.
    auto watch = std::make_unique<Watch>();
    bool exact = watch->Add(key);
    std::vector<TargetDirectory> listing = scan(models);
    for (size_t i = 0; exact && i < listing.size(); ++i) {
        exact = watch->Add(key + "/" + listing[i].name);
    }
    if (!exact) {
        return listing;
    }
    listing = scan(models);
    if (watch->Quiet()) {
        const std::lock_guard<std::mutex> lock(keptMutex);
        kept.push_front({key, std::move(watch), listing});
        if (kept.size() > kWatchedDirectories) {
            kept.pop_back();
        }
    }
    return listing;
}

#else

std::vector<TargetDirectory> WatchedListing(const std::filesystem::path& models,
                                            const DirectoryScan& scan) {
    return scan(models);
}

#endif

}  // namespace kestrune
