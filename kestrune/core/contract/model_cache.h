// The engine's cache of prepared targets. Loading a set reads, checks and prepares every target
// file under a models directory; identifications load the same unchanged files again and again.
// The cache keeps prepared targets (PreparedTargets, read-only and shared with the sets that use
// them), keyed by the identity of every file (FileIdentity: path, size, timestamps, inode) and
// the background model's fingerprint, so that a load of an unchanged listing costs its
// directory scan and one status call per file, and a load after one file changed reads that
// file alone and copies the others. A rewritten file has another identity and is read again;
// a set loaded before keeps what it loaded until it is destroyed.
//
// Memory is bounded: the least recently used preparations are dropped when the bound is
// exceeded. A set holds its own reference, so a dropped preparation lives on until its last
// set is destroyed; the bound counts only what the cache itself holds.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "core/contract/engine_codes.h"
#include "core/contract/file_identity.h"
#include "core/contract/prepared_targets.h"

namespace kestrune {

// Memory of one target prepared against the default background model (256 components of 40
// values, three conditions): 3 × 256 × (40 + 1) floats of directions and offsets (126 kB), its
// genuine samples (an enrollment keeps at most 150, of 16 bytes), its share of the pooled
// samples and its file's identity: about 130 kB (129.8 kB measured with 1000 such targets).
inline constexpr uint64_t kTypicalTargetBytes = 130 * 1024;
// Enough to keep a directory at the target limit between loads (about 1.3 GB): a process that
// loads that many targets holds as much during every call anyway.
inline constexpr uint64_t kDefaultCacheBytes = uint64_t{kMaxTargets} * kTypicalTargetBytes;

inline constexpr char kCacheSettingName[] = "KESTRUNE_CACHE_MB";
// The largest bound the setting takes, in MiB: a mebibyte short of 2^44 bytes (16 TiB), far
// beyond any memory, and small enough that the bound in bytes cannot wrap.
inline constexpr uint64_t kMaxCacheMegabytes = (uint64_t{1} << 24) - 1;

// The bound set by KESTRUNE_CACHE_MB (`setting`, null when unset): whole megabytes (MiB) in
// decimal digits only, any zero ("0", "000") turning the cache off. Anything else (spaces, a
// sign, a unit, more than kMaxCacheMegabytes) is reported once on standard error and gives
// kDefaultCacheBytes.
uint64_t CacheBytesFromSetting(const char* setting);

struct ModelCacheLimits {
    uint64_t maxBytes = kDefaultCacheBytes;
    // Files changed less than this before a load (or dated after it) are prepared but not
    // kept: a file rewritten twice within one tick of the file system's clock, at the same
    // size, on a reused inode, would look unchanged. Two seconds cover the coarsest clocks
    // (FAT's).
    int64_t settleTime = 2 * kFileClockPerSecond;
};

class ModelCache {
  public:
    explicit ModelCache(const ModelCacheLimits& limits) : limits_(limits) {}
    ModelCache(const ModelCache&) = delete;
    ModelCache& operator=(const ModelCache&) = delete;

    // The preparation kept for exactly these files against the background model `fingerprint`,
    // or null. A hit becomes the most recently used.
    std::shared_ptr<const PreparedTargets> FindListing(uint64_t fingerprint,
                                                       const std::vector<FileIdentity>& files);

    // What is kept about one file: target `target` of `prepared`, or, with kUnusableTarget, that
    // the file is unusable. Nothing known: `prepared` is null. Only verdicts on a file's
    // contents are kept; a file that could not be read is unknown on the next load.
    struct Known {
        std::shared_ptr<const PreparedTargets> prepared;
        int32_t target = -1;
    };
    std::vector<Known> FindFiles(uint64_t fingerprint, const std::vector<FileIdentity>& files);

    // Keeps `prepared` as the most recently used, unless it alone exceeds the bound or one of
    // its files changed within settleTime before `now` (FileClockNow()). Its files then point to
    // it; a preparation that no file points to any more is dropped, and then the least recently
    // used until the bound holds.
    void Keep(const std::shared_ptr<const PreparedTargets>& prepared, int64_t now);

    struct Stats {
        uint64_t bytes = 0;
        size_t preparations = 0;
        size_t files = 0;
    };
    Stats stats() const;

  private:
    struct Node {
        std::shared_ptr<const PreparedTargets> prepared;
        uint64_t listingHash;
        size_t files = 0;  // entries of files_ that point here
    };
    using NodeList = std::list<Node>;
    // A file of a kept preparation (the identity lives inside it) or of a listing looked up.
    struct Key {
        const FileIdentity* file;
        uint64_t fingerprint;
        bool operator==(const Key& other) const {
            return fingerprint == other.fingerprint && *file == *other.file;
        }
    };
    struct KeyHash {
        size_t operator()(const Key& key) const {
            return FileIdentityHash()(*key.file) ^ key.fingerprint;
        }
    };
    struct Entry {
        NodeList::iterator node;
        int32_t target;
    };

    static uint64_t ListingHash(uint64_t fingerprint, const std::vector<FileIdentity>& files);
    NodeList::iterator FindNode(uint64_t fingerprint, const std::vector<FileIdentity>& files,
                                uint64_t hash);
    void Drop(NodeList::iterator node);

    const ModelCacheLimits limits_;
    mutable std::mutex mutex_;
    NodeList lru_;  // most recently used first
    std::unordered_map<Key, Entry, KeyHash> files_;
    uint64_t bytes_ = 0;
};

}  // namespace kestrune
