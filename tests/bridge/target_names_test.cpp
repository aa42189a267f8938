// Reading names from their 256-byte slots and converting them to modified UTF-8.
#include "bridge/target_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace jkestrune {
namespace {

TEST(TargetName, StopsAtTheNulOrTheEndOfTheSlot) {
    std::vector<char> slots(3 * kTargetNameSlot, '\0');
    std::string("anna").copy(slots.data(), 4);
    std::fill_n(slots.data() + kTargetNameSlot, kTargetNameSlot, 'x');  // no NUL at all
    EXPECT_EQ(TargetName(slots.data(), 0), "anna");
    EXPECT_EQ(TargetName(slots.data(), 1), std::string(256, 'x'));
    EXPECT_EQ(TargetName(slots.data(), 2), "");
}

std::string Convert(std::string_view bytes, size_t capacity = kModifiedUtf8NameCapacity) {
    std::vector<char> out(capacity + 1, '#');
    const size_t length = ToModifiedUtf8(bytes, out.data(), capacity);
    EXPECT_EQ(out[length], '\0');
    EXPECT_EQ(out[capacity], '#') << "wrote beyond the capacity";
    return std::string(out.data(), length);
}

TEST(ModifiedUtf8, ConvertsWhatJavaWouldMisread) {
    struct {
        const char* what;
        std::string in;
        std::string out;
    } const cases[] = {
        {"ASCII", "plain name", "plain name"},
        {"two and three bytes", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
        {"U+10000", "\xF0\x90\x80\x80", "\xED\xA0\x80\xED\xB0\x80"},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", "\xED\xAF\xBF\xED\xBF\xBF"},
        {"already modified (surrogates)", "\xED\xA0\xBC\xED\xBE\xA4", "\xED\xA0\xBC\xED\xBE\xA4"},
        {"NUL", std::string("a\0b", 3),
         "a\xC0\x80"
         "b"},
        {"stray continuation", "\x80", "\xEF\xBF\xBD"},
        {"truncated sequence", "ab\xE2\x82", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong", "\xE0\x80\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"invalid lead", "\xFF", "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Convert(c.in), c.out) << c.what;
    }
}

TEST(ModifiedUtf8, WorstCaseSlotFitsTheCapacity) {
    const std::string worst(kTargetNameSlot, '\xFF');
    EXPECT_EQ(Convert(worst).size(), 3 * kTargetNameSlot);
}

TEST(ModifiedUtf8, StopsAtACharacterBoundaryWhenFull) {
    EXPECT_EQ(Convert("ab\xF0\x90\x80\x80", 7), "ab");  // the pair needs six bytes
    EXPECT_EQ(Convert("abc", 3), "ab");
    EXPECT_EQ(Convert("\xC3\xA9\xC3\xA9", 4), "\xC3\xA9");
}

}  // namespace
}  // namespace jkestrune
