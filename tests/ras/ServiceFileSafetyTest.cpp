// The service's files and its lock against what a user's folder may hold in their place, saves
// against the user's modes, and killed saves: real special files, users and processes.

#include "ras/service/PppLinkTable.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "ras/service/ServiceFile.h"
#include "ras/service/ServiceSeams.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PppTree.h"
#include "tests/support/Raised.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
const std::string kPhonebook = "[Provider]\r\nDEVICE=modem\r\nDevice=Modem\r\nSpeed=56000\r\n";

mode_t ModeOf(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// Each file replaced by each kind of file that is not one: every use fails with the reason, the
// thing in its place is kept, and once it is gone the next poll works again.
TEST(ServiceFileSafetyTest, SpecialAndOversizedFilesAreRefusedAndKept)
{
    TPppTree tree; // a running pppd, so that a listing needs the pppd link file
    tree.Peer("isp", "/dev/ttyUSB0\n");
    tree.Process(100, "pppd", 5000, "/usr/sbin/pppd call isp");
    TTempDir dir;
    TRasService service(dir.Path());
    const struct {
        const char* Name;
        const char* What;
        size_t Cap;
        std::function<void()> Uses[2];
    } kinds[] = {
        {"rasphone.pbk", "phonebook", kMaxPhonebookBytes,
            {[&] { service.Phonebook(); }, [&] { service.Dial("Provider", {}, T0); }}},
        {"connections", "connection table", kMaxTableBytes,
            {[&] { service.Connections(T0); }, [&] { service.Dial("Provider", {}, T0); }}},
        {"ppp-links", "pppd link file", kMaxPppLinksBytes,
            {[&] { service.Connections(T0); }, [&] { service.Find(kFirstPppHandle, T0); }}},
    };
    const struct {
        const char* Reason; // nullptr: too large
        std::function<int(const char*, off_t)> Make;
    } specials[] = {
        {"it is a named pipe, not a regular file", [](const char* p, off_t) { return ::mkfifo(p, 0644); }},
        {"it is a device, not a regular file", [](const char* p, off_t) { return ::symlink("/dev/zero", p); }},
        {"it is a folder, not a regular file", [](const char* p, off_t) { return ::mkdir(p, 0755); }},
        {nullptr, [](const char* p, off_t size) { return ::close(::creat(p, 0644)) | ::truncate(p, size); }},
    };
    for (const auto& kind : kinds) {
        for (const auto& special : specials) {
            SCOPED_TRACE(std::string(kind.Name) + ": " + (special.Reason ? special.Reason : "too large"));
            dir.Write("rasphone.pbk", kPhonebook);
            service.Connections(T0);
            const std::string path = dir.File(kind.Name);
            std::filesystem::remove(path);
            ASSERT_EQ(special.Make(path.c_str(), static_cast<off_t>(kind.Cap) + 1), 0);
            const mode_t made = ModeOf(path);
            const std::string reason = special.Reason
                ? special.Reason
                : "it is larger than " + std::to_string(kind.Cap) + " bytes, more than the service ever writes";
            for (const auto& use : kind.Uses)
                EXPECT_EQ(MessageOf<ERasUnreadableFile>(use),
                    std::string("Cannot read the ") + kind.What + " " + path + ": " + reason);
            EXPECT_EQ(ModeOf(path), made);
            std::filesystem::remove_all(path);
        }
    }
    dir.Write("rasphone.pbk", kPhonebook);
    EXPECT_EQ(service.Connections(T0).size(), 1u);
    EXPECT_EQ(service.Dial("Provider", {}, T0), 0x00010001u);
}

// Anything but a regular file in the lock's place fails every save with the reason and is kept;
// a dangling link never makes its target outside the folder.
TEST(ServiceFileSafetyTest, OnlyARegularFileOfTheFolderIsLocked)
{
    TTempDir dir, outside;
    dir.Write("rasphone.pbk", kPhonebook);
    TRasService service(dir.Path());
    const std::string lock = dir.File("ras.lock");
    const struct {
        const char* Reason;
        std::function<int()> Make;
    } kinds[] = {
        {"it is a symbolic link", [&] { return ::symlink(outside.File("made").c_str(), lock.c_str()); }},
        {"it is a named pipe", [&] { return ::mkfifo(lock.c_str(), 0644); }},
        {"it is a folder", [&] { return ::mkdir(lock.c_str(), 0755); }},
    };
    for (const auto& kind : kinds) {
        ASSERT_EQ(kind.Make(), 0);
        EXPECT_EQ(MessageOf<ERasUnreadableFile>([&] { service.Dial("Provider", {}, T0); }),
            "Cannot use the lock file " + lock + ": " + kind.Reason + ", not a regular file");
        EXPECT_FALSE(S_ISREG(ModeOf(lock)));
        std::filesystem::remove(lock);
    }
    EXPECT_FALSE(outside.Exists("made"));
    EXPECT_FALSE(dir.Exists("connections"));
    EXPECT_EQ(service.Dial("Provider", {}, T0), 0x00010001u);
}

// rasdial as the user nobody with the given umask, in a folder of theirs: its exit code.
int RasdialAsNobody(const char* umask, const std::string& folder, std::vector<std::string> args)
{
    args.insert(args.begin(),
        {"--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh", "-c",
            std::string("umask ") + umask + " && exec \"$0\" \"$@\"", RASDIAL_PATH});
    return RunChild("/usr/bin/setpriv", args, {"ZELTIX_RAS_DIR=" + folder}).ExitCode;
}

// What a user sees: new files follow the umask, the modes the user gave the phonebook and the
// table stay, and a group the user may not give a file is no failure.
TEST(ServiceFileSafetyTest, SavesKeepTheUsersModes)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    TTempDir dir;
    ASSERT_EQ(::chown(dir.Path().c_str(), 65534, 65534), 0);
    const std::string phonebook = dir.File("rasphone.pbk"), table = dir.File("connections");
    ASSERT_EQ(RasdialAsNobody("077", dir.Path(), {"--add", "A"}), 0);
    EXPECT_EQ(ModeOf(phonebook) & 07777, 0600u);
    ASSERT_EQ(RasdialAsNobody("022", dir.Path(), {"A"}), 0);
    EXPECT_EQ(ModeOf(table) & 07777, 0644u);

    ASSERT_EQ(::chown(phonebook.c_str(), 65534, 0), 0); // root's group
    ASSERT_EQ(::chmod(phonebook.c_str(), 0640), 0);
    ASSERT_EQ(::chmod(table.c_str(), 0600), 0);
    ASSERT_EQ(RasdialAsNobody("022", dir.Path(), {"--add", "B"}), 0);
    ASSERT_EQ(RasdialAsNobody("022", dir.Path(), {"A", "/d"}), 0);
    EXPECT_EQ(ModeOf(phonebook) & 07777, 0640u);
    EXPECT_EQ(ModeOf(table) & 07777, 0600u);
}

