// Paths in and names out, in the modified UTF-8 that JNI uses.
#include <gtest/gtest.h>

#include "core/base/path_text.h"
#include "core/contract/names.h"

namespace kestrune {
namespace {

TEST(Names, PathsFromModifiedUtf8) {
    EXPECT_FALSE(PathFromModifiedUtf8(nullptr));
    EXPECT_FALSE(PathFromModifiedUtf8(""));
    EXPECT_FALSE(
        PathFromModifiedUtf8("/models/a\xC0\x80"
                             "b"));  // an encoded NUL
    struct {
        const char* in;
        std::string out;
    } const cases[] = {
        {"/srv/models", "/srv/models"},
        {"/srv/mod\xC3\xA8les", "/srv/mod\xC3\xA8les"},
        // U+1F600 as a surrogate pair becomes one four-byte sequence.
        {"/x/\xED\xA0\xBD\xED\xB8\x80/y", "/x/\xF0\x9F\x98\x80/y"},
        // A lone surrogate and bytes that are not UTF-8 pass through as they are.
        {"/x/\xED\xA0\xBD", "/x/\xED\xA0\xBD"},
        {"/x/\xFF", "/x/\xFF"},
    };
    for (const auto& c : cases) {
        const auto path = PathFromModifiedUtf8(c.in);
        ASSERT_TRUE(path) << c.in;
        EXPECT_EQ(PathUtf8(*path), c.out) << c.in;
    }
}

TEST(Names, TargetNamesInModifiedUtf8CutAtACharacterBoundary) {
    struct {
        std::string in;
        size_t limit;
        std::string out;
    } const cases[] = {
        {"anna", 255, "anna"},
        {"Jos\xC3\xA9", 255, "Jos\xC3\xA9"},
        {"\xF0\x9F\x98\x80", 255, "\xED\xA0\xBD\xED\xB8\x80"},
        {"a\xFF"
         "b",
         255,
         "a\xEF\xBF\xBD"
         "b"},
        {"a\xC3", 255, "a\xEF\xBF\xBD"},                // a sequence cut short
        {"\xC0\xAF", 255, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong
        {std::string(300, 'a'), 255, std::string(255, 'a')},
        {std::string(254, 'a') + "\xC3\xA9", 255, std::string(254, 'a')},
        {std::string(250, 'a') + "\xF0\x9F\x98\x80", 255, std::string(250, 'a')},
        {std::string(249, 'a') + "\xF0\x9F\x98\x80", 255,
         std::string(249, 'a') + "\xED\xA0\xBD\xED\xB8\x80"},
    };
    for (const auto& c : cases) {
        const std::string out = ModifiedUtf8Name(c.in, c.limit);
        EXPECT_EQ(out, c.out) << c.in.substr(0, 20);
        EXPECT_LE(out.size(), c.limit);
    }
}

}  // namespace
}  // namespace kestrune
