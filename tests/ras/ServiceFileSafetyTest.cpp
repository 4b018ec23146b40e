// The service's own files against what a user's folder may hold in their place: special and
// oversized files are refused with a message and kept, saves keep the replaced file's mode and
// owner and never write through a link, and the leftovers of killed saves go. Real special
// files, real users and real killed processes.

#include "ras/service/NmBus.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "ras/service/ServiceFile.h"
#include "tests/support/NmMock.h"
#include "tests/support/PppTree.h"
#include "tests/support/Raised.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <iostream>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
const std::string kPhonebook = "[Provider]\r\nDEVICE=modem\r\nDevice=Modem\r\nSpeed=56000\r\n";
constexpr uid_t kNobody = 65534;

struct stat Lstat(const std::string& path)
{
    struct stat info { };
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// A folder whose every file the service needs: an entry of its own, a running pppd of a peer
// and, where NetworkManager's double runs, an active NetworkManager connection.
class ServiceFileSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder.Write("rasphone.pbk", kPhonebook);
        Tree.Peer("isp", "/dev/ttyUSB0\n");
        StartPppd(100);
    }

    void StartPppd(int pid) { Tree.Process(pid, "pppd", 5000 + pid, "/usr/sbin/pppd call isp"); }
    void ActivateNm()
    {
        Nm = std::make_unique<TNmMock>();
        if (!Nm->Unavailable().empty())
            return;
        Nm->Activate(Nm->AddProfile("Mobil", "gsm"), Nm->AddDevice("wwan0", "ttyUSB2", "ppp0"), "1", 2);
        ASSERT_TRUE(TNmBus::Shared().SyncForTests());
    }

    TPppTree Tree;
    std::unique_ptr<TNmMock> Nm;
    TTempDir Folder;
    TRasService Service{Folder.Path()};
};

// Each of the service's files replaced by each kind of file that is not one: every use of it
// fails with the reason, nothing replaces it, and once it is gone the next poll works again.
TEST_F(ServiceFileSafetyTest, SpecialAndOversizedFilesAreRefusedAndKept)
{
    ActivateNm();
    struct TKind {
        const char* Name;
        const char* What;
        size_t Cap;
        std::vector<std::function<void()>> Uses;
    };
    const TKind kinds[] = {
        {"rasphone.pbk", "phonebook", kMaxPhonebookBytes,
            {[&] { Service.Phonebook(); },
                [&] {
                    Service.AddEntry({"New", "modem", "Modem", 56000, ""});
                },
                [&] { Service.Dial("Provider", {}, T0); }}},
        {"connections", "connection table", kMaxTableBytes,
            {[&] { Service.Connections(T0); }, [&] { Service.Dial("Provider", {}, T0); },
                [&] { Service.HangUp(0x00010001, T0); }}},
        {"ppp-links", "pppd link file", kMaxPppLinksBytes, {[&] { Service.Connections(T0); }}},
        {"nm-links", "NetworkManager link file", kMaxNmLinksBytes, {[&] { Service.Connections(T0); }}},
    };
    struct TSpecial {
        const char* What;
        std::function<void(const std::string& path, size_t cap)> Make;
        std::string Reason;
        mode_t Type;
    };
    const TSpecial specials[] = {
        {"named pipe", [](const std::string& path, size_t) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); },
            "it is a named pipe, not a regular file", S_IFIFO},
        {"link to /dev/zero",
            [](const std::string& path, size_t) { ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0); },
            "it is a device, not a regular file", S_IFLNK},
        {"folder", [](const std::string& path, size_t) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0); },
            "it is a folder, not a regular file", S_IFDIR},
        {"file one byte too large",
            [](const std::string& path, size_t cap) {
                ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(cap + 1)), 0);
            },
            "", S_IFREG},
    };
    for (const TKind& kind : kinds) {
        if (std::string(kind.Name) == "nm-links" && !Nm->Unavailable().empty()) {
            std::cout << "No NetworkManager double for nm-links: " << Nm->Unavailable() << "\n";
            continue;
        }
        const std::string path = Folder.File(kind.Name);
        for (const TSpecial& special : specials) {
            SCOPED_TRACE(std::string(kind.Name) + " as a " + special.What);
            Service.Connections(T0); // every file there as the service writes it
            std::filesystem::remove_all(path);
            if (special.Type == S_IFREG)
                Folder.Write(kind.Name, "");
            special.Make(path, kind.Cap);
            const std::string reason = special.Type == S_IFREG
                ? "it is larger than " + std::to_string(kind.Cap) + " bytes, more than the service ever writes"
                : special.Reason;
            for (const auto& use : kind.Uses)
                EXPECT_EQ(MessageOf<ERasUnreadableFile>(use),
                    std::string("Cannot read the ") + kind.What + " " + path + ": " + reason);
            EXPECT_EQ(Lstat(path).st_mode & S_IFMT, special.Type);
            if (special.Type == S_IFREG) {
                EXPECT_EQ(Lstat(path).st_size, static_cast<off_t>(kind.Cap + 1));
            }

            std::filesystem::remove_all(path);
            if (std::string(kind.Name) == "rasphone.pbk")
                Folder.Write(kind.Name, kPhonebook);
            EXPECT_NO_THROW(Service.Connections(T0));
        }
    }
}

