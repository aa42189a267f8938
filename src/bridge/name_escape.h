// Names in text output. A target or file name is whatever bytes a directory or a list held: a
// newline in one would forge a line of a log or a row of a table, a tab a column, and other
// control characters drive the terminal. Every text output of the library and the tools writes
// names through this one escaping, so that a line stays a line:
//
//   \  -> \\      newline -> \n     carriage return -> \r     tab -> \t
//   other C0 controls, DEL, and bytes that form no UTF-8 character -> \xNN (two hex digits)
//   C1 controls (U+0080-U+009F) -> \u00NN
//
// Everything else passes unchanged, so a name without such characters prints as it is. The
// encoded NUL of modified UTF-8 (C0 80) is a control character too and becomes \x00.
// Header-only and free of the heap: the library's console log uses it on fixed buffers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jkestrune {

// The longest text one input byte can become (\xNN).
inline constexpr size_t kMaxEscapedBytesPerByte = 4;

namespace escape_detail {

inline bool Continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the character at `p` (`left` bytes remain): standard UTF-8, plus the three-byte
// surrogates through which modified UTF-8 writes characters beyond the Basic Multilingual Plane;
// 0 when the bytes form no character.
inline size_t CharacterLength(const unsigned char* p, size_t left) {
    const unsigned char lead = p[0];
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (left >= 2 && lead == 0xE0 && p[1] < 0xA0) {
            return 0;  // overlong
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (left >= 2 && ((lead == 0xF0 && p[1] < 0x90) || (lead == 0xF4 && p[1] > 0x8F))) {
            return 0;  // overlong, or beyond U+10FFFF
        }
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if (!Continuation(p[i])) {
            return 0;
        }
    }
    return length;
}

}  // namespace escape_detail

// Calls `append(std::string_view)` with the escaped pieces of `text`, in order.
template <typename Append>
void EscapeName(std::string_view text, Append&& append) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t plain = 0;  // start of the bytes not yet appended, all passing unchanged
    const auto flush = [&](size_t end) {
        if (end > plain) {
            append(text.substr(plain, end - plain));
        }
    };
    for (size_t i = 0; i < n;) {
        const unsigned char byte = p[i];
        char escaped[6] = {'\\', 0, 0, 0, 0, 0};
        size_t escapedLength = 0;
        size_t consumed = 1;
        if (byte == '\\') {
            escaped[1] = '\\', escapedLength = 2;
        } else if (byte == '\n') {
            escaped[1] = 'n', escapedLength = 2;
        } else if (byte == '\r') {
            escaped[1] = 'r', escapedLength = 2;
        } else if (byte == '\t') {
            escaped[1] = 't', escapedLength = 2;
        } else if (byte < 0x20 || byte == 0x7F) {
            escaped[1] = 'x', escaped[2] = kHex[byte >> 4], escaped[3] = kHex[byte & 0xF];
            escapedLength = 4;
        } else if (byte == 0xC0 && i + 1 < n && p[i + 1] == 0x80) {
            escaped[1] = 'x', escaped[2] = '0', escaped[3] = '0';
            escapedLength = 4, consumed = 2;
        } else if (byte >= 0x80) {
            consumed = escape_detail::CharacterLength(p + i, n - i);
            if (consumed == 0) {
                escaped[1] = 'x', escaped[2] = kHex[byte >> 4], escaped[3] = kHex[byte & 0xF];
                escapedLength = 4, consumed = 1;
            } else if (byte == 0xC2 && p[i + 1] <= 0x9F) {
                escaped[1] = 'u', escaped[2] = '0', escaped[3] = '0';
                escaped[4] = kHex[p[i + 1] >> 4], escaped[5] = kHex[p[i + 1] & 0xF];
                escapedLength = 6;
            }
        }
        if (escapedLength > 0) {
            flush(i);
            append(std::string_view(escaped, escapedLength));
            plain = i + consumed;
        }
        i += consumed;
    }
    flush(n);
}

// The escaped name as a string, for the tools.
inline std::string EscapedName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    EscapeName(text, [&](std::string_view piece) { out += piece; });
    return out;
}

}  // namespace jkestrune
