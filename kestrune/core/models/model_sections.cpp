// Tagged sections of a model file's payload.
#include "core/models/model_sections.h"

#include <cstring>

namespace kestrune {
namespace {

// A tag as it may appear in a message: printable ASCII as it is, anything else as \xNN.
std::string TagText(const uint8_t* tag) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (tag[i] >= 0x20 && tag[i] < 0x7F && tag[i] != '\\') {
            text += static_cast<char>(tag[i]);
        } else {
            text += "\\x";
            text += kHex[tag[i] >> 4];
            text += kHex[tag[i] & 0xF];
        }
    }
    return text;
}

ByteReader Failed() {
    ByteReader failed(nullptr, 0);
    failed.Check(false);
    return failed;
}

}  // namespace

void WriteSection(ByteWriter& out, const char (&tag)[5], ByteWriter& fields) {
    out.Bytes(tag, 4);
    out.U64(fields.bytes().size());
    out.Bytes(fields.bytes().data(), fields.bytes().size());
}

ByteReader OpenSection(ByteReader& in, const char (&tag)[5], std::string& error) {
    const uint8_t* found = in.Take(4);
    const uint64_t length = in.U64();
    if (!in.ok()) {
        if (error.empty()) {
            error = std::string("the file ends where section '") + tag + "' belongs";
        }
        return Failed();
    }
    if (std::memcmp(found, tag, 4) != 0) {
        if (error.empty()) {
            error = "section '" + TagText(found) + "' where section '" + tag + "' belongs";
        }
        in.Check(false);
        return Failed();
    }
    if (length > in.remaining()) {
        if (error.empty()) {
            error = std::string("section '") + tag + "' is longer than the rest of the file";
        }
        in.Check(false);
        return Failed();
    }
    const auto size = static_cast<size_t>(length);
    return ByteReader(in.Take(size), size);
}

bool CloseSection(const ByteReader& section, const char (&tag)[5], std::string& error) {
    if (section.ok() && section.remaining() == 0) {
        return true;
    }
    if (error.empty()) {
        error = section.ok() ? std::string("unexpected bytes at the end of section '") + tag + "'"
                             : std::string("malformed section '") + tag + "'";
    }
    return false;
}

}  // namespace kestrune
