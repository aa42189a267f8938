// Little-endian field readers and writers for the model files. The reader is a cursor that
// cannot overrun: a read past the end (or a failed check) makes it fail for good, every later
// read gives zero, and the caller checks ok() once after reading many fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kestrune {

class ByteWriter {
  public:
    void U32(uint32_t value) { Little(value, 4); }
    void U64(uint64_t value) { Little(value, 8); }
    void F32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        U32(bits);
    }
    void F64(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        U64(bits);
    }
    void Bytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    void Little(uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }
    std::vector<uint8_t> bytes_;
};

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    uint32_t U32() { return static_cast<uint32_t>(Little(4)); }
    uint64_t U64() { return Little(8); }
    float F32() {
        const uint32_t bits = U32();
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    double F64() {
        const uint64_t bits = U64();
        double value;
        std::memcpy(&value, &bits, 8);
        return value;
    }
    // The next `size` bytes, or null (and failure) when fewer remain.
    const uint8_t* Take(size_t size) {
        if (!ok_ || size > size_ - offset_) {
            ok_ = false;
            return nullptr;
        }
        const uint8_t* at = data_ + offset_;
        offset_ += size;
        return at;
    }
    // Fails unless `count` items of `itemSize` bytes can still follow; checked before sizing
    // anything from a count read out of the file.
    bool Expect(uint64_t count, size_t itemSize) {
        if (ok_ && itemSize != 0 && count > (size_ - offset_) / itemSize) {
            ok_ = false;
        }
        return ok_;
    }
    void Check(bool condition) { ok_ = ok_ && condition; }

    bool ok() const { return ok_; }
    size_t remaining() const { return ok_ ? size_ - offset_ : 0; }

  private:
    uint64_t Little(int size) {
        const uint8_t* p = Take(static_cast<size_t>(size));
        uint64_t value = 0;
        if (p != nullptr) {
            for (int i = 0; i < size; ++i) {
                value |= static_cast<uint64_t>(p[i]) << (8 * i);
            }
        }
        return value;
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

// 64-bit FNV-1a hash: the files' integrity check and the background model's fingerprint.
inline uint64_t Fnv1a64(const uint8_t* data, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 1099511628211ull;
    }
    return hash;
}

}  // namespace kestrune
