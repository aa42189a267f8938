// Option descriptors: NAME=VALUE text is parsed whole and range checked, a refused value
// leaves the options as they were, and the texts shown to people read defaults from the struct.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "core/base/option_table.h"

namespace kestrune {
namespace {

struct Inner {
    double share = 0.25;
};

struct Sample {
    uint32_t count = 7;
    float level = 0.97f;
    Inner inner;
    uint32_t automatic = 0;
};

constexpr OptionField<Sample> kSampleFields[] = {
    {"count", &FieldOf<&Sample::count>, 1, 16, "a count"},
    {"level", &FieldOf<&Sample::level>, -60, 0.99, "a level"},
    {"share", &NestedFieldOf<&Sample::inner, &Inner::share>, 0, 1, "a share"},
    {"automatic", &FieldOf<&Sample::automatic>, 1, 256, "decided at run time", "the cores"},
};
constexpr std::span<const OptionField<Sample>> kTable = kSampleFields;

TEST(OptionTable, ValuesAtTheEdgesOfTheRangeAreTakenAndReachTheirOwnField) {
    struct Case {
        const char* name;
        const char* text;
        double count, level, share;
    } const cases[] = {
        {"count", "1", 1, 0.97f, 0.25},     {"count", "16", 16, 0.97f, 0.25},
        {"level", "-60", 7, -60, 0.25},     {"level", "0.99", 7, 0.99f, 0.25},
        {"level", "-1e1", 7, -10, 0.25},    {"share", "0", 7, 0.97f, 0},
        {"share", "1", 7, 0.97f, 1},        {"share", "0.5", 7, 0.97f, 0.5},
        {"count", "0016", 16, 0.97f, 0.25},  // leading zeros are digits too
    };
    for (const Case& c : cases) {
        Sample options;
        std::string error;
        ASSERT_TRUE(SetOption(kTable, options, c.name, c.text, error)) << c.text << ": " << error;
        EXPECT_EQ(options.count, c.count) << c.name << "=" << c.text;
        EXPECT_EQ(options.level, static_cast<float>(c.level)) << c.name << "=" << c.text;
        EXPECT_EQ(options.inner.share, c.share) << c.name << "=" << c.text;
    }
}

TEST(OptionTable, RefusedTextsSayWhyAndChangeNothing) {
    struct Case {
        const char* name;
        const char* text;
        const char* errorHas;
    } const cases[] = {
        {"cont", "3", "no option is called 'cont' (known: count level share automatic)"},
        {"count", "0", "count takes 1 to 16, not '0'"},
        {"count", "17", "takes 1 to 16"},
        {"count", "4294967296", "'4294967296' is not a value for count"},  // beyond 32 bits
        {"count", "-1", "is not a value"},
        {"count", "+3", "is not a value"},
        {"count", "3.0", "is not a value"},
        {"count", "", "is not a value"},
        {"count", " 3", "is not a value"},
        {"level", "0.991", "level takes -60 to 0.99"},
        {"level", "-60.001", "takes -60 to 0.99"},
        {"level", "nan", "is not a value"},
        {"level", "inf", "is not a value"},
        {"level", "1e999", "is not a value"},
        {"level", "0.5x", "is not a value"},
        {"share", "1.0000001", "takes 0 to 1"},
        {"automatic", "0", "takes 1 to 256"},
    };
    for (const Case& c : cases) {
        Sample options;
        std::string error;
        EXPECT_FALSE(SetOption(kTable, options, c.name, c.text, error)) << c.name << "=" << c.text;
        EXPECT_NE(error.find(c.errorHas), std::string::npos) << c.text << ": " << error;
        EXPECT_EQ(options.count, 7u);
        EXPECT_EQ(options.level, 0.97f);
        EXPECT_EQ(options.inner.share, 0.25);
    }
}

TEST(OptionTable, TextsShowTheStructsDefaultsAndRanges) {
    const std::vector<OptionText> rows = OptionTexts(kTable);
    ASSERT_EQ(rows.size(), 4u);
    const char* const expected[][3] = {
        {"count", "7", "1 to 16"},
        {"level", "0.97", "-60 to 0.99"},  // a float's shortest text, not 0.9700000286
        {"share", "0.25", "0 to 1"},
        {"automatic", "the cores", "1 to 256"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, expected[i][0]);
        EXPECT_EQ(rows[i].defaultValue, expected[i][1]);
        EXPECT_EQ(rows[i].range, expected[i][2]);
    }
    EXPECT_EQ(OptionRangeText(8000, 8000, true), "8000");
    EXPECT_EQ(OptionRangeText(0, 1e6, false), "0 to 1000000");  // not 1e+06
    EXPECT_EQ(OptionRangeText(-0.5, 0.9999, false), "-0.5 to 0.9999");

    const std::string table = MarkdownOptionTable(rows);
    EXPECT_EQ(table.substr(0, table.find('\n')), "| Name | Default | Range | Meaning |");
    EXPECT_NE(table.find("| `share` | 0.25 | 0 to 1 | a share |\n"), std::string::npos);

    const std::string usage = UsageOptionLines(rows, "  ", "--");
    EXPECT_NE(usage.find("  --count N       a count (default 7; 1 to 16)\n"), std::string::npos)
        << usage;
    EXPECT_NE(usage.find("  --level R       a level (default 0.97; -60 to 0.99)\n"),
              std::string::npos)
        << usage;
    EXPECT_NE(usage.find("  --automatic N   decided at run time (default the cores; 1 to 256)\n"),
              std::string::npos)
        << usage;
}

// A long help wraps under its own column, never past 95 characters, and the default and range
// stay together at its end.
TEST(OptionTable, LongHelpWrapsUnderItsColumn) {
    std::string help;
    for (int i = 0; i < 40; ++i) {
        help.append(i ? " word" : "word").append(std::to_string(i));
    }
    const OptionText rows[] = {{"long", "12345", "0 to 99999", help, true}};
    const std::string usage = UsageOptionLines(rows, "    ", "--");
    size_t lines = 0;
    for (size_t start = 0; start < usage.size(); ++lines) {
        const size_t end = usage.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = usage.substr(start, end - start);
        EXPECT_LE(line.size(), 95u) << line;
        EXPECT_EQ(line.substr(0, 20), lines == 0 ? "    --long N        " : std::string(20, ' '))
            << line;
        EXPECT_NE(line[20], ' ') << line;
        start = end + 1;
    }
    EXPECT_GE(lines, 4u);
    EXPECT_TRUE(
        usage.ends_with(" (default 12345; 0 to 99999)\n") ||
        usage.ends_with(std::string("\n").append(20, ' ').append("(default 12345; 0 to 99999)\n")))
        << usage;
    EXPECT_NE(usage.find("word38 word39"), std::string::npos);  // no word lost at a break
}

TEST(OptionTable, InRangeChecksEveryFieldAndRefusesNaN) {
    Sample options;
    options.automatic = 1;
    EXPECT_TRUE(OptionsInRange(kTable, options));
    // A float set at its upper bound reads back above the double bound, and is still in range.
    std::string error;
    ASSERT_TRUE(SetOption(kTable, options, "level", "0.99", error)) << error;
    EXPECT_TRUE(OptionsInRange(kTable, options));
    const auto outOfRange = [](Sample& s) { s.automatic = 0; };
    const std::function<void(Sample&)> breakers[] = {
        outOfRange,
        [](Sample& s) { s.count = 17; },
        [](Sample& s) { s.level = std::nanf(""); },
        [](Sample& s) { s.inner.share = -0.01; },
    };
    for (const auto& breaker : breakers) {
        Sample broken = options;
        breaker(broken);
        EXPECT_FALSE(OptionsInRange(kTable, broken));
    }
}

}  // namespace
}  // namespace kestrune
