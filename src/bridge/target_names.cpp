#include "bridge/target_names.h"

#include <cstring>

namespace jkestrune {
namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed standard UTF-8 sequence at `p` (of `left` bytes), or 0. Three-byte
// encodings of surrogates are let through: they are how modified UTF-8 writes supplementary
// characters, so a name already in that form stays as it is.
size_t SequenceLength(const unsigned char* p, size_t left) {
    const unsigned char lead = p[0];
    if (lead >= 0x01 && lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return left >= 2 && IsContinuation(p[1]) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        return left >= 3 && p[1] >= low && p[1] <= 0xBF && IsContinuation(p[2]) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        const bool valid = left >= 4 && p[1] >= low && p[1] <= high && IsContinuation(p[2]) &&
                           IsContinuation(p[3]);
        return valid ? 4 : 0;
    }
    return 0;
}

// Appends to a fixed buffer, keeping room for the terminating NUL.
class Writer {
  public:
    Writer(char* out, size_t capacity) : out_(out), capacity_(capacity) {}

    bool Append(const void* bytes, size_t length) {
        if (used_ + length + 1 > capacity_) {
            return false;
        }
        std::memcpy(out_ + used_, bytes, length);
        used_ += length;
        return true;
    }

    // A supplementary character as its two surrogates, three bytes each; both or neither.
    bool AppendSurrogatePair(uint32_t code) {
        const uint32_t offset = code - 0x10000;
        const uint32_t units[2] = {0xD800 + (offset >> 10), 0xDC00 + (offset & 0x3FF)};
        unsigned char bytes[6];
        for (int k = 0; k < 2; ++k) {
            bytes[3 * k] = static_cast<unsigned char>(0xE0 | (units[k] >> 12));
            bytes[3 * k + 1] = static_cast<unsigned char>(0x80 | ((units[k] >> 6) & 0x3F));
            bytes[3 * k + 2] = static_cast<unsigned char>(0x80 | (units[k] & 0x3F));
        }
        return Append(bytes, sizeof bytes);
    }

    size_t Finish() {
        out_[used_] = '\0';
        return used_;
    }

  private:
    char* out_;
    size_t capacity_;
    size_t used_ = 0;
};

}  // namespace

std::string_view TargetName(const char* targetNames, int32_t target) {
    const char* slot = targetNames + static_cast<size_t>(target) * kTargetNameSlot;
    const void* nul = std::memchr(slot, '\0', kTargetNameSlot);
    const size_t length = nul == nullptr
                              ? kTargetNameSlot
                              : static_cast<size_t>(static_cast<const char*>(nul) - slot);
    return {slot, length};
}

size_t ToModifiedUtf8(std::string_view bytes, char* out, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    Writer writer(out, capacity);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const size_t length = SequenceLength(p + i, n - i);
        bool fits;
        if (p[i] == 0) {
            fits = writer.Append("\xC0\x80", 2);
            i += 1;
        } else if (length == 0) {
            fits = writer.Append("\xEF\xBF\xBD", 3);  // U+FFFD
            i += 1;
        } else if (length < 4) {
            fits = writer.Append(p + i, length);
            i += length;
        } else {
            const uint32_t code = ((p[i] & 0x07u) << 18) | ((p[i + 1] & 0x3Fu) << 12) |
                                  ((p[i + 2] & 0x3Fu) << 6) | (p[i + 3] & 0x3Fu);
            fits = writer.AppendSurrogatePair(code);
            i += 4;
        }
        if (!fits) {
            break;
        }
    }
    return writer.Finish();
}

}  // namespace jkestrune
