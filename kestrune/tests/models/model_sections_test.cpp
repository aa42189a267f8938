// Model files as tagged sections: every truncation of a payload, every section length out of
// place and every unknown, missing, repeated or reordered tag is refused; each section's tag
// and length are where the format says.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/base/byte_io.h"
#include "core/models/model_files.h"
#include "models/small_models.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::SmallModel;
using testing::SmallTarget;

// The same file with `payload` in place of its own and a header that fits it, so that only
// the sections can be at fault.
std::vector<uint8_t> WithPayload(const std::vector<uint8_t>& file,
                                 const std::vector<uint8_t>& payload) {
    ByteWriter out;
    out.Bytes(file.data(), 16);
    out.U64(payload.size());
    out.U64(Fnv1a64(payload.data(), payload.size()));
    out.Bytes(payload.data(), payload.size());
    return out.bytes();
}

struct Section {
    std::string tag;
    size_t offset;  // of the tag, within the payload
    uint64_t length;
};

std::vector<Section> Sections(const std::vector<uint8_t>& payload) {
    std::vector<Section> sections;
    for (size_t at = 0; at + 12 <= payload.size();) {
        uint64_t length = 0;
        std::memcpy(&length, payload.data() + at + 4, 8);  // little-endian hosts only
        sections.push_back(
            {std::string(payload.begin() + at, payload.begin() + at + 4), at, length});
        at += 12 + length;
    }
    return sections;
}

void PutU64(std::vector<uint8_t>& bytes, size_t offset, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Both kinds of file, and whether a file of that kind decodes (with the error when not).
struct Kind {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<std::string> tags;
    std::function<bool(const std::vector<uint8_t>&, std::string&)> decode;
};

std::vector<Kind> Kinds() {
    return {
        {"background",
         EncodeBackground(SmallModel()),
         {"FEND", "TOPC", "MIXT", "COHO"},
         [](const std::vector<uint8_t>& file, std::string& error) {
             BackgroundModel model;
             uint64_t fingerprint = 0;
             return DecodeBackground(file, model, fingerprint, error);
         }},
        {"target",
         EncodeTarget(SmallTarget(77)),
         {"BGFP", "ADAP", "MEAN", "GENU"},
         [](const std::vector<uint8_t>& file, std::string& error) {
             TargetModel model;
             return DecodeTarget(file, model, error);
         }},
    };
}

TEST(ModelSections, EachFileIsItsSectionsEndToEnd) {
    for (const Kind& kind : Kinds()) {
        const std::vector<uint8_t> payload(kind.file.begin() + 32, kind.file.end());
        const std::vector<Section> sections = Sections(payload);
        ASSERT_EQ(sections.size(), kind.tags.size()) << kind.name;
        for (size_t i = 0; i < sections.size(); ++i) {
            EXPECT_EQ(sections[i].tag, kind.tags[i]) << kind.name;
        }
        EXPECT_EQ(sections.back().offset + 12 + sections.back().length, payload.size());
        std::string error;
        EXPECT_TRUE(kind.decode(WithPayload(kind.file, payload), error)) << error;
    }
}

TEST(ModelSections, EveryTruncatedPayloadIsRefused) {
    for (const Kind& kind : Kinds()) {
        const std::vector<uint8_t> payload(kind.file.begin() + 32, kind.file.end());
        for (size_t size = 0; size < payload.size(); ++size) {
            std::string error;
            const std::vector<uint8_t> cut(payload.begin(), payload.begin() + size);
            EXPECT_FALSE(kind.decode(WithPayload(kind.file, cut), error))
                << kind.name << " cut to " << size;
            EXPECT_FALSE(error.empty()) << kind.name << " cut to " << size;
        }
    }
}

TEST(ModelSections, EveryLengthOutOfPlaceIsRefused) {
    for (const Kind& kind : Kinds()) {
        const std::vector<uint8_t> payload(kind.file.begin() + 32, kind.file.end());
        for (const Section& section : Sections(payload)) {
            const uint64_t toEnd = payload.size() - section.offset - 12;
            const struct {
                const char* what;
                uint64_t length;
                const char* errorHas;
            } lengths[] = {
                {"zero", 0, ""},
                {"one short", section.length - 1, ""},
                {"one over", section.length + 1, ""},
                {"past the end", toEnd + 1, "is longer than the rest of the file"},
                {"4 GiB over", section.length + (uint64_t{1} << 32), "is longer than the rest"},
                {"the largest", UINT64_MAX, "is longer than the rest of the file"},
            };
            for (const auto& l : lengths) {
                if (l.length == section.length) {
                    continue;  // a section of length 1 has no "one short" that differs
                }
                std::vector<uint8_t> edited = payload;
                PutU64(edited, section.offset + 4, l.length);
                std::string error;
                EXPECT_FALSE(kind.decode(WithPayload(kind.file, edited), error))
                    << kind.name << " " << section.tag << " " << l.what;
                EXPECT_NE(error.find(l.errorHas), std::string::npos) << error;
                if (*l.errorHas != '\0') {
                    EXPECT_NE(error.find("'" + section.tag + "'"), std::string::npos) << error;
                }
            }
        }
    }
}

TEST(ModelSections, UnknownMissingRepeatedAndReorderedTagsAreRefused) {
    for (const Kind& kind : Kinds()) {
        const std::vector<uint8_t> payload(kind.file.begin() + 32, kind.file.end());
        const std::vector<Section> sections = Sections(payload);
        const auto bytesOf = [&](size_t i) {
            const auto begin = payload.begin() + static_cast<std::ptrdiff_t>(sections[i].offset);
            return std::vector<uint8_t>(
                begin, begin + 12 + static_cast<std::ptrdiff_t>(sections[i].length));
        };
        const auto join = [&](std::initializer_list<size_t> order) {
            std::vector<uint8_t> out;
            for (const size_t i : order) {
                const std::vector<uint8_t> part = bytesOf(i);
                out.insert(out.end(), part.begin(), part.end());
            }
            return out;
        };
        std::vector<uint8_t> renamed = payload;
        std::memcpy(renamed.data() + sections[1].offset, "XY\n\xFF", 4);
        const struct {
            const char* what;
            std::vector<uint8_t> payload;
            std::string errorHas;
        } cases[] = {
            {"unknown tag", renamed,
             "section 'XY\\x0A\\xFF' where section '" + sections[1].tag + "' belongs"},
            {"first two swapped", join({1, 0, 2, 3}),
             "section '" + sections[1].tag + "' where section '" + sections[0].tag + "' belongs"},
            {"second repeated", join({0, 1, 1, 2, 3}), "where section '" + sections[2].tag},
            {"last missing", join({0, 1, 2}), "ends where section '" + sections[3].tag},
            // (a fifth section may follow: the companion's, or its means in a target)
            {"last repeated", join({0, 1, 2, 3, 3}), "section '" + sections[3].tag + "' where"},
        };
        for (const auto& c : cases) {
            std::string error;
            EXPECT_FALSE(kind.decode(WithPayload(kind.file, c.payload), error))
                << kind.name << ": " << c.what;
            EXPECT_NE(error.find(c.errorHas), std::string::npos) << c.what << ": " << error;
        }
    }
}

}  // namespace
}  // namespace kestrune
