// Trial-list names (UTF-8) against the engine's names (modified UTF-8, 255 bytes at most).
#include "tool/trial_names.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

// U+1F600 in UTF-8, and as the engine writes it: a surrogate pair of three bytes each.
const std::string kGrinUtf8 = "\xf0\x9f\x98\x80";
const std::string kGrinModified = "\xed\xa0\xbd\xed\xb8\x80";

TEST(TrialNames, ListNamesAreComparedInTheEnginesEncoding) {
    const std::string longName(300, 'n');
    const std::vector<std::string> engine = {"ana", "smile" + kGrinModified, "Zo\xc3\xab",
                                             std::string(255, 'n')};
    std::vector<int32_t> truth;
    std::string error;
    ASSERT_TRUE(MatchTrialNames({"smile" + kGrinUtf8, "-", "ana", "Zo\xc3\xab", longName, "ana"},
                                engine, truth, error))
        << error;
    EXPECT_EQ(truth, (std::vector<int32_t>{1, -1, 0, 2, 3, 0}));
}

TEST(TrialNames, UnknownSharedAndCollidingNamesAreRefused) {
    struct {
        std::vector<std::string> listed;
        std::vector<std::string> engine;
        const char* message;
    } const cases[] = {
        {{"Nobody"}, {"ana"}, "'Nobody' is not a loaded target"},
        // Not the raw bytes: a name is found only through its converted form.
        {{"smile" + kGrinModified}, {"smile" + kGrinModified}, "is not a loaded target"},
        {{"caf\xef\xbf\xbd"}, {"caf\xef\xbf\xbd", "caf\xef\xbf\xbd"}, "is ambiguous"},
        // Latin-1 bytes that are not UTF-8 become U+FFFD: two names become one.
        {{"caf\xe9", "caf\xe8"}, {"caf\xef\xbf\xbd"}, "one name for the engine: ambiguous"},
        // Names that differ only past the 255th byte are cut to one.
        {{std::string(255, 'n') + "a", std::string(255, 'n') + "b"},
         {std::string(255, 'n')},
         "ambiguous"},
        // A control character is shown escaped, not written into the message.
        {{"eve\nmallory"}, {"eve"}, "'eve\\nmallory' is not"},
    };
    for (const auto& c : cases) {
        std::vector<int32_t> truth;
        std::string error;
        EXPECT_FALSE(MatchTrialNames(c.listed, c.engine, truth, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace kestrune
