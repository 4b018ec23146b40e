// The service's own files against what a user's folder may hold in their place: special and
// oversized files are refused with a message and kept. Real special files.

#include "ras/service/NmBus.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "ras/service/ServiceFile.h"
#include "tests/support/NmMock.h"
#include "tests/support/PppTree.h"
#include "tests/support/Raised.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
const std::string kPhonebook = "[Provider]\r\nDEVICE=modem\r\nDevice=Modem\r\nSpeed=56000\r\n";

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

} // namespace
