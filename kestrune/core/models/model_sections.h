// The sections of a model file's payload. Each section is a 4-byte ASCII tag, a u64 length and
// that many bytes of fields, little-endian like the rest of the file:
//
//   offset  size    field
//        0     4    tag, e.g. "MIXT"
//        4     8    length L of the fields that follow
//       12     L    the fields
//
// A kind of file has a fixed list of sections, each present once and in its order. A reader
// refuses a tag it does not expect there (unknown, repeated or out of order) rather than skip
// it: every section of this version is needed, and a section the reader does not know could
// change what the others mean; a format that adds one raises the file version. The length is
// checked against the bytes that remain before anything is read from the section, and the
// section's fields must use exactly its length.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/byte_io.h"

namespace kestrune {

inline constexpr size_t kSectionHeaderBytes = 12;

// Appends the section `tag` holding `fields` to `out`.
void WriteSection(ByteWriter& out, const char (&tag)[5], ByteWriter& fields);

// Reads the header of the next section of `in`, which must be `tag`, and returns a reader over
// exactly its fields; a failed reader (and `error`, unless one is set already) when the tag is
// another or its length runs past the end of `in`.
ByteReader OpenSection(ByteReader& in, const char (&tag)[5], std::string& error);

// True when the fields of section `tag` were read whole and in range; otherwise sets `error`
// (unless one is set already): malformed, or bytes left over in the section.
bool CloseSection(const ByteReader& section, const char (&tag)[5], std::string& error);

}  // namespace kestrune
