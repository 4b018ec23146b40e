#include "base/AtomicFile.h"

#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
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
    TAtomicWriteHookScope hook([](const std::string& tempPath) {
        TempFile = tempPath;
        SeenDuringWrite = AtomicWriteLeftovers(Target);
    });
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

TEST(AtomicFile, ReadWholeFileReadsFilesOfAnySizeAndThoseThatReportNone)
{
    TTempDir folder;
    for (const std::string& content : {std::string(), std::string("x"), std::string(300001, '\xE4')}) {
        folder.Write("f", content);
        std::string read = "vorher";
        ASSERT_TRUE(ReadWholeFile(folder.File("f"), read));
        EXPECT_EQ(read, content);
    }
    // /proc files have no size until read.
    std::string status;
    ASSERT_TRUE(ReadWholeFile("/proc/self/status", status));
    EXPECT_NE(status.find("VmRSS:"), std::string::npos);
    EXPECT_FALSE(ReadWholeFile(folder.Path(), status)) << "a folder";
    EXPECT_FALSE(ReadWholeFile(folder.File("fehlt"), status));
}

} // namespace
