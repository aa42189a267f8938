// Targets enrolled with another background model than the loaded one are set aside, and the
// engine says so on standard error: once per process, directory and background model needed,
// with how many targets and the fingerprint of the model they need.
#include <gtest/gtest.h>

#include <string>

#include "core/contract/model_cache.h"
#include "core/contract/model_directories.h"
#include "core/contract/target_set.h"
#include "core/models/model_files.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::TempDirectory;

// Three components over four dimensions; `vadRangeDb` tells the backgrounds apart.
std::shared_ptr<const Background> TinyBackground(float vadRangeDb) {
    BackgroundModel model = testing::TinyBackgroundModel();
    model.frontEnd.vadRangeDb = vadRangeDb;
    const uint64_t fingerprint = BackgroundFingerprint(model);
    return std::make_shared<const Background>(std::move(model), fingerprint);
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(OtherBackground, TargetsOfOtherModelsAreSetAsideAndNamedOnce) {
    const auto loaded = TinyBackground(40.0f);
    const auto first = TinyBackground(35.0f);
    const auto second = TinyBackground(30.0f);
    ASSERT_NE(first->fingerprint(), loaded->fingerprint());
    ASSERT_NE(second->fingerprint(), first->fingerprint());
    const TempDirectory models("other-background");
    const TempDirectory alone("other-background-only");
    std::string error;
    const struct {
        const std::filesystem::path& directory;
        const char* name;
        uint64_t fingerprint;
    } targets[] = {
        {models.path(), "anna", first->fingerprint()},
        {models.path(), "bernd", first->fingerprint()},
        {models.path(), "clara", second->fingerprint()},
        {models.path(), "dora", loaded->fingerprint()},
        {alone.path(), "emil", first->fingerprint()},
    };
    for (const auto& target : targets) {
        ASSERT_TRUE(WriteTargetModel(target.directory, target.name,
                                     testing::TinyTargetModel(target.fingerprint), error))
            << error;
    }

    ModelCache cache(ModelCacheLimits{kDefaultCacheBytes, 0});
    ::testing::internal::CaptureStderr();
    const std::unique_ptr<TargetSet> set = LoadTargetSet(models.path(), loaded, {}, cache);
    const std::unique_ptr<TargetSet> again = LoadTargetSet(models.path(), loaded, {}, cache);
    const size_t counted = CountUsableTargets(models.path(), loaded.get(), cache, SIZE_MAX, {});
    const std::unique_ptr<TargetSet> none = LoadTargetSet(alone.path(), loaded, {}, cache);
    const std::string log = ::testing::internal::GetCapturedStderr();

    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->targets->Targets(), 1);
    EXPECT_STREQ(set->names.data(), "dora");
    EXPECT_EQ(counted, 1u);
    EXPECT_EQ(none, nullptr);
    const std::string loadedText = "not the loaded one (" + FingerprintText(loaded->fingerprint());
    EXPECT_EQ(Count(log, "set aside"), 3u) << log;
    EXPECT_EQ(Count(log, loadedText), 3u) << log;
    EXPECT_EQ(Count(log, "2 targets in '" + models.path().string() +
                             "' set aside: enrolled with background model " +
                             FingerprintText(first->fingerprint())),
              1u)
        << log;
    EXPECT_EQ(Count(log, "1 target in '" + models.path().string() +
                             "' set aside: enrolled with background model " +
                             FingerprintText(second->fingerprint())),
              1u)
        << log;
    EXPECT_EQ(Count(log, "1 target in '" + alone.path().string() + "' set aside"), 1u) << log;
}

TEST(OtherBackground, FingerprintsReadAsSixteenHexDigits) {
    const struct {
        uint64_t value;
        const char* text;
    } cases[] = {
        {0, "0000000000000000"},
        {0x1, "0000000000000001"},
        {0xcbf29ce484222325, "cbf29ce484222325"},
        {UINT64_MAX, "ffffffffffffffff"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FingerprintText(c.value), c.text);
    }
}

}  // namespace
}  // namespace kestrune
