// The console lines: exact text, three decimals from thousandths, and no dependence on the
// process locale.
#include "bridge/console_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <string>

namespace jkestrune {
namespace {

std::string Text(const ConsoleLine& line) {
    return std::string(line.view());
}

TEST(ConsoleLines, QuantityLine) {
    EXPECT_EQ(Text(QuantityLine(3)), "#####CoreLogout: Quantity of targets: 3\n");
    EXPECT_EQ(Text(QuantityLine(0)), "#####CoreLogout: Quantity of targets: 0\n");
    EXPECT_EQ(Text(QuantityLine(-1)), "#####CoreLogout: Quantity of targets: -1\n");
}

TEST(ConsoleLines, ThousandthsPrintWithThreeDecimals) {
    struct {
        int32_t value;
        const char* shown;
    } const cases[] = {
        {750, "0.750"},
        {0, "0.000"},
        {1, "0.001"},
        {-1, "-0.001"},
        {100000, "100.000"},
        {-2500, "-2.500"},
        {999, "0.999"},
        {1001, "1.001"},
        {INT32_MAX, "2147483.647"},
        {INT32_MIN, "-2147483.648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(TargetLine("x", c.value, 0, 0)),
                  std::string("#####CoreLogout: Target: x, FRR: ") + c.shown +
                      " %, FAR: 0.000 %, logScore: 0.000\n");
    }
}

TEST(ConsoleLines, TargetLineHasTheFieldsInOrder) {
    EXPECT_EQ(Text(TargetLine("Jürgen", 750, 12345, -4200)),
              "#####CoreLogout: Target: Jürgen, FRR: 0.750 %, FAR: 12.345 %, logScore: -4.200\n");
}

TEST(ConsoleLines, LongestNameFitsWhole) {
    const std::string name(256, 'n');
    const std::string line = Text(TargetLine(name, INT32_MIN, INT32_MIN, INT32_MIN));
    EXPECT_NE(line.find(name + ", FRR: -2147483.648 %"), std::string::npos);
    EXPECT_EQ(line.back(), '\n');
}

// Each kind of byte the escaping changes, and neighbours it must leave alone.
TEST(NameEscaping, ControlCharactersBackslashesAndStrayBytes) {
    struct {
        std::string name;
        const char* shown;
    } const cases[] = {
        {"anna", "anna"},
        {"J\xc3\xbcrgen", "J\xc3\xbcrgen"},
        {"a\\b", "a\\\\b"},
        {"a\\nb", "a\\\\nb"},  // a backslash and an n stay apart from a newline
        {"eve\nFORGED", "eve\\nFORGED"},
        {"cr\r", "cr\\r"},
        {"t\tab", "t\\tab"},
        {"esc\x1b[2J", "esc\\x1b[2J"},
        {"del\x7f", "del\\x7f"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"nul\xc0\x80"
         "end",
         "nul\\x00end"},                   // modified UTF-8's NUL
        {"caf\xe9", "caf\\xe9"},           // Latin-1, not UTF-8
        {"csi\xc2\x9b", "csi\\u009b"},     // a C1 control
        {"nbsp\xc2\xa0", "nbsp\xc2\xa0"},  // the first character above C1
        {"cut\xe2\x82", "cut\\xe2\\x82"},  // a character cut short
        {"smile\xf0\x9f\x98\x80", "smile\xf0\x9f\x98\x80"},
        {"pair\xed\xa0\xbd\xed\xb8\x80", "pair\xed\xa0\xbd\xed\xb8\x80"},  // a surrogate pair
        {"over\xe0\x80\xaf", "over\\xe0\\x80\\xaf"},                       // an overlong '/'
        {"big\xf4\x90\x80\x80", "big\\xf4\\x90\\x80\\x80"},                // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapedName(c.name), c.shown) << c.name;
    }
}

TEST(NameEscaping, ANewlineInANameCannotForgeALogLine) {
    const std::string line = Text(TargetLine("eve\n#####CoreLogout: Target: bob", 1, 2, 3));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_EQ(line,
              "#####CoreLogout: Target: eve\\n#####CoreLogout: Target: bob, FRR: 0.001 %, FAR: "
              "0.002 %, logScore: 0.003\n");
}

// A whole slot of control bytes grows fourfold and the line still ends whole.
TEST(NameEscaping, ASlotOfControlBytesFitsWhole) {
    const std::string name(kTargetNameSlot, '\x01');
    std::string escaped;
    for (int i = 0; i < kTargetNameSlot; ++i) {
        escaped += "\\x01";
    }
    EXPECT_EQ(Text(TargetLine(name, INT32_MIN, INT32_MIN, INT32_MIN)),
              "#####CoreLogout: Target: " + escaped +
                  ", FRR: -2147483.648 %, FAR: -2147483.648 %, logScore: -2147483.648\n");
}

#if defined(_WIN32)
// The Windows C runtime names its locales by language and country, and has them all.
constexpr const char* kDecimalCommaLocale = "German_Germany.1252";
#else
constexpr const char* kDecimalCommaLocale = "de_DE.UTF-8";
#endif

// A locale with a decimal comma must not change the lines. The Linux test locale is generated
// into the build tree (LOCPATH) by the build, so this runs everywhere.
TEST(ConsoleLines, DecimalCommaLocaleDoesNotChangeTheLines) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    ASSERT_NE(std::setlocale(LC_ALL, kDecimalCommaLocale), nullptr)
        << "the test locale " << kDecimalCommaLocale << " is missing (LOCPATH)";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5") << "the locale does not use a decimal comma";
    EXPECT_EQ(Text(TargetLine("t", 750, 1500, -2250)),
              "#####CoreLogout: Target: t, FRR: 0.750 %, FAR: 1.500 %, logScore: -2.250\n");
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace jkestrune
