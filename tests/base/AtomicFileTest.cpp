#include "base/AtomicFile.h"

#include "base/Seams.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// What the write hook saw while the temporary file was complete and not yet renamed: the
// moment a killed save leaves it behind.
std::string Target;
std::string TempFile;
std::vector<std::string> SeenDuringWrite;

TEST(AtomicFile, LeftoversAreTheTemporaryFilesTheWriterMakes)
{
    TTempDir folder;
    Target = folder.File("connhistory.dat");
    for (const char* other : {"connhistory.dat.bad", "connhistory.dat.Ab3xY", "connhistory.dat.Ab3xY9z",
             "connhistory.dat.Ab-xY9", "connhistory.datXAb3xY9", "settings.ini.Ab3xY9"})
        folder.Write(other, "x");
    ASSERT_EQ(::mkdir(folder.File("connhistory.dat.Folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("connhistory.dat", folder.File("connhistory.dat.Link12").c_str()), 0);
    TSeamScope base{BaseSeams()};
    base->AtomicWriteHook = [](const std::string& tempPath) {
        TempFile = tempPath;
        SeenDuringWrite = AtomicWriteLeftovers(Target);
    };
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(WriteFileAtomically(Target, "TPF0"));
        EXPECT_EQ(SeenDuringWrite, std::vector<std::string>{TempFile});
        EXPECT_TRUE(AtomicWriteLeftovers(Target).empty()) << "after a completed save";
    }
}

TEST(AtomicFile, PiecesAreWrittenInOrderAndGivingUpKeepsTheOldFile)
{
    TTempDir folder;
    const std::string target = folder.File("Protokol.txt");
    ASSERT_TRUE(WriteFileAtomicallyInPieces(target,
        [](const TPieceWriter& write) { return write("alt\r\n") && write("") && write(std::string(100000, 'x')); }));
    EXPECT_EQ(folder.Read("Protokol.txt"), "alt\r\n" + std::string(100000, 'x'));

    EXPECT_FALSE(WriteFileAtomicallyInPieces(target, [](const TPieceWriter& write) {
        write("neu");
        errno = ENOSPC;
        return false;
    }));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(folder.Read("Protokol.txt"), "alt\r\n" + std::string(100000, 'x'));
    EXPECT_TRUE(AtomicWriteLeftovers(target).empty());
}

// The saves run as an ordinary user here, as the program does: the test process (root in CI)
// drops to the unprivileged uid 65534 in a child for it.
TEST(AtomicFile, ASaveKeepsTheReplacedFilesModeAndANewFileFollowsTheUmask)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "dropping to another user needs root";
    TTempDir folder;
    ASSERT_EQ(::chown(folder.Path().c_str(), 65534, 65534), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        ::umask(022);
        const std::string kept = folder.File("settings.ini"), fresh = folder.File("conns.ini");
        const int fd = ::open(kept.c_str(), O_CREAT | O_WRONLY, 0600);
        ::close(fd);
        ::chmod(kept.c_str(), 0640);
        struct stat info { };
        if (!WriteFileAtomically(kept, "[Main]\r\n") || ::stat(kept.c_str(), &info) != 0)
            ::_exit(11);
        if ((info.st_mode & 07777) != 0640)
            ::_exit(12);
        if (!WriteFileAtomically(fresh, "[Provider]\r\n") || ::stat(fresh.c_str(), &info) != 0)
            ::_exit(13);
        ::_exit((info.st_mode & 07777) == 0644 ? 0 : 14);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no other user, 11/13: not written, 12: mode widened, 14: umask ignored";

    // The superuser's save of the user's file leaves it the user's.
    ASSERT_TRUE(WriteFileAtomically(folder.File("settings.ini"), "[Main]\r\nLimit=0\r\n"));
    struct stat info { };
    ASSERT_EQ(::stat(folder.File("settings.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

} // namespace