// A save killed between its write and its rename leaves its temporary file; the next save of
// any of the service's files removes it, and nothing that only looks alike.
TEST(ServiceFileSafetyTest, LeftoversOfKilledSavesGoAtTheNextSave)
{
    TTempDir dir;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ServiceSeams().SaveHook = [](const std::string&) { ::kill(::getpid(), SIGKILL); };
        SaveServiceFile(dir.File("connections"), "never renamed");
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    ASSERT_EQ(ServiceSaveLeftovers(dir.Path()).size(), 1u);
    for (const char* name : {"connections.saving-abcde", "connections.saving-abcdefg", "connections.AbCd12",
             "other.saving-AbCd12", "rasphone.pbk.saving-AbCd1!"})
        dir.Write(name, "mine");
    ASSERT_EQ(::mkdir(dir.File("nm-links.saving-Folder").c_str(), 0755), 0);

    TRasService(dir.Path()).AddEntry({"A", "modem", "", 0, ""});
    EXPECT_TRUE(ServiceSaveLeftovers(dir.Path()).empty());
    EXPECT_FALSE(dir.Exists("connections"));
    // The look-alikes, the folder, the phonebook and the lock.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 8);
}

// The fullest table the service writes, every name at its record length and escaped, is read;
// a dial beyond it is refused.
TEST(ServiceFileSafetyTest, TheFullestTableIsReadAndADialBeyondItRefused)
{
    TConnectionTable table;
    const std::string names[] = {
        std::string(RAS_MaxEntryName, '%'), std::string(RAS_MaxDeviceType, '%'), std::string(RAS_MaxDeviceName, '%')};
    while (table.Records.size() < kMaxConnections)
        table.Records.push_back({static_cast<HRASCONN>(table.NextHandle++), names[0], names[1], names[2], UINT32_MAX,
            T0, kMaxDurationMs, INT32_MIN, UINT32_MAX, T0, kMaxDurationMs});
    TTempDir dir;
    dir.Write("rasphone.pbk", kPhonebook);
    dir.Write("connections", SerializeConnectionTable(table));
    TRasService service(dir.Path());
    EXPECT_EQ(service.Connections(T0).size(), kMaxConnections);
    EXPECT_EQ(MessageOf<ERasService>([&] { service.Dial("Provider", {}, T0); }),
        "The connection table is full: 1000 connections are dialled or still listed as hung up");
}

} // namespace
