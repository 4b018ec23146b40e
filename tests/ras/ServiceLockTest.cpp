// The service's lock against what may stand in its place and against another process that
// holds it: a real second process, real links, FIFOs and folders.

#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LockHolder.h"
#include "tests/support/Raised.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
const std::string kPhonebook = "[Provider]\r\nDEVICE=modem\r\nDevice=Modem\r\nSpeed=56000\r\n";

// Anything but a regular file in the lock file's place fails every save with the reason, is
// left as it is, and a link never makes its target; once it is gone, saves work again.
TEST(ServiceLockFileTest, OnlyARegularFileOfTheFolderIsLocked)
{
    TTempDir dir, outside;
    dir.Write("rasphone.pbk", kPhonebook);
    const std::string lock = dir.File("ras.lock");
    const struct {
        const char* Reason;
        std::function<void()> Make;
        mode_t Type;
    } kinds[] = {
        {"it is a symbolic link, not a regular file",
            [&] { ASSERT_EQ(::symlink(outside.File("made").c_str(), lock.c_str()), 0); }, S_IFLNK},
        {"it is a symbolic link, not a regular file",
            [&] {
                outside.Write("lock", "");
                ASSERT_EQ(::symlink(outside.File("lock").c_str(), lock.c_str()), 0);
            },
            S_IFLNK},
        {"it is a named pipe, not a regular file", [&] { ASSERT_EQ(::mkfifo(lock.c_str(), 0644), 0); }, S_IFIFO},
        {"it is a folder, not a regular file", [&] { ASSERT_EQ(::mkdir(lock.c_str(), 0755), 0); }, S_IFDIR},
    };
    TRasService service(dir.Path());
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.Reason);
        std::filesystem::remove(lock);
        const std::string table = dir.Exists("connections") ? dir.Read("connections") : "";
        kind.Make();
        const std::string message = "Cannot use the lock file " + lock + ": " + kind.Reason;
        EXPECT_EQ(MessageOf<ERasUnreadableFile>([&] { service.Dial("Provider", {}, T0); }), message);
        EXPECT_EQ(MessageOf<ERasUnreadableFile>([&] {
            service.AddEntry({"Other", "modem", "Modem", 0, ""});
        }),
            message);
        struct stat info { };
        ASSERT_EQ(::lstat(lock.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, kind.Type);
        EXPECT_FALSE(outside.Exists("made"));
        EXPECT_EQ(dir.Exists("connections") ? dir.Read("connections") : "", table);
        EXPECT_EQ(dir.Read("rasphone.pbk"), kPhonebook);

        std::filesystem::remove_all(lock);
        std::filesystem::remove_all(outside.File("lock"));
        const HRASCONN handle = service.Dial("Provider", {}, T0);
        EXPECT_TRUE(service.HangUp(handle, T0));
    }
}

// rasdial waits longer than a poll, but not without a bound, and then says who holds the lock.
TEST(ServiceLockHolderTest, RasdialNamesTheProcessThatHoldsTheLock)
{
    TTempDir dir;
    dir.Write("rasphone.pbk", kPhonebook);
    auto rasdial = [&](const std::vector<std::string>& args) {
        return RunChild(RASDIAL_PATH, args, {"ZELTIX_RAS_DIR=" + dir.Path()});
    };
    TLockHolder holder(dir.File("ras.lock"), "pppconfig");

    TChildResult held = rasdial({"Provider", "--wait", "0.3"});
    EXPECT_EQ(held.ExitCode, 1);
    EXPECT_EQ(held.Err,
        "rasdial: The dial-up service is busy: process " + std::to_string(holder.Pid()) +
            " (pppconfig) has held its lock " + dir.File("ras.lock") + " for more than 300 ms\n");
    EXPECT_FALSE(dir.Exists("connections"));
    EXPECT_EQ(rasdial({"--phonebook", "--wait", "0"}).Out, "Provider: modem, Modem, 56000 bps\n"); // reads need none

    holder.Release();
    TChildResult free = rasdial({"Provider", "--wait", "0.3"});
    EXPECT_EQ(free.ExitCode, 0) << free.Err;
    EXPECT_EQ(free.Out, "Dialing Provider (handle 0x00010001): connected in 5 s\n");
}

} // namespace
