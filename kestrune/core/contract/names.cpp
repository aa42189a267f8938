// Modified UTF-8 conversions for paths and target names.
#include "core/contract/names.h"

#include <cstdint>
#include <cstring>
#include <exception>

namespace kestrune {
namespace {

bool Continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one well-formed UTF-8 character at `text`; returns its length (0 if malformed).
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const size_t left = text.size() - at;
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if (!Continuation(byte(i))) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

void AppendThreeBytes(std::string& out, uint32_t code) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
}

}  // namespace

std::optional<std::filesystem::path> PathFromModifiedUtf8(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        return std::nullopt;
    }
    const std::string_view in(text);
    std::string out;
    for (size_t i = 0; i < in.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(in[i + k]); };
        if (byte(0) == 0xC0 && i + 1 < in.size() && byte(1) == 0x80) {
            return std::nullopt;  // an encoded NUL cannot be part of a path
        }
        const bool pair = i + 6 <= in.size() && byte(0) == 0xED && (byte(1) & 0xF0) == 0xA0 &&
                          Continuation(byte(2)) && byte(3) == 0xED && (byte(4) & 0xF0) == 0xB0 &&
                          Continuation(byte(5));
        if (!pair) {
            out.push_back(in[i++]);
            continue;
        }
        const uint32_t high = 0xD000 | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        const uint32_t low = 0xD000 | ((byte(4) & 0x3F) << 6) | (byte(5) & 0x3F);
        const uint32_t code = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        i += 6;
    }
    try {
        return std::filesystem::path(
            std::u8string(reinterpret_cast<const char8_t*>(out.data()), out.size()));
    } catch (const std::exception&) {
        return std::nullopt;  // not convertible to the platform's native path encoding
    }
}

std::string ModifiedUtf8Name(std::string_view utf8, size_t maxBytes) {
    std::string out;
    std::string unit;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t code = 0;
        const size_t length = DecodeUtf8(utf8, i, code);
        unit.clear();
        if (length == 0) {
            AppendThreeBytes(unit, 0xFFFD);
            i += 1;
        } else if (code == 0) {
            unit = "\xC0\x80";
            i += 1;
        } else if (code >= 0x10000) {
            const uint32_t v = code - 0x10000;
            AppendThreeBytes(unit, 0xD800 | (v >> 10));
            AppendThreeBytes(unit, 0xDC00 | (v & 0x3FF));
            i += length;
        } else {
            unit.assign(utf8.substr(i, length));
            i += length;
        }
        if (out.size() + unit.size() > maxBytes) {
            break;
        }
        out += unit;
    }
    return out;
}

}  // namespace kestrune
