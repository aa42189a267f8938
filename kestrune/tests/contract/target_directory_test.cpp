// Scanning a models directory: which entries are targets, under which names, in which order.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/contract/target_directory.h"
#include "core/models/model_files.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;

// A target folder `name` whose model file holds `bytes` bytes.
void AddTarget(const fs::path& models, const std::string& name, size_t bytes) {
    fs::create_directory(models / name);
    testing::WriteTextFile(models / name / kTargetFileName, std::string(bytes, 't'));
}

std::vector<std::string> Names(const std::vector<TargetDirectory>& found) {
    std::vector<std::string> names;
    for (const TargetDirectory& target : found) {
        names.push_back(target.name);
    }
    return names;
}

TEST(TargetDirectory, OnlyFoldersHoldingAModelFileAreTargets) {
    const TempDirectory root("targets");
    const fs::path models = root.path() / "models";
    fs::create_directory(models);
    AddTarget(models, "bernd", 20);
    AddTarget(models, "anna", 10);
    AddTarget(models, ".hidden", 5);  // a name like any other
    fs::create_directory(models / "empty");
    fs::create_directory(models / "other-file");
    testing::WriteTextFile(models / "other-file" / "target.krn.partial", "x");
    fs::create_directory(models / "model-is-folder");
    fs::create_directory(models / "model-is-folder" / kTargetFileName);
    testing::WriteTextFile(models / "plain-file", "not a folder");
    AddTarget(root.path(), "elsewhere", 30);
    fs::create_directory_symlink(root.path() / "elsewhere", models / "linked");
    fs::create_directory_symlink(root.path() / "gone", models / "dangling");
    fs::create_symlink(models / "anna" / kTargetFileName, models / "file-link");

    const std::vector<TargetDirectory> found = FindTargetDirectories(models);
    EXPECT_EQ(Names(found), (std::vector<std::string>{".hidden", "anna", "bernd", "linked"}));
    const size_t sizes[] = {5, 10, 20, 30};
    for (size_t i = 0; i < found.size() && i < std::size(sizes); ++i) {
        EXPECT_EQ(found[i].modelFile.size, sizes[i]) << found[i].name;
        EXPECT_EQ(found[i].modelFile.path, (models / found[i].name / kTargetFileName).native());
        FileIdentity direct;
        ASSERT_TRUE(IdentifyRegularFile(found[i].modelFile.path, direct));
        EXPECT_EQ(found[i].modelFile, direct) << found[i].name;
    }
}

// Names are bytes as the file system holds them (not necessarily UTF-8), sorted by byte value;
// the models path may end in a separator or not.
TEST(TargetDirectory, NamesAreSortedByTheirBytes) {
    const TempDirectory root("targets");
    const std::vector<std::string> names = {"caf\xC3\xA9", "Zed", "caf\xE9", "cafe", "10", "9"};
    for (const std::string& name : names) {
        AddTarget(root.path(), name, 1);
    }
    const std::vector<std::string> sorted = {"10", "9", "Zed", "cafe", "caf\xC3\xA9", "caf\xE9"};
    EXPECT_EQ(Names(FindTargetDirectories(root.path())), sorted);
    const std::vector<TargetDirectory> slashed = FindTargetDirectories(root.path().string() + "/");
    ASSERT_EQ(Names(slashed), sorted);
    EXPECT_EQ(slashed[0].modelFile.path, (root.path() / "10" / kTargetFileName).native());
}

TEST(TargetDirectory, NothingToScanGivesNoTargets) {
    const TempDirectory root("targets");
    testing::WriteTextFile(root.path() / "file", "x");
    EXPECT_TRUE(FindTargetDirectories(root.path()).empty());
    EXPECT_TRUE(FindTargetDirectories(root.path() / "missing").empty());
    EXPECT_TRUE(FindTargetDirectories(root.path() / "file").empty());
    EXPECT_TRUE(FindTargetDirectories("").empty());
}

}  // namespace
}  // namespace kestrune
