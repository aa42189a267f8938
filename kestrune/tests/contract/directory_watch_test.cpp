// Listings kept under a watch: an unchanged models directory is not scanned again, and every
// kind of change to it is seen at the next listing.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "core/contract/directory_watch.h"
#include "core/models/model_files.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;

void WriteModel(const fs::path& folder, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / kTargetFileName, std::ios::binary) << bytes;
}

// Lists through the watch and counts the scans it needed.
struct CountingLister {
    int scans = 0;
    std::vector<TargetDirectory> List(const fs::path& models) {
        return WatchedListing(models, [this](const fs::path& path) {
            ++scans;
            return ScanTargetDirectories(path);
        });
    }
};

bool SameListing(const std::vector<TargetDirectory>& a, const std::vector<TargetDirectory>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || !(a[i].modelFile == b[i].modelFile)) {
            return false;
        }
    }
    return true;
}

TEST(DirectoryWatch, TheSettingTurnsItOffWithZeroOnly) {
    const struct {
        const char* setting;
        bool enabled;
    } cases[] = {
        {nullptr, true},
        {"1", true},
        {"0", false},
        {"00", false},
        // Not understood (reported once), so the default: a watch.
        {"", true},
        {" 0", true},
        {"0 ", true},
        {"-0", true},
        {"2", true},
        {"off", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DirectoryWatchEnabled(c.setting), c.enabled)
            << (c.setting ? c.setting : "(unset)");
    }
}

TEST(DirectoryWatch, EveryChangeIsSeenAtTheNextListing) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> change;
    } cases[] = {
        {"a target added", [](const fs::path& m) { WriteModel(m / "dora", "dddd"); }},
        {"a target folder removed", [](const fs::path& m) { fs::remove_all(m / "bert"); }},
        {"a model rewritten in place, same size",
         [](const fs::path& m) { WriteModel(m / "anna", "AAAA"); }},
        {"a model replaced by a rename",
         [](const fs::path& m) {
             std::ofstream(m / "anna" / "new", std::ios::binary) << "aaaaaa";
             fs::rename(m / "anna" / "new", m / "anna" / kTargetFileName);
         }},
        {"a target folder renamed", [](const fs::path& m) { fs::rename(m / "carl", m / "cleo"); }},
        {"a model file removed",
         [](const fs::path& m) { fs::remove(m / "bert" / kTargetFileName); }},
        {"another file beside a model", [](const fs::path& m) { std::ofstream(m / "anna" / "x"); }},
    };
    for (const auto& c : cases) {
        const TempDirectory directory("watch");
        const fs::path models = directory.path() / "models";
        for (const char* name : {"anna", "bert", "carl"}) {
            WriteModel(models / name, "aaaa");
        }
        CountingLister lister;
        const auto first = lister.List(models);
        ASSERT_EQ(first.size(), 3u);
        const int armed = lister.scans;
        const auto again = lister.List(models);
        EXPECT_TRUE(SameListing(first, again)) << c.what;
#if defined(__linux__)
        if (armed != 2) {
            GTEST_SKIP() << "no inotify watch on this file system: every listing is a scan";
        }
        EXPECT_EQ(lister.scans, armed) << "an unchanged directory is not scanned again";
#endif
        c.change(models);
        const int before = lister.scans;
        const auto changed = lister.List(models);
        EXPECT_GT(lister.scans, before) << c.what;
        EXPECT_TRUE(SameListing(changed, ScanTargetDirectories(models))) << c.what;
        // Watched anew: unchanged again, no scan.
        const int rearmed = lister.scans;
        EXPECT_TRUE(SameListing(changed, lister.List(models))) << c.what;
        EXPECT_EQ(lister.scans, rearmed) << c.what;
    }
}

TEST(DirectoryWatch, AMissingDirectoryIsScannedEveryTime) {
    const TempDirectory directory("watch-missing");
    CountingLister lister;
    EXPECT_TRUE(lister.List(directory.path() / "absent").empty());
    EXPECT_TRUE(lister.List(directory.path() / "absent").empty());
    EXPECT_EQ(lister.scans, 2) << "nothing to watch, nothing kept";
    WriteModel(directory.path() / "absent" / "anna", "aaaa");
    EXPECT_EQ(lister.List(directory.path() / "absent").size(), 1u);
}

}  // namespace
}  // namespace kestrune
