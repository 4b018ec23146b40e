#include "base/ReadFile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

TEST(ReadFile, ReadWholeFileReadsFilesOfAnySizeAndThoseThatReportNone)
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

TEST(ReadFile, OnlyRegularFilesWithinTheLimitAreReadAndNothingWaits)
{
    TTempDir folder;
    folder.Write("small", "12345");
    ASSERT_EQ(::mkfifo(folder.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", folder.File("zero").c_str()), 0);
    ASSERT_EQ(::symlink("/proc/self/status", folder.File("proc").c_str()), 0);
    const struct {
        const char* Name;
        size_t Limit;
        int Errno; // 0: read
        const char* Why;
    } cases[] = {
        {"small", 5, 0, ""}, {"small", 4, EFBIG, "larger than 4 bytes"},
        {"fifo", 100, EINVAL, "not a regular file but a FIFO"},
        {"zero", 100, EINVAL, "not a regular file but a device"},
        {"proc", 10, EFBIG, "larger than 10 bytes"}, // reports no size, read until the limit
        {"fehlt", 100, ENOENT, ""},                  // the system's text
    };
    for (const auto& c : cases) {
        std::string bytes = "vorher", why;
        errno = 0;
        EXPECT_EQ(ReadWholeFile(folder.File(c.Name), bytes, c.Limit, &why), c.Errno == 0) << c.Name;
        if (c.Errno != 0) {
            EXPECT_EQ(errno, c.Errno) << c.Name;
            EXPECT_EQ(why, *c.Why ? std::string(c.Why) : std::string(std::strerror(c.Errno))) << c.Name;
            EXPECT_TRUE(bytes.empty()) << c.Name;
        }
    }
}

} // namespace
