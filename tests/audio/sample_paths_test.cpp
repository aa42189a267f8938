// Every processor-specific sample path against its portable loop: G.711 expansion over all
// 256 codes, wide PCM cut to 16 bits, every length up to a few vector widths, misaligned
// output, and outputs long enough for streaming stores. The input ends right before a page that
// cannot be read, so a path that reads past it crashes; margins around the output catch writes
// past it. A path the processor lacks is skipped, and says so.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/g711_expand.h"
#include "audio/g711_tables.h"
#include "audio/pcm_top16.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace jkestrune {
namespace {

constexpr int16_t kGuard = 0x5A5A;
// Room before and after the samples, for writes that a path must not make.
constexpr size_t kMargin = 64;

// A copy of some bytes that ends where an unreadable page begins (on Linux; elsewhere a plain
// copy).
class FencedBytes {
  public:
    explicit FencedBytes(const std::vector<uint8_t>& bytes) {
#if defined(__linux__)
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        readable_ = (bytes.size() + page - 1) / page * page;
        mapping_ = static_cast<uint8_t*>(mmap(nullptr, readable_ + page, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (mapping_ == MAP_FAILED) {
            ADD_FAILURE() << "mmap";
            mapping_ = nullptr;
            return;
        }
        mprotect(mapping_ + readable_, page, PROT_NONE);
        data_ = mapping_ + readable_ - bytes.size();
        length_ = readable_ + page;
#else
        copy_ = bytes;
        data_ = copy_.data();
#endif
        if (!bytes.empty()) {
            std::memcpy(data_, bytes.data(), bytes.size());
        }
    }
    ~FencedBytes() {
#if defined(__linux__)
        if (mapping_ != nullptr) {
            munmap(mapping_, length_);
        }
#endif
    }
    FencedBytes(const FencedBytes&) = delete;
    FencedBytes& operator=(const FencedBytes&) = delete;

    const uint8_t* data() const {
        return data_;
    }

  private:
    uint8_t* data_ = nullptr;
#if defined(__linux__)
    uint8_t* mapping_ = nullptr;
    size_t readable_ = 0;
    size_t length_ = 0;
#else
    std::vector<uint8_t> copy_;
#endif
};

// Bytes that run through all 256 values in an order that is not the positions' own, so that a
// path mixing up positions is seen.
std::vector<uint8_t> Scrambled(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t k = 0; k < count; ++k) {
        bytes[k] = static_cast<uint8_t>(k * 167 + (k >> 8) * 29 + 3);
    }
    return bytes;
}

// Runs `run` with `count` samples written `outOffset` slots into a guarded buffer, and checks
// them against `expected` and both margins against writes.
template <typename Run>
void ExpectSamples(size_t count, size_t outOffset, const std::vector<int16_t>& expected, Run run) {
    std::vector<int16_t> out(kMargin + outOffset + count + kMargin, kGuard);
    int16_t* const first = out.data() + kMargin + outOffset;
    run(first);
    size_t wrong = 0;
    for (size_t k = 0; k < count && wrong < 5; ++k) {
        if (first[k] != expected[k]) {
            ADD_FAILURE() << "sample " << k << " of " << count << ": " << first[k] << ", expected "
                          << expected[k];
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

// --- G.711 expansion -------------------------------------------------------------------------

struct Table {
    const char* name;
    const uint32_t* entries;
};
const Table kTables[] = {{"A-law", kALawToLinear}, {"mu-law", kMuLawToLinear}};

void ExpectExpansion(const G711ExpandPath& path, const Table& table, size_t count,
                     size_t outOffset) {
    SCOPED_TRACE(table.name);
    const std::vector<uint8_t> codes = Scrambled(count);
    std::vector<int16_t> expected(count);
    for (size_t k = 0; k < count; ++k) {
        expected[k] = static_cast<int16_t>(table.entries[codes[k]]);
    }
    const FencedBytes in(codes);
    ExpectSamples(count, outOffset, expected,
                  [&](int16_t* out) { path.expand(table.entries, in.data(), count, out); });
}

// The tests of one kind of path (G711ExpandPath, Top16Path), each run on every path built in,
// skipped on a processor that cannot run it.
template <typename Path>
class PathTest : public testing::TestWithParam<Path> {
  protected:
    void SetUp() override {
        if (!this->GetParam().supported()) {
            GTEST_SKIP() << "this processor cannot run the " << this->GetParam().name << " path";
        }
    }
};

// A path's name as the test's name.
template <typename Path>
std::string PathName(const testing::TestParamInfo<Path>& info) {
    return info.param.name;
}

using G711ExpandPathTest = PathTest<G711ExpandPath>;

TEST_P(G711ExpandPathTest, EveryLengthUpToFiveHundredSamples) {
    for (const Table& table : kTables) {
        for (size_t count = 0; count <= 520; ++count) {
            ExpectExpansion(GetParam(), table, count, 0);
        }
    }
}

// Every output offset within a 64-byte line.
TEST_P(G711ExpandPathTest, MisalignedOutput) {
    for (const Table& table : kTables) {
        for (size_t outOffset = 0; outOffset < 32; ++outOffset) {
            ExpectExpansion(GetParam(), table, 777, outOffset);
        }
    }
}

// Long enough for streaming stores, with an unaligned start and a ragged end.
TEST_P(G711ExpandPathTest, RecordingLongerThanTheCaches) {
    for (const Table& table : kTables) {
        ExpectExpansion(GetParam(), table, (size_t{9} << 20) + 37, 13);
    }
}

INSTANTIATE_TEST_SUITE_P(AllBuiltPaths, G711ExpandPathTest,
                         testing::ValuesIn(G711ExpandPaths().begin(), G711ExpandPaths().end()),
                         PathName<G711ExpandPath>);

// --- Wide PCM --------------------------------------------------------------------------------

void ExpectTop16(const Top16Path& path, int width, size_t count, size_t outOffset) {
    SCOPED_TRACE(std::to_string(width) + "-byte samples");
    const std::vector<uint8_t> bytes = Scrambled(count * static_cast<size_t>(width));
    std::vector<int16_t> expected(count);
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* sample = bytes.data() + k * static_cast<size_t>(width);
        expected[k] = static_cast<int16_t>(sample[width - 2] | sample[width - 1] << 8);
    }
    const FencedBytes in(bytes);
    ExpectSamples(count, outOffset, expected,
                  [&](int16_t* out) { path.take(width, in.data(), count, out); });
}

using Top16PathTest = PathTest<Top16Path>;

TEST_P(Top16PathTest, EveryLengthUpToThreeHundredSamples) {
    for (const int width : {3, 4}) {
        for (size_t count = 0; count <= 300; ++count) {
            ExpectTop16(GetParam(), width, count, 0);
        }
    }
}

TEST_P(Top16PathTest, MisalignedOutputAndLongRecording) {
    for (const int width : {3, 4}) {
        for (size_t outOffset = 1; outOffset < 32; outOffset += 3) {
            ExpectTop16(GetParam(), width, 1001, outOffset);
        }
        ExpectTop16(GetParam(), width, (size_t{3} << 20) + 29, 7);
    }
}

INSTANTIATE_TEST_SUITE_P(AllBuiltPaths, Top16PathTest,
                         testing::ValuesIn(Top16Paths().begin(), Top16Paths().end()),
                         PathName<Top16Path>);

// --- The lists and the dispatchers -----------------------------------------------------------

TEST(SamplePaths, PortableComesFirst) {
    ASSERT_FALSE(G711ExpandPaths().empty());
    EXPECT_EQ(std::string(G711ExpandPaths()[0].name), "portable");
    EXPECT_TRUE(G711ExpandPaths()[0].supported());
    ASSERT_FALSE(Top16Paths().empty());
    EXPECT_EQ(std::string(Top16Paths()[0].name), "portable");
    EXPECT_TRUE(Top16Paths()[0].supported());
}

// The dispatchers, as the decoder calls them, agree with the plain rules.
TEST(SamplePaths, DispatchersMatchThePlainRules) {
    const std::vector<uint8_t> codes = Scrambled(4099);
    std::vector<int16_t> out(codes.size());
    ExpandG711(kALawToLinear, codes.data(), codes.size(), out.data());
    for (size_t k = 0; k < codes.size(); ++k) {
        ASSERT_EQ(out[k], static_cast<int16_t>(kALawToLinear[codes[k]])) << "sample " << k;
    }
    const size_t samples = codes.size() / 3;
    TakeTop16(3, codes.data(), samples, out.data());
    for (size_t k = 0; k < samples; ++k) {
        ASSERT_EQ(out[k], static_cast<int16_t>(codes[3 * k + 1] | codes[3 * k + 2] << 8)) << k;
    }
}

}  // namespace
}  // namespace jkestrune