// The replaced file's mode and owner, whichever file the save replaces, as root (which may
// give a file to anyone).
TEST_F(ServiceFileSafetyTest, SavesKeepTheReplacedFilesModeAndOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the files away";
    int pid = 100;
    bool connected = false;
    int entries = 0;
    struct TKind {
        const char* Name;
        std::function<void()> Save;
    };
    const TKind kinds[] = {
        {"rasphone.pbk",
            [&] {
                Service.AddEntry({"Entry " + std::to_string(++entries), "modem", "Modem", 0, ""});
            }},
        {"connections",
            [&] {
                connected ? (void)Service.HangUpEntry("Provider", T0) : (void)Service.Dial("Provider", {}, T0);
                connected = !connected;
            }},
        {"ppp-links",
            [&] {
                // The last pppd ends and another starts: one link more, and later one less.
                Tree.RemoveProcess(pid);
                StartPppd(++pid);
                Service.Connections(T0 + pid * 10000);
            }},
    };
    const struct {
        mode_t Mode;
        uid_t Owner;
        gid_t Group;
    } attributes[] = {{0600, kNobody, kNobody}, {0640, 0, kNobody}, {0604, kNobody, 0}};
    for (const TKind& kind : kinds) {
        const std::string path = Folder.File(kind.Name);
        kind.Save();
        for (const auto& a : attributes) {
            SCOPED_TRACE(std::string(kind.Name) + " of mode " + std::to_string(a.Mode));
            ASSERT_EQ(::chown(path.c_str(), a.Owner, a.Group), 0);
            ASSERT_EQ(::chmod(path.c_str(), a.Mode), 0);
            const std::string before = Folder.Read(kind.Name);
            kind.Save();
            EXPECT_NE(Folder.Read(kind.Name), before) << "not saved";
            const struct stat after = Lstat(path);
            EXPECT_EQ(after.st_mode & 07777, a.Mode);
            EXPECT_EQ(after.st_uid, a.Owner);
            EXPECT_EQ(after.st_gid, a.Group);
        }
    }
}

// rasdial run as another user, with that user's umask, in a folder of theirs: its exit code.
int RasdialAs(uid_t user, mode_t mask, const std::string& folder, std::vector<std::string> args)
{
    // Everything is made before the fork: the child only changes its user and runs rasdial.
    args.insert(args.begin(), RASDIAL_PATH);
    std::vector<std::string> environment{"ZELTIX_RAS_DIR=" + folder};
    for (char** e = environ; *e; ++e)
        environment.emplace_back(*e);
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (std::string& s : strings)
            p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    std::vector<char*> argv = pointers(args), envp = pointers(environment);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(user, user, user) != 0 || ::setresuid(user, user, user) != 0)
            ::_exit(126);
        ::umask(mask);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What a user sees: their 0600 phonebook stays 0600, a new file follows their umask, and a
// group they may not give a file is no failure.
TEST(ServiceFileModesTest, AsAnOrdinaryUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    TTempDir dir;
    ASSERT_EQ(::chown(dir.Path().c_str(), kNobody, kNobody), 0);
    const std::string phonebook = dir.File("rasphone.pbk");

    ASSERT_EQ(RasdialAs(kNobody, 077, dir.Path(), {"--add", "A"}), 0);
    EXPECT_EQ(Lstat(phonebook).st_mode & 07777, 0600u);
    std::filesystem::remove(phonebook);
    ASSERT_EQ(RasdialAs(kNobody, 022, dir.Path(), {"--add", "A"}), 0);
    EXPECT_EQ(Lstat(phonebook).st_mode & 07777, 0644u);

    ASSERT_EQ(::chmod(phonebook.c_str(), 0600), 0);
    ASSERT_EQ(RasdialAs(kNobody, 022, dir.Path(), {"--add", "B"}), 0);
    EXPECT_EQ(Lstat(phonebook).st_mode & 07777, 0600u);
    ASSERT_EQ(RasdialAs(kNobody, 022, dir.Path(), {"A", "--linger", "100000"}), 0);
    ASSERT_EQ(::chmod(dir.File("connections").c_str(), 0600), 0);
    ASSERT_EQ(RasdialAs(kNobody, 022, dir.Path(), {"A", "/DISCONNECT"}), 0);
    EXPECT_EQ(Lstat(dir.File("connections")).st_mode & 07777, 0600u);

    // root's group: the user may not give their new file that group, and saves all the same.
    ASSERT_EQ(::chown(phonebook.c_str(), kNobody, 0), 0);
    ASSERT_EQ(::chmod(phonebook.c_str(), 0640), 0);
    ASSERT_EQ(RasdialAs(kNobody, 022, dir.Path(), {"--add", "C"}), 0);
    EXPECT_EQ(Lstat(phonebook).st_mode & 07777, 0640u);
    EXPECT_EQ(Lstat(phonebook).st_uid, kNobody);
    EXPECT_NE(dir.Read("rasphone.pbk").find("[C]"), std::string::npos);
}

