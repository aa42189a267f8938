// The tool's account of targets enrolled with another background model: how many, which model
// they need, and whether the default background model is that one.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "core/contract/model_directories.h"
#include "core/models/model_files.h"
#include "support/synthetic.h"
#include "tool/other_background.h"

namespace kestrune {
namespace {

using testing::TempDirectory;

BackgroundModel TinyBackground(float vadRangeDb) {
    BackgroundModel model = testing::TinyBackgroundModel();
    model.frontEnd.vadRangeDb = vadRangeDb;
    return model;
}

TEST(ToolOtherBackground, CountsTargetsByTheModelTheyNeedAndNamesTheCure) {
    const TempDirectory root("tool-other-background");
    const BackgroundModel enrolledWith = TinyBackground(35.0f);
    const BackgroundModel loaded = TinyBackground(40.0f);
    const uint64_t needed = BackgroundFingerprint(enrolledWith);
    const uint64_t current = BackgroundFingerprint(loaded);
    std::string error;
    ASSERT_TRUE(WriteBackgroundDirectory(root.path() / "old-ubm", enrolledWith, error)) << error;
    ASSERT_TRUE(WriteBackgroundDirectory(root.path() / "new-ubm", loaded, error)) << error;
    const std::filesystem::path models = root.path() / "models";
    for (const char* name : {"anna", "bernd", "clara"}) {
        ASSERT_TRUE(WriteTargetModel(models, name, testing::TinyTargetModel(needed), error))
            << error;
    }
    ASSERT_TRUE(WriteTargetModel(models, "dora", testing::TinyTargetModel(current), error))
        << error;
    std::filesystem::create_directories(models / "damaged");
    std::ofstream(models / "damaged" / kTargetFileName) << "KSRN damaged";

    const std::map<uint64_t, size_t> others = TargetsOfOtherBackgrounds(models, current);
    EXPECT_EQ(others, (std::map<uint64_t, size_t>{{needed, 3}}));
    EXPECT_TRUE(TargetsOfOtherBackgrounds(models, needed).count(current));
    EXPECT_EQ(OtherBackgroundsMessage("m", "u", current, {}, {}), "");

    const struct {
        std::filesystem::path defaultUbm;
        const char* cure;
    } cases[] = {
        {root.path() / "old-ubm", "is that model: leave out --ubm"},
        {root.path() / "new-ubm", "give --ubm with the background model they were enrolled with"},
        {{}, "give --ubm with the background model they were enrolled with"},
        {root.path() / "missing", "give --ubm with the background model they were enrolled with"},
    };
    for (const auto& c : cases) {
        const std::string message =
            OtherBackgroundsMessage("models", "new-ubm", current, others, c.defaultUbm);
        EXPECT_NE(message.find("3 targets under models were enrolled with background model " +
                               FingerprintText(needed) + ", not with new-ubm (" +
                               FingerprintText(current) + ")"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find(c.cure), std::string::npos) << message;
        EXPECT_EQ(message.back(), '\n');
    }
}

}  // namespace
}  // namespace kestrune
