// kestrune enroll --list: the list and its shards, and a list run that fails for one target and
// resumes when run again.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/contract/model_directories.h"
#include "core/models/model_files.h"
#include "support/synthetic.h"
#include "support/wave_writer.h"
#include "tool/commands.h"
#include "tool/enroll_list.h"

namespace kestrune {
namespace {

using testing::MakeVoice;
using testing::Speak;
using testing::TempDirectory;
using testing::WriteWave;

TEST(EnrollList, ShardsAreKOverNWithKBelowN) {
    const struct {
        const char* text;
        bool valid;
        size_t index, count;
    } cases[] = {
        {"0/1", true, 0, 1},   {"3/4", true, 3, 4}, {"4/4", false, 0, 0},   {"1/0", false, 0, 0},
        {"-1/2", false, 0, 0}, {"1", false, 0, 0},  {"1/2/3", false, 0, 0}, {"a/2", false, 0, 0},
    };
    for (const auto& c : cases) {
        ListShard shard{9, 9};
        EXPECT_EQ(ParseShard(c.text, shard), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(shard.index, c.index) << c.text;
            EXPECT_EQ(shard.count, c.count) << c.text;
        }
    }
}

TEST(EnrollList, ShardsTakeEntriesByPositionSkippingBlankAndCommentLines) {
    const TempDirectory directory("enroll-list");
    const auto list = directory.path() / "names.tsv";
    std::ofstream(list) << "# five targets\nana\ta.wav\tsub/b.wav\n\nbo\t/abs/c.wav\r\n"
                        << "cy\td.wav\n   \ndee\te.wav\nel\tf.wav\t\n";
    const struct {
        ListShard shard;
        std::vector<std::string> names;
    } cases[] = {
        {{0, 1}, {"ana", "bo", "cy", "dee", "el"}},
        {{0, 2}, {"ana", "cy", "el"}},
        {{1, 2}, {"bo", "dee"}},
        {{2, 3}, {"cy"}},
        {{4, 8}, {"el"}},
        {{5, 8}, {}},
    };
    for (const auto& c : cases) {
        std::vector<EnrollEntry> entries;
        std::string error;
        ASSERT_TRUE(ReadEnrollList(list, c.shard, entries, error)) << error;
        std::vector<std::string> names;
        for (const EnrollEntry& entry : entries) {
            names.push_back(entry.name);
        }
        EXPECT_EQ(names, c.names) << c.shard.index << "/" << c.shard.count;
    }
    std::vector<EnrollEntry> all;
    std::string error;
    ASSERT_TRUE(ReadEnrollList(list, {0, 1}, all, error));
    const std::vector<std::string> anaFiles = {(directory.path() / "a.wav").string(),
                                               (directory.path() / "sub/b.wav").string()};
    EXPECT_EQ(all[0].files, anaFiles);
    EXPECT_EQ(all[1].files, std::vector<std::string>{"/abs/c.wav"});
    EXPECT_EQ(all[4].files.size(), 1u) << "an empty field is no recording";
}

TEST(EnrollList, ABadLineRefusesTheWholeListInEveryShard) {
    const TempDirectory directory("enroll-bad");
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"ana\ta.wav\nbo\n", "names.tsv:2: 'bo' has no recordings"},
        {"ana\ta.wav\n..\tb.wav\n", "names.tsv:2: '..' cannot be a directory name"},
        {"ana\ta.wav\nx/y\tb.wav\n", "cannot be a directory name"},
        {"ana\ta.wav\nbo\tb.wav\nana\tc.wav\n", "names.tsv:3: 'ana' is listed twice"},
    };
    for (const auto& c : cases) {
        const auto list = directory.path() / "names.tsv";
        std::ofstream(list) << c.text;
        for (const ListShard shard : {ListShard{0, 2}, ListShard{1, 2}}) {
            std::vector<EnrollEntry> entries;
            std::string error;
            EXPECT_FALSE(ReadEnrollList(list, shard, entries, error)) << c.text;
            EXPECT_NE(error.find(c.problem), std::string::npos) << error;
        }
    }
    std::vector<EnrollEntry> entries;
    std::string error;
    EXPECT_FALSE(ReadEnrollList(directory.path() / "absent.tsv", {}, entries, error));
}

