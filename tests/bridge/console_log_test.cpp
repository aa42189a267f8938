// The console lines: exact text, three decimals from thousandths, and no dependence on the
// process locale.
#include "bridge/console_log.h"

#include <gtest/gtest.h>

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
