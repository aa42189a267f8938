// Durable writes: whole files, no temporary left behind on success or failure, nothing written
// through a planted link, and concurrent writers of one file leaving one whole version.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/base/durable_write.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Write(const fs::path& file, const std::string& text, std::string& error) {
    return WriteFileDurably(file, text.data(), text.size(), error);
}

// The names in `folder`, sorted.
std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DurableWrite, WritesWholeFilesAndLeavesNothingElse) {
    const TempDirectory folder("durable");
    const fs::path file = folder.path() / "target.krn";
    std::string error;
    for (const std::string& text :
         {std::string("first"), std::string(300000, 'x'), std::string()}) {
        ASSERT_TRUE(Write(file, text, error)) << error;
        EXPECT_EQ(Contents(file), text);
        EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"target.krn"});
    }
    struct stat status {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0644 & ~mask);
}

// Links planted where the old writer put its temporary file, and at the final name: nothing is
// written through them.
TEST(DurableWrite, PlantedLinksAreNotFollowed) {
    const TempDirectory folder("links");
    const fs::path victim = folder.path() / "victim";
    std::ofstream(victim) << "precious";
    const fs::path file = folder.path() / "target.krn";
    std::string error;

    fs::create_symlink(victim, folder.path() / "target.krn.partial");
    ASSERT_TRUE(Write(file, "model", error)) << error;
    EXPECT_EQ(Contents(victim), "precious");
    EXPECT_EQ(Contents(file), "model");
    EXPECT_FALSE(fs::is_symlink(file));

    fs::remove(file);
    fs::create_symlink(victim, file);
    EXPECT_FALSE(Write(file, "model", error));
    EXPECT_NE(error.find("link"), std::string::npos) << error;
    EXPECT_EQ(Contents(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(file)) << "the link itself is left as it was";
}

TEST(DurableWrite, FailuresLeaveNoTemporaryFile) {
    const TempDirectory folder("failures");
    std::string error;
    // A directory at the final name: the rename fails after the temporary file was written.
    fs::create_directory(folder.path() / "occupied");
    fs::create_directory(folder.path() / "occupied" / "inside");
    EXPECT_FALSE(Write(folder.path() / "occupied", "model", error));
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"occupied"});
    // No folder to write in.
    EXPECT_FALSE(Write(folder.path() / "missing" / "target.krn", "model", error));
    EXPECT_FALSE(error.empty());
}

TEST(DurableWrite, ConcurrentWritersLeaveOneWholeVersion) {
    const TempDirectory folder("concurrent");
    const fs::path file = folder.path() / "target.krn";
    constexpr int kWriters = 8;
    std::vector<std::string> versions;
    for (int w = 0; w < kWriters; ++w) {
        versions.push_back(std::string(1000 * (w + 1), static_cast<char>('a' + w)));
    }
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int round = 0; round < 20; ++round) {
                std::string error;
                failures[w] += !Write(file, versions[w], error);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kWriters, 0));
    const std::string final = Contents(file);
    EXPECT_NE(std::find(versions.begin(), versions.end(), final), versions.end())
        << "a mixed or partial file of " << final.size() << " bytes";
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"target.krn"});
}

}  // namespace
}  // namespace kestrune
