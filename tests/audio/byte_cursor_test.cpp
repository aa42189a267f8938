#include "audio/byte_cursor.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace jkestrune {
namespace {

const uint8_t kBytes[] = {0x52, 0x49, 0x46, 0x46, 0x01, 0x02, 0x03, 0x84, 0xFE, 0xFF};

TEST(ByteCursor, ReadsLittleEndianAtAnyAlignment) {
    ByteCursor cursor(kBytes, sizeof kBytes);
    EXPECT_TRUE(cursor.MatchId("RIFF"));
    EXPECT_EQ(cursor.U8(), 0x01);
    EXPECT_EQ(cursor.U32(), 0xFE840302u) << "unaligned 32-bit read";
    EXPECT_EQ(cursor.offset(), 9u);
    ByteCursor signedRead(kBytes + 8, 2);
    EXPECT_EQ(signedRead.I16(), -2);
    EXPECT_TRUE(cursor.ok());
}

TEST(ByteCursor, FailureIsStickyAndDoesNotMove) {
    ByteCursor cursor(kBytes, sizeof kBytes);
    cursor.Seek(8);
    EXPECT_EQ(cursor.U32(), 0u) << "only 2 bytes left";
    EXPECT_FALSE(cursor.ok());
    EXPECT_EQ(cursor.offset(), 8u);
    EXPECT_EQ(cursor.remaining(), 0u);
    EXPECT_EQ(cursor.U8(), 0u) << "a byte is left, but the cursor has failed";
    cursor.Seek(0);
    EXPECT_FALSE(cursor.ok()) << "a seek does not clear the failure";
    EXPECT_FALSE(cursor.MatchId("RIFF"));
}

TEST(ByteCursor, SeeksToTheEndButNotBeyond) {
    const struct {
        uint64_t offset;
        bool ok;
    } cases[] = {{0, true}, {10, true}, {11, false}, {uint64_t{1} << 32, false}};
    for (const auto& c : cases) {
        ByteCursor cursor(kBytes, sizeof kBytes);
        cursor.Seek(c.offset);
        EXPECT_EQ(cursor.ok(), c.ok) << "offset " << c.offset;
    }
    ByteCursor cursor(kBytes, sizeof kBytes);
    cursor.Skip(4);
    cursor.Skip(0xFFFFFFFFu);
    EXPECT_FALSE(cursor.ok()) << "a skip that would pass the end";
}

}  // namespace
}  // namespace jkestrune
