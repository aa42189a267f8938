// Every G.711 expansion path against the plain table lookup: all 256 codes, every length up to
// a few vector widths, misaligned input and output, and an output long enough for streaming
// stores. A path the processor lacks is skipped, and says so.
#include "audio/g711_expand.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/g711_tables.h"

namespace jkestrune {
namespace {

constexpr int16_t kGuard = 0x5A5A;
// Room before and after the samples, for writes that a path must not make.
constexpr size_t kMargin = 64;

struct Table {
    const char* name;
    const uint32_t* entries;
};
const Table kTables[] = {{"A-law", kALawToLinear}, {"mu-law", kMuLawToLinear}};

// Codes that run through all 256 values in an order that is not the codes' own, so that a
// path mixing up positions is seen.
std::vector<uint8_t> Codes(size_t count) {
    std::vector<uint8_t> codes(count);
    for (size_t k = 0; k < count; ++k) {
        codes[k] = static_cast<uint8_t>(k * 167 + (k >> 8) * 29 + 3);
    }
    return codes;
}

// Runs `path` on `count` codes read from `inOffset` bytes into a buffer and written to
// `outOffset` slots into another; checks every sample and both margins.
void ExpectSameAsTable(const G711ExpandPath& path, const Table& table, size_t count,
                       size_t inOffset, size_t outOffset) {
    const std::vector<uint8_t> codes = Codes(count + inOffset);
    std::vector<int16_t> out(kMargin + outOffset + count + kMargin, kGuard);
    int16_t* const first = out.data() + kMargin + outOffset;
    path.expand(table.entries, codes.data() + inOffset, count, first);

    size_t wrong = 0;
    for (size_t k = 0; k < count && wrong < 5; ++k) {
        const int16_t expected = static_cast<int16_t>(table.entries[codes[inOffset + k]]);
        if (first[k] != expected) {
            ADD_FAILURE() << table.name << " sample " << k << " of " << count << " (code "
                          << int{codes[inOffset + k]} << "): " << first[k] << ", expected "
                          << expected;
            ++wrong;
        }
    }
    for (int16_t* slot = out.data(); slot < first; ++slot) {
        ASSERT_EQ(*slot, kGuard) << "written before the samples, count " << count;
    }
    for (int16_t* slot = first + count; slot < out.data() + out.size(); ++slot) {
        ASSERT_EQ(*slot, kGuard) << "written after the samples, count " << count;
    }
}

class G711ExpandPathTest : public testing::TestWithParam<G711ExpandPath> {
  protected:
    void SetUp() override {
        if (!GetParam().supported()) {
            GTEST_SKIP() << "this processor cannot run the " << GetParam().name << " path";
        }
    }
};

TEST_P(G711ExpandPathTest, EveryLengthUpToFiveHundredSamples) {
    for (const Table& table : kTables) {
        for (size_t count = 0; count <= 520; ++count) {
            ExpectSameAsTable(GetParam(), table, count, 0, 0);
        }
    }
}

// Every input offset within a word and every output offset within a 64-byte line.
TEST_P(G711ExpandPathTest, MisalignedInputAndOutput) {
    for (const Table& table : kTables) {
        for (size_t inOffset = 0; inOffset < 8; ++inOffset) {
            for (size_t outOffset = 0; outOffset < 32; ++outOffset) {
                ExpectSameAsTable(GetParam(), table, 777, inOffset, outOffset);
            }
        }
    }
}

// Long enough for streaming stores, with an unaligned start and a ragged end.
TEST_P(G711ExpandPathTest, RecordingLongerThanTheCaches) {
    for (const Table& table : kTables) {
        ExpectSameAsTable(GetParam(), table, (size_t{9} << 20) + 37, 3, 13);
    }
}

TEST(G711ExpandPaths, PortableComesFirstAndNamesAreUnique) {
    const auto paths = G711ExpandPaths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(std::string(paths[0].name), "portable");
    EXPECT_TRUE(paths[0].supported());
    for (size_t i = 0; i < paths.size(); ++i) {
        for (size_t j = i + 1; j < paths.size(); ++j) {
            EXPECT_NE(std::string(paths[i].name), std::string(paths[j].name));
        }
    }
}

// The dispatcher, as the decoder calls it, agrees with the table on every code.
TEST(G711ExpandPaths, DispatcherMatchesTheTable) {
    const std::vector<uint8_t> codes = Codes(4099);
    std::vector<int16_t> out(codes.size());
    ExpandG711(kALawToLinear, codes.data(), codes.size(), out.data());
    for (size_t k = 0; k < codes.size(); ++k) {
        ASSERT_EQ(out[k], static_cast<int16_t>(kALawToLinear[codes[k]])) << "sample " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(AllBuiltPaths, G711ExpandPathTest,
                         testing::ValuesIn(G711ExpandPaths().begin(), G711ExpandPaths().end()),
                         [](const testing::TestParamInfo<G711ExpandPath>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace jkestrune