// A link in a file's place is replaced by the saved file, never written through: the file it
// points to outside the folder stays as it was, or is never made.
TEST_F(ServiceFileSafetyTest, LinksInAFilesPlaceAreReplacedNotWrittenThrough)
{
    TTempDir outside;
    outside.Write("phonebook", kPhonebook);
    ASSERT_EQ(::chmod(outside.File("phonebook").c_str(), 0600), 0);
    std::filesystem::remove(Folder.File("rasphone.pbk"));
    ASSERT_EQ(::symlink(outside.File("phonebook").c_str(), Folder.File("rasphone.pbk").c_str()), 0);
    ASSERT_EQ(::symlink(outside.File("table").c_str(), Folder.File("connections").c_str()), 0);

    EXPECT_EQ(Service.FindEntry("Provider")->DeviceName, "Modem"); // read through the link
    Service.AddEntry({"Other", "modem", "Modem", 0, ""});
    Service.Dial("Provider", {}, T0);

    EXPECT_EQ(outside.Read("phonebook"), kPhonebook);
    EXPECT_FALSE(outside.Exists("table"));
    EXPECT_TRUE(S_ISREG(Lstat(Folder.File("rasphone.pbk")).st_mode));
    EXPECT_EQ(Lstat(Folder.File("rasphone.pbk")).st_mode & 07777, 0600u); // the mode the user saw
    EXPECT_TRUE(S_ISREG(Lstat(Folder.File("connections")).st_mode));
}

// A save killed between its write and its rename leaves its temporary file; the next save of
// any of the service's files removes it, and nothing else: not names that only look alike, not
// a folder or link of that name.
TEST_F(ServiceFileSafetyTest, LeftoversOfKilledSavesGoAtTheNextSave)
{
    const std::string table = Folder.File("connections");
    const pid_t child = ::fork();
    if (child == 0) {
        SetServiceSaveHookForTests([](const std::string&) { ::kill(::getpid(), SIGKILL); });
        SaveServiceFile(table, "never renamed");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::vector<std::string> leftovers = ServiceSaveLeftovers(Folder.Path());
    ASSERT_EQ(leftovers.size(), 1u);
    EXPECT_EQ(leftovers[0].substr(0, table.size() + 8), table + ".saving-");
    EXPECT_FALSE(Folder.Exists("connections"));

    const char* alike[] = {"connections.saving-abcde", "connections.saving-abcdefg", "connections.saving-abc-ef",
        "connections.AbCd12", "other.saving-AbCd12", "connections.saving-AbCd12.bak", "xconnections.saving-AbCd12"};
    for (const char* name : alike)
        Folder.Write(name, "mine");
    ASSERT_EQ(::mkdir(Folder.File("connections.saving-Folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("/nowhere", Folder.File("nm-links.saving-Link12").c_str()), 0);

    Service.AddEntry({"Other", "modem", "Modem", 0, ""}); // a save of the phonebook
    EXPECT_TRUE(ServiceSaveLeftovers(Folder.Path()).empty());
    EXPECT_FALSE(Folder.Exists(leftovers[0].substr(Folder.Path().size() + 1)));
    for (const char* name : alike)
        EXPECT_EQ(Folder.Read(name), "mine") << name;
    EXPECT_TRUE(S_ISDIR(Lstat(Folder.File("connections.saving-Folder")).st_mode));
    EXPECT_TRUE(S_ISLNK(Lstat(Folder.File("nm-links.saving-Link12")).st_mode));
}

// The table never grows past what its reader accepts: the largest table the service writes,
// every name at its record length and escaped, is read, and a dial beyond it is refused.
TEST(ServiceTableLimitTest, TheFullestTableIsReadAndADialBeyondItRefused)
{
    TConnectionTable table;
    for (size_t i = 0; i < kMaxConnections; ++i)
        table.Records.push_back({static_cast<HRASCONN>(table.NextHandle++), std::string(RAS_MaxEntryName, '%'),
            std::string(RAS_MaxDeviceType, '%'), std::string(RAS_MaxDeviceName, '%'), UINT32_MAX, T0, kMaxDurationMs,
            INT32_MIN, UINT32_MAX, T0, kMaxDurationMs});
    const std::string bytes = SerializeConnectionTable(table);
    ASSERT_LE(bytes.size(), kMaxTableBytes);
    TTempDir dir;
    dir.Write("rasphone.pbk", kPhonebook);
    dir.Write("connections", bytes);
    TRasService service(dir.Path());

    EXPECT_EQ(service.Connections(T0).size(), kMaxConnections);
    EXPECT_EQ(MessageOf<ERasService>([&] { service.Dial("Provider", {}, T0); }),
        "The connection table is full: 1000 connections are dialled or still listed as hung up");
    EXPECT_EQ(dir.Read("connections"), bytes);
}

} // namespace