TEST(EnrollList, AFailedTargetLeavesNoModelAndARunAgainEnrollsOnlyWhatIsMissing) {
    const TempDirectory directory("enroll-run");
    const auto path = [&](const std::string& name) { return (directory.path() / name).string(); };
    // No companion: what is tested here is the list's bookkeeping, not the models.
    std::vector<std::string> train = {"--out",    path("ubm"), "--components", "8", "--copies", "1",
                                      "--cohort", "3",         "--companion",  "0"};
    for (int voice = 0; voice < 4; ++voice) {
        const std::string file = path("bg-" + std::to_string(voice) + ".wav");
        WriteWave(file, Speak(MakeVoice(voice), 3.0, 40 + voice), 8000);
        train.push_back("--speaker");
        train.push_back(file + ".speaker");
        train.push_back(file);
    }
    std::ostringstream log;
    ASSERT_EQ(TrainUbmCommand(train, log), 0) << log.str();
    const char* const enrollment[] = {"e0.wav", "e1.wav", "e2.wav"};
    for (int voice = 0; voice < 3; ++voice) {
        WriteWave(path(enrollment[voice]), Speak(MakeVoice(voice), 5.0, voice), 8000);
    }
    // "bo" names a recording that is not there yet.
    std::ofstream(path("names.tsv")) << "ana\te0.wav\nbo\tlate.wav\ncy\te2.wav\n";
    const auto model = [&](const char* name) {
        return std::filesystem::exists(directory.path() / "models" / name / kTargetFileName);
    };
    const std::vector<std::string> run = {"--ubm",        path("ubm"), "--models",
                                          path("models"), "--list",    path("names.tsv")};
    auto shard = run;
    shard.insert(shard.end(), {"--shard", "1/2"});
    EXPECT_EQ(EnrollCommand(shard, log), 1);
    EXPECT_FALSE(model("ana") || model("bo") || model("cy")) << "shard 1/2 holds bo alone";
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "models" / "bo"));

    EXPECT_EQ(EnrollCommand(run, log), 1);
    EXPECT_TRUE(model("ana") && model("cy"));
    EXPECT_FALSE(model("bo"));
    EXPECT_NE(log.str().find("2 of 3 targets enrolled, 1 failed"), std::string::npos) << log.str();

    std::filesystem::copy_file(path("e1.wav"), path("late.wav"));
    const auto anaTime =
        std::filesystem::last_write_time(directory.path() / "models/ana" / kTargetFileName);
    log.str("");
    EXPECT_EQ(EnrollCommand(run, log), 0) << log.str();
    EXPECT_TRUE(model("bo"));
    EXPECT_NE(log.str().find("ana: kept"), std::string::npos) << log.str();
    EXPECT_NE(log.str().find("1 of 1 targets enrolled"), std::string::npos) << log.str();
    EXPECT_EQ(anaTime,
              std::filesystem::last_write_time(directory.path() / "models/ana" / kTargetFileName));

    const std::vector<std::vector<std::string>> usage = {
        {"--models", path("models"), "--list", path("names.tsv"), "--name", "x"},
        {"--models", path("models"), "--list", path("names.tsv"), "e0.wav"},
        {"--models", path("models"), "--name", "x", "--shard", "0/2", "e0.wav"},
        {"--models", path("models"), "--list", path("names.tsv"), "--shard", "2/2"},
    };
    for (const auto& args : usage) {
        EXPECT_EQ(EnrollCommand(args, log), 2);
    }
}

}  // namespace
}  // namespace kestrune
