#include "core/PublicUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using omm::test::TempDir;
namespace fs = std::filesystem;

// Keeps the current directory of the process and checks on the way out that it stayed.
struct CwdGuard {
    fs::path before = fs::current_path();
    ~CwdGuard() { EXPECT_EQ(fs::current_path(), before); }
};

TEST(DeleteTree, RemovesANestedTree) {
    CwdGuard cwd;
    TempDir dir;
    const fs::path work = dir / "clip";
    fs::create_directories(work / "Image" / "deep" / "deeper");
    fs::create_directories(work / "Sound");
    omm::test::writeText(work / "1.tmp", "x");
    omm::test::writeText(work / "Image" / "00001.bmp", "x");
    omm::test::writeText(work / "Image" / "deep" / "deeper" / ".hidden", "x");
    omm::test::writeText(work / "Sound" / "Sound.mp3", "x");
    TPublicConst::DeleteTree(work.string());
    EXPECT_FALSE(fs::exists(work));
    EXPECT_TRUE(fs::exists(dir.path()));
}

TEST(DeleteTree, TrailingSlashIsTheSameFolder) {
    CwdGuard cwd;
    TempDir dir;
    fs::create_directories(dir / "w" / "a");
    TPublicConst::DeleteTree((dir / "w").string() + "/");
    EXPECT_FALSE(fs::exists(dir / "w"));
}

TEST(DeleteTree, LinksAreRemovedAsLinksAndTheirTargetsSurvive) {
    CwdGuard cwd;
    TempDir dir;
    const fs::path outside = dir / "outside";
    fs::create_directories(outside / "keep");
    omm::test::writeText(outside / "precious.txt", "keep me");
    omm::test::writeText(outside / "keep" / "more.txt", "keep me too");
    omm::test::writeText(dir / "file-outside.txt", "keep");
    const fs::path work = dir / "work";
    fs::create_directories(work / "sub");
    fs::create_directory_symlink(outside, work / "link-to-folder");
    fs::create_directory_symlink(outside, work / "sub" / "deeper-link");
    fs::create_symlink(dir / "file-outside.txt", work / "link-to-file");
    fs::create_symlink(dir / "nowhere", work / "dangling");
    TPublicConst::DeleteTree(work.string());
    EXPECT_FALSE(fs::exists(fs::symlink_status(work)));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
    EXPECT_TRUE(fs::exists(outside / "keep" / "more.txt"));
    EXPECT_TRUE(fs::exists(dir / "file-outside.txt"));
}

TEST(DeleteTree, APathThatIsALinkToAFolderIsNotFollowed) {
    CwdGuard cwd;
    TempDir dir;
    fs::create_directories(dir / "real" / "x");
    fs::create_directory_symlink(dir / "real", dir / "alias");
    TPublicConst::DeleteTree((dir / "alias").string());
    EXPECT_TRUE(fs::exists(dir / "real" / "x"));
    EXPECT_TRUE(fs::is_symlink(dir / "alias"));
}

TEST(DeleteTree, NonFoldersAreLeftAlone) {
    CwdGuard cwd;
    TempDir dir;
    omm::test::writeText(dir / "clip.avi", "video");
    TPublicConst::DeleteTree((dir / "clip.avi").string());
    EXPECT_TRUE(fs::exists(dir / "clip.avi"));
    TPublicConst::DeleteTree((dir / "missing").string());
    TPublicConst::DeleteTree("");
    EXPECT_TRUE(fs::exists(dir / "clip.avi"));
}

TEST(DeleteTree, RelativePathsResolveAgainstTheCurrentDirectoryWhichStays) {
    TempDir dir;
    fs::create_directories(dir / "rel" / "a");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    TPublicConst::DeleteTree("rel");
    EXPECT_EQ(fs::current_path(), dir.path());
    fs::current_path(before);
    EXPECT_FALSE(fs::exists(dir / "rel"));
}

// A folder the user may not change keeps its files, and the folders above it stay; the
// rest goes. The superuser may change anything, so under it the deletion runs in a
// child process that has given up its rights for those of an ordinary user.
TEST(DeleteTree, WhatCannotBeDeletedStaysWithItsFolders) {
    constexpr uid_t Nobody = 65534;
    constexpr int Unreachable = 77;
    CwdGuard cwd;
    TempDir dir;
    fs::create_directories(dir / "w" / "locked");
    omm::test::writeText(dir / "w" / "locked" / "f", "x");
    omm::test::writeText(dir / "w" / "gone", "x");
    const bool root = ::geteuid() == 0;
    if (root) {
        for (const fs::path& p : {dir.path(), dir / "w", dir / "w" / "locked",
                                  dir / "w" / "locked" / "f", dir / "w" / "gone"})
            ASSERT_EQ(::chown(p.c_str(), Nobody, Nobody), 0) << p;
    }
    fs::permissions(dir / "w" / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string work = (dir / "w").string();
    const int status = [&] {
        if (!root) {
            TPublicConst::DeleteTree(work);
            return 0;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                ::_exit(2);
            if (::access(work.c_str(), W_OK | X_OK) != 0)
                ::_exit(Unreachable); // a temporary folder below one only root may enter
            TPublicConst::DeleteTree(work);
            ::_exit(0);
        }
        int wait = 0;
        if (child < 0 || ::waitpid(child, &wait, 0) != child || !WIFEXITED(wait))
            return -1;
        return WEXITSTATUS(wait);
    }();
    fs::permissions(dir / "w" / "locked", fs::perms::owner_all);
    if (status == Unreachable)
        GTEST_SKIP() << "an ordinary user cannot reach " << work;
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(fs::exists(dir / "w" / "locked" / "f"));
    EXPECT_FALSE(fs::exists(dir / "w" / "gone"));
}

} // namespace
