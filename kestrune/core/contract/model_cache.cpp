// The cache's bookkeeping: a list of preparations in order of use, and an index from each file
// to the preparation that last took it in.
#include "core/contract/model_cache.h"

#include <iterator>

#include "core/base/settings.h"

namespace kestrune {

uint64_t CacheBytesFromSetting(const char* setting) {
    constexpr uint64_t kMegabyte = uint64_t{1} << 20;
    const std::optional<uint64_t> megabytes =
        SettingNumber(kCacheSettingName, setting, kMaxCacheMegabytes);
    return megabytes ? *megabytes * kMegabyte : kDefaultCacheBytes;
}

uint64_t ModelCache::ListingHash(uint64_t fingerprint, const std::vector<FileIdentity>& files) {
    uint64_t hash = fingerprint;
    for (const FileIdentity& file : files) {
        hash = (hash ^ FileIdentityHash()(file)) * 0x100000001B3ull;
    }
    return hash;
}

ModelCache::NodeList::iterator ModelCache::FindNode(uint64_t fingerprint,
                                                    const std::vector<FileIdentity>& files,
                                                    uint64_t hash) {
    for (auto node = lru_.begin(); node != lru_.end(); ++node) {
        if (node->listingHash == hash && node->prepared->ubmFingerprint == fingerprint &&
            node->prepared->files == files) {
            return node;
        }
    }
    return lru_.end();
}

std::shared_ptr<const PreparedTargets> ModelCache::FindListing(
    uint64_t fingerprint, const std::vector<FileIdentity>& files) {
    const uint64_t hash = ListingHash(fingerprint, files);
    std::lock_guard lock(mutex_);
    const auto node = FindNode(fingerprint, files, hash);
    // A listing with a file that could not be read is not reused whole: that file is read again.
    if (node == lru_.end() || node->prepared->anyUnavailable) {
        return nullptr;
    }
    lru_.splice(lru_.begin(), lru_, node);
    return node->prepared;
}

std::vector<ModelCache::Known> ModelCache::FindFiles(uint64_t fingerprint,
                                                     const std::vector<FileIdentity>& files) {
    std::vector<Known> known(files.size());
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < files.size(); ++i) {
        const auto entry = files_.find(Key{&files[i], fingerprint});
        if (entry != files_.end()) {
            known[i] = {entry->second.node->prepared, entry->second.target};
        }
    }
    return known;
}

void ModelCache::Keep(const std::shared_ptr<const PreparedTargets>& prepared, int64_t now) {
    if (prepared->bytes > limits_.maxBytes) {
        return;
    }
    const int64_t settled = now - limits_.settleTime;
    for (const FileIdentity& file : prepared->files) {
        if (file.Newest() > settled) {
            return;
        }
    }
    const uint64_t fingerprint = prepared->ubmFingerprint;
    const uint64_t hash = ListingHash(fingerprint, prepared->files);
    std::lock_guard lock(mutex_);
    const auto existing = FindNode(fingerprint, prepared->files, hash);
    if (existing != lru_.end()) {
        if (!existing->prepared->anyUnavailable || prepared->anyUnavailable) {
            return;  // a load on another thread kept the same listing first
        }
        Drop(existing);  // a listing read whole replaces one with a file that failed to read
    }
    lru_.push_front({prepared, hash, 0});
    const auto node = lru_.begin();
    bytes_ += prepared->bytes;
    for (size_t i = 0; i < prepared->files.size(); ++i) {
        if (prepared->targetOf[i] == kUnavailableTarget) {
            continue;  // not a verdict on the file: nothing is kept about it
        }
        const Key key{&prepared->files[i], fingerprint};
        const auto entry = files_.find(key);
        if (entry != files_.end()) {
            const auto before = entry->second.node;
            files_.erase(entry);  // its key points into the preparation it came from
            if (--before->files == 0) {
                Drop(before);  // superseded: a listing that changed seldom comes back
            }
        }
        files_.emplace(key, Entry{node, prepared->targetOf[i]});
        ++node->files;
    }
    while (bytes_ > limits_.maxBytes) {
        Drop(std::prev(lru_.end()));  // never `node`, which alone fits
    }
}

void ModelCache::Drop(NodeList::iterator node) {
    const uint64_t fingerprint = node->prepared->ubmFingerprint;
    for (const FileIdentity& file : node->prepared->files) {
        const auto entry = files_.find(Key{&file, fingerprint});
        if (entry != files_.end() && entry->second.node == node) {
            files_.erase(entry);
        }
    }
    bytes_ -= node->prepared->bytes;
    lru_.erase(node);
}

ModelCache::Stats ModelCache::stats() const {
    std::lock_guard lock(mutex_);
    return {bytes_, lru_.size(), files_.size()};
}

}  // namespace kestrune
