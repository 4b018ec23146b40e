#include "base/AtomicFile.h"

#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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

} // namespace
