// Settings read strictly: plain digits within range, anything else reported once and replaced
// by the default; any zero turns the model cache off.
#include <gtest/gtest.h>

#include <string>

#include "core/base/report_once.h"
#include "core/base/settings.h"
#include "core/contract/model_cache.h"

namespace kestrune {
namespace {

TEST(Settings, OnlyPlainDigitsWithinRangeAreNumbers) {
    struct {
        const char* text;
        std::optional<uint64_t> value;
    } const cases[] = {
        {"0", 0},
        {"0000000000000", 0},
        {"000042", 42},
        {"1000", 1000},
        {"", std::nullopt},
        {" 0", std::nullopt},
        {"0 ", std::nullopt},
        {"+5", std::nullopt},
        {"-5", std::nullopt},
        {"5MB", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"1001", std::nullopt},  // above the maximum
        {"18446744073709551616", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseSettingNumber(c.text, 1000), c.value) << "'" << c.text << "'";
    }
    EXPECT_EQ(ParseSettingNumber("18446744073709551615", UINT64_MAX), UINT64_MAX);
    EXPECT_EQ(ParseSettingNumber("18446744073709551616", UINT64_MAX), std::nullopt);
}

TEST(Settings, TheCacheBoundTurnsOffAtAnyZeroAndKeepsItsDefaultOtherwise) {
    constexpr uint64_t kMegabyte = uint64_t{1} << 20;
    struct {
        const char* text;
        uint64_t bytes;
    } const cases[] = {
        {nullptr, kDefaultCacheBytes},
        {"0", 0},
        {"0000000000000", 0},
        {"64", 64 * kMegabyte},
        {"16777215", kMaxCacheMegabytes * kMegabyte},
        {" 0", kDefaultCacheBytes},
        {"", kDefaultCacheBytes},
        {"16777216", kDefaultCacheBytes},
        {"64 MB", kDefaultCacheBytes},
        {"-1", kDefaultCacheBytes},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CacheBytesFromSetting(c.text), c.bytes) << (c.text ? c.text : "(unset)");
    }
}

TEST(Settings, AValueNotUnderstoodIsReportedOnce) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SettingNumber("KESTRUNE_TEST_A", "12x", 100), std::nullopt);
    EXPECT_EQ(SettingNumber("KESTRUNE_TEST_A", "13y", 100), std::nullopt);
    EXPECT_EQ(SettingNumber("KESTRUNE_TEST_B", "7", 100), 7u);
    EXPECT_EQ(SettingNumber("KESTRUNE_TEST_B", nullptr, 100), std::nullopt);
    EXPECT_EQ(SettingNumber("KESTRUNE_TEST_C", "\n1", 100), std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("KESTRUNE_TEST_A='12x' is not understood"), std::string::npos) << log;
    EXPECT_EQ(log.find("13y"), std::string::npos) << "reported once per setting: " << log;
    EXPECT_EQ(log.find("KESTRUNE_TEST_B"), std::string::npos) << log;
    EXPECT_NE(log.find("KESTRUNE_TEST_C='\\x0A1'"), std::string::npos) << "escaped: " << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

}  // namespace
}  // namespace kestrune
