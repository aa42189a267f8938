// File identities: what one status call tells of a file, and which changes make it another
// version (the model cache reuses whatever keeps its identity).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/contract/file_identity.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;

struct OpenDirectory {
    explicit OpenDirectory(const fs::path& path)
        : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY)) {}
    ~OpenDirectory() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    OpenDirectory(const OpenDirectory&) = delete;
    OpenDirectory& operator=(const OpenDirectory&) = delete;
    const int fd;
};

FileIdentity Identify(const fs::path& path) {
    FileIdentity identity;
    EXPECT_TRUE(IdentifyRegularFile(path, identity)) << path;
    return identity;
}

TEST(FileIdentity, RegularFilesOnlyAfterLinks) {
    const TempDirectory dir("identity");
    const fs::path file = dir.path() / "model";
    testing::WriteTextFile(file, "12345");
    fs::create_directory(dir.path() / "folder");
    fs::create_symlink(file, dir.path() / "link");
    fs::create_symlink(dir.path() / "folder", dir.path() / "folder-link");
    fs::create_symlink(dir.path() / "gone", dir.path() / "dangling");

    struct {
        const char* name;
        bool regular;
    } const cases[] = {{"model", true},        {"link", true},      {"folder", false},
                       {"folder-link", false}, {"dangling", false}, {"missing", false}};
    for (const auto& c : cases) {
        FileIdentity identity;
        EXPECT_EQ(IdentifyRegularFile(dir.path() / c.name, identity), c.regular) << c.name;
    }
    // A link is identified as the file it leads to, under its own path.
    const FileIdentity direct = Identify(file);
    const FileIdentity linked = Identify(dir.path() / "link");
    EXPECT_EQ(linked.inode, direct.inode);
    EXPECT_EQ(linked.size, 5u);
    EXPECT_EQ(linked.path, (dir.path() / "link").native());
}

TEST(FileIdentity, FieldsDescribeTheFile) {
    const TempDirectory dir("identity");
    const fs::path file = dir.path() / "model";
    const int64_t before = FileClockNow();
    testing::WriteTextFile(file, std::string(1000, 'x'));
    const FileIdentity identity = Identify(file);
    EXPECT_EQ(identity.path, file.native());
    EXPECT_EQ(identity.size, 1000u);
    EXPECT_NE(identity.inode, 0u);
    // Timestamps in the file clock's units: written just now (allowing a coarse file system).
    EXPECT_GE(identity.Newest(), before - 2 * kFileClockPerSecond);
    EXPECT_LE(identity.Newest(), FileClockNow() + kFileClockPerSecond);
}

// Changes a writer makes, each of which must give the file another identity, and reading it,
// which must not.
TEST(FileIdentity, EveryKindOfRewriteIsAnotherVersion) {
    const TempDirectory dir("identity");
    const fs::path file = dir.path() / "model";
    testing::WriteTextFile(file, "version one");
    const FileIdentity first = Identify(file);
    {
        std::ifstream in(file);
        std::string text;
        in >> text;
    }
    EXPECT_EQ(Identify(file), first) << "reading changed the identity";

    // Replaced by rename, with the same size and its timestamps set back: the inode tells.
    testing::WriteTextFile(dir.path() / "model.new", "version two");
    fs::last_write_time(dir.path() / "model.new", fs::last_write_time(file));
    fs::rename(dir.path() / "model.new", file);
    const FileIdentity renamed = Identify(file);
    EXPECT_EQ(renamed.size, first.size);
    EXPECT_NE(renamed, first);

    // Rewritten in place, same size, modification time set back: the status change tells.
    const fs::file_time_type stamp = fs::last_write_time(file);
    testing::WriteTextFile(file, "version 003");
    fs::last_write_time(file, stamp);
    const FileIdentity inPlace = Identify(file);
    EXPECT_EQ(inPlace.inode, renamed.inode);
    EXPECT_EQ(inPlace.modified, renamed.modified);
    EXPECT_NE(inPlace, renamed);
}

TEST(FileIdentity, RelativeToAnOpenDirectoryMatchesTheFullPath) {
    const TempDirectory dir("identity");
    fs::create_directory(dir.path() / "anna");
    testing::WriteTextFile(dir.path() / "anna" / "target.krn", "abc");
    const OpenDirectory directory(dir.path());
    const int fd = directory.fd;
    ASSERT_GE(fd, 0);
    FileIdentity relative;
    ASSERT_TRUE(IdentifyRegularFileAt(fd, "anna/target.krn", relative));
    EXPECT_TRUE(relative.path.empty());
    relative.path = (dir.path() / "anna" / "target.krn").native();
    EXPECT_EQ(relative, Identify(dir.path() / "anna" / "target.krn"));
    FileIdentity none;
    EXPECT_FALSE(IdentifyRegularFileAt(fd, "anna", none));
    EXPECT_FALSE(IdentifyRegularFileAt(fd, "bernd/target.krn", none));
}

TEST(FileIdentity, HashAndNewestUseEveryField) {
    const FileIdentity base{"/models/anna/target.krn", 100, 5000, 6000, 7, 8};
    const FileIdentityHash hash;
    FileIdentity same = base;
    EXPECT_EQ(hash(same), hash(base));
    // Each field alone makes another version, and must change the hash (a field left out of it
    // would make every version of a file collide).
    const auto changed = [&](auto change) {
        FileIdentity other = base;
        change(other);
        EXPECT_NE(other, base);
        return hash(other) != hash(base);
    };
    EXPECT_TRUE(changed([](FileIdentity& f) { f.path += "x"; }));
    EXPECT_TRUE(changed([](FileIdentity& f) { ++f.size; }));
    EXPECT_TRUE(changed([](FileIdentity& f) { ++f.modified; }));
    EXPECT_TRUE(changed([](FileIdentity& f) { ++f.changed; }));
    EXPECT_TRUE(changed([](FileIdentity& f) { ++f.device; }));
    EXPECT_TRUE(changed([](FileIdentity& f) { ++f.inode; }));

    struct {
        int64_t modified, changed, newest;
    } const times[] = {{1, 2, 2}, {5, 3, 5}, {-4, -9, -4}, {7, 7, 7}};
    for (const auto& t : times) {
        FileIdentity file;
        file.modified = t.modified;
        file.changed = t.changed;
        EXPECT_EQ(file.Newest(), t.newest) << t.modified << ", " << t.changed;
    }
}

}  // namespace
}  // namespace kestrune
