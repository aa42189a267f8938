// A little-endian reader over a byte range that cannot read outside it.
#pragma once

#include <cstdint>
#include <cstring>

namespace jkestrune {

// Reads fields one after another from [data, data + size). A read or seek that would leave the
// range sets a sticky failure: it and every later read return 0 and leave the position alone,
// so a parser can read a group of fields and check ok() once. Values are assembled from bytes
// (memcpy, then shifts), never through unaligned pointer casts, so the result does not depend
// on the host's byte order or alignment rules.
class ByteCursor {
  public:
    ByteCursor(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    uint64_t offset() const { return offset_; }

    // Moves to `offset`, which may be the end itself but not beyond it.
    void Seek(uint64_t offset) {
        if (!ok_ || offset > size_) {
            ok_ = false;
            return;
        }
        offset_ = offset;
    }

    // Copies `count` bytes to `out`, or fails and leaves `out` untouched.
    void ReadBytes(void* out, uint32_t count) {
        if (!Available(count)) {
            return;
        }
        std::memcpy(out, data_ + offset_, count);
        offset_ += count;
    }

    uint8_t U8() {
        uint8_t bytes[1] = {};
        ReadBytes(bytes, 1);
        return bytes[0];
    }

    uint16_t U16() {
        uint8_t bytes[2] = {};
        ReadBytes(bytes, 2);
        return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    }

    uint32_t U32() {
        uint8_t bytes[4] = {};
        ReadBytes(bytes, 4);
        return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
               static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    }

    // Two's-complement reinterpretation of U16 (well defined since C++20).
    int16_t I16() { return static_cast<int16_t>(U16()); }

    // Reads four bytes and compares them with `id` exactly (case-sensitive).
    bool MatchId(const char (&id)[5]) {
        char bytes[4] = {};
        ReadBytes(bytes, 4);
        return ok_ && std::memcmp(bytes, id, 4) == 0;
    }

  private:
    bool Available(uint64_t count) {
        if (!ok_ || count > size_ - offset_) {
            ok_ = false;
            return false;
        }
        return true;
    }

    const uint8_t* data_;
    uint32_t size_;
    uint64_t offset_ = 0;
    bool ok_ = true;
};

}  // namespace jkestrune
