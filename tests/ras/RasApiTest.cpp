// The built librasapi32.so, loaded as the program loads it, with a fake clock.

#include "ras/service/BoundedFile.h"
#include "ras/service/RasRecords.h"
#include "ras/service/RasService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PppTree.h"
#include "tests/support/RasLibrary.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class RasApiTest : public TRasLibraryTest {
protected:
    static void SetUpTestSuite()
    {
        TRasLibraryTest::SetUpTestSuite();
        EnumEntries = Symbol<TRasEnumEntriesA>("RasEnumEntriesA");
        EnumConnections = Symbol<TRasEnumConnectionsA>("RasEnumConnectionsA");
        GetConnectStatus = Symbol<TRasGetConnectStatusA>("RasGetConnectStatusA");
        HangUp = Symbol<TRasHangUpA>("RasHangUpA");
        GetErrorString = Symbol<TRasGetErrorStringA>("RasGetErrorStringA");
    }

    void SetUp() override
    {
        ASSERT_TRUE(EnumEntries && EnumConnections && GetConnectStatus && HangUp && GetErrorString);
        TRasLibraryTest::SetUp();
    }

    void AddEntry(const std::string& name) { Service.AddEntry({name, "modem", "Standard 56000 bps Modem", 56000, ""}); }

    RASCONNSTATUSA Status(HRASCONN handle, DWORD& result)
    {
        RASCONNSTATUSA status{};
        status.dwSize = sizeof status;
        result = GetConnectStatus(handle, &status);
        return status;
    }

    static inline TRasEnumEntriesA EnumEntries = nullptr;
    static inline TRasEnumConnectionsA EnumConnections = nullptr;
    static inline TRasGetConnectStatusA GetConnectStatus = nullptr;
    static inline TRasHangUpA HangUp = nullptr;
    static inline TRasGetErrorStringA GetErrorString = nullptr;

    TRasService Service{Folder.Path()};
};

TEST_F(RasApiTest, ExportsTheDialUpFunctionsOnly)
{
    EXPECT_EQ(Symbol<void*>("_Z16ResolveRasFolderB5cxx11v"), nullptr);
    EXPECT_EQ(Symbol<void*>("_Z13SameEntryNameSt17basic_string_viewIcSt11char_traitsIcEES2_"), nullptr);
}

TEST_F(RasApiTest, RecordSizesAndPointersAreChecked)
{
    RASENTRYNAMEA names[2]{};
    RASCONNA conns[2]{};
    RASCONNSTATUSA status{};
    DWORD cb = sizeof names, count = 0;
    names[0].dwSize = sizeof(RASENTRYNAMEA) - 4;
    conns[0].dwSize = sizeof(RASCONNA) + 4;
    status.dwSize = 0;
    EXPECT_EQ(EnumEntries(nullptr, nullptr, names, &cb, &count), ERROR_INVALID_SIZE);
    EXPECT_EQ(EnumConnections(conns, &cb, &count), ERROR_INVALID_SIZE);
    EXPECT_EQ(GetConnectStatus(0x00010001, &status), ERROR_INVALID_SIZE);

    names[0].dwSize = sizeof(RASENTRYNAMEA);
    conns[0].dwSize = sizeof(RASCONNA);
    EXPECT_EQ(EnumEntries(nullptr, nullptr, nullptr, &cb, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(EnumEntries(nullptr, nullptr, names, nullptr, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(EnumConnections(conns, &cb, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetConnectStatus(0x00010001, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RasApiTest, EnumEntriesReportsTheSizeNeededAndFillsInFileOrder)
{
    for (int i = 0; i <= 100; ++i)
        AddEntry("Entry " + std::to_string(1000 + i));
    std::vector<RASENTRYNAMEA> names(101);
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD cb = 100 * sizeof(RASENTRYNAMEA), count = 0;
    EXPECT_EQ(EnumEntries(nullptr, nullptr, names.data(), &cb, &count), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cb, 101 * sizeof(RASENTRYNAMEA));
    EXPECT_EQ(count, 101u);

    EXPECT_EQ(EnumEntries(nullptr, nullptr, names.data(), &cb, &count), ERROR_SUCCESS);
    EXPECT_EQ(cb, 101 * sizeof(RASENTRYNAMEA));
    ASSERT_EQ(count, 101u);
    for (int i = 0; i <= 100; ++i) {
        EXPECT_EQ(names[i].dwSize, sizeof(RASENTRYNAMEA));
        EXPECT_STREQ(names[i].szEntryName, ("Entry " + std::to_string(1000 + i)).c_str());
    }
}

TEST_F(RasApiTest, LongEntryNamesArriveWholeOrCutAtTheRecordsLimit)
{
    Folder.Write("rasphone.pbk", "[" + std::string(256, 'a') + "]\r\n[" + std::string(300, 'b') + "]\r\n");
    RASENTRYNAMEA names[2]{};
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD cb = sizeof names, count = 0;
    ASSERT_EQ(EnumEntries(nullptr, nullptr, names, &cb, &count), ERROR_SUCCESS);
    EXPECT_EQ(std::string(names[0].szEntryName), std::string(256, 'a'));
    EXPECT_EQ(std::string(names[1].szEntryName), std::string(256, 'b'));
}

TEST_F(RasApiTest, PhonebookProblemsGiveTheirCodes)
{
    RASENTRYNAMEA names[1]{};
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD cb = sizeof names, count = 99;
    EXPECT_EQ(EnumEntries(nullptr, nullptr, names, &cb, &count), ERROR_SUCCESS); // no file yet
    EXPECT_EQ(count, 0u);

    Folder.Write("rasphone.pbk", "this is no phonebook\n");
    EXPECT_EQ(EnumEntries(nullptr, nullptr, names, &cb, &count), ERROR_CORRUPT_PHONEBOOK);
    std::filesystem::remove(Folder.File("rasphone.pbk"));
    std::filesystem::create_directory(Folder.File("rasphone.pbk"));
    EXPECT_EQ(EnumEntries(nullptr, nullptr, names, &cb, &count), ERROR_CANNOT_OPEN_PHONEBOOK);
}

TEST_F(RasApiTest, DialledConnectionOverFakeTime)
{
    AddEntry("Provider");
    HRASCONN handle = Service.Dial("Provider", {}, T0);
    DWORD result = 0;
    RASCONNSTATUSA status = Status(handle, result);
    EXPECT_EQ(result, ERROR_SUCCESS);
    EXPECT_EQ(status.rasconnstate, RASCS_OpenPort);
    EXPECT_STREQ(status.szDeviceType, "modem");
    EXPECT_STREQ(status.szDeviceName, "Standard 56000 bps Modem");

    Now = T0 + 5000;
    EXPECT_EQ(Status(handle, result).rasconnstate, RASCS_Connected);
    RASCONNA conns[1]{};
    conns[0].dwSize = sizeof(RASCONNA);
    DWORD cb = sizeof conns, count = 0;
    ASSERT_EQ(EnumConnections(conns, &cb, &count), ERROR_SUCCESS);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(cb, sizeof(RASCONNA));
    EXPECT_EQ(conns[0].hrasconn, handle);
    EXPECT_STREQ(conns[0].szEntryName, "Provider");
    EXPECT_STREQ(conns[0].szDeviceType, "modem");

    EXPECT_EQ(HangUp(handle), ERROR_SUCCESS);
    Now = T0 + 6999;
    EXPECT_EQ(HangUp(handle), ERROR_SUCCESS); // again: harmless, the linger does not restart
    EXPECT_EQ(Status(handle, result).rasconnstate, RASCS_Disconnected);
    Now = T0 + 7000;
    Status(handle, result);
    EXPECT_EQ(result, ERROR_INVALID_HANDLE);
    EXPECT_EQ(HangUp(handle), ERROR_INVALID_HANDLE);
    EXPECT_EQ(EnumConnections(conns, &cb, &count), ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
}

TEST_F(RasApiTest, TimeSourceSurvivesUnloadingAndLoadingAgain)
{
    // Far beyond any real clock, so only the fake one sees the connection connected.
    const int64_t future = int64_t{1} << 49;
    AddEntry("Provider");
    HRASCONN handle = Service.Dial("Provider", {}, future);
    Now = future + 5000;

    ASSERT_EQ(::dlclose(Library), 0);
    EXPECT_NE(::dlopen(RASAPI32_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
    SetUpTestSuite();
    DWORD result = 0;
    EXPECT_EQ(Status(handle, result).rasconnstate, RASCS_Connected);
}

TEST_F(RasApiTest, EnumConnectionsSizesAndDamagedTable)
{
    AddEntry("One");
    AddEntry("Two");
    Service.Dial("One", {}, T0);
    Service.Dial("Two", {}, T0);
    RASCONNA conns[1]{};
    conns[0].dwSize = sizeof(RASCONNA);
    DWORD cb = sizeof conns, count = 0;
    EXPECT_EQ(EnumConnections(conns, &cb, &count), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cb, 2 * sizeof(RASCONNA));
    EXPECT_EQ(count, 2u);

    Folder.Write("connections", "ZeltixRasConnections 1\nNextHandle 65539\nConn");
    EXPECT_EQ(EnumConnections(conns, &cb, &count), ERROR_UNKNOWN);
    EXPECT_EQ(HangUp(0x00010001), ERROR_UNKNOWN);
}

// Another process holding the service's lock with read access only (util-linux flock, which
// becomes sleep with the lock held): the calls that need it (a hang-up, a listing with a new
// pppd link to remember) fail as a request that took too long, said once, and work again once
// it is free. rasdial waits as long as it is told, and names the holder too.
TEST_F(RasApiTest, HeldLockFailsTheCallsThatNeedItUntilItIsFree)
{
    AddEntry("Provider");
    const HRASCONN handle = Service.Dial("Provider", {.LingerMs = 100000}, T0);
    TPppTree tree;
    tree.Peer("isp", "/dev/ttyUSB0\n");
    TBackgroundChild holder("/usr/bin/flock", {"--no-fork", Folder.File("ras.lock"), "sleep", "60"}, {}, "/dev/null");
    const std::string comm = "/proc/" + std::to_string(holder.Pid()) + "/comm";
    ASSERT_TRUE(WaitUntil(10000, [&] { return ReadFirstLine(comm) == "sleep"; }));
    tree.Process(100, "pppd", 5000, "/usr/sbin/pppd call isp");
    RASCONNA conns[2]{};
    conns[0].dwSize = sizeof(RASCONNA);
    DWORD cb = sizeof conns, count = 0;
    const std::string busy = "The dial-up service is busy: process " + std::to_string(holder.Pid()) +
        " (sleep) has held its lock " + Folder.File("ras.lock") + " for more than ";

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EnumConnections(conns, &cb, &count), ERROR_REQUEST_TIMEOUT);
    EXPECT_EQ(HangUp(handle), ERROR_REQUEST_TIMEOUT);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "zeltix-ras: " + busy + "250 ms\n");
    const TChildResult rasdial =
        RunChild(RASDIAL_PATH, {"Provider", "/d", "--wait", "0.3"}, {"ZELTIX_RAS_DIR=" + Folder.Path()});
    EXPECT_EQ(rasdial.Err, "rasdial: " + busy + "300 ms\n");

    holder.Signal(SIGKILL);
    ASSERT_GE(holder.WaitForExit(10000), 0);
    ASSERT_EQ(EnumConnections(conns, &cb, &count), ERROR_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(HangUp(handle), ERROR_SUCCESS);
}

TEST_F(RasApiTest, FolderIsResolvedAtEachCall)
{
    AddEntry("Here");
    TTempDir other;
    RASENTRYNAMEA names[1]{};
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD cb = sizeof names, count = 0;
    EnumEntries(nullptr, nullptr, names, &cb, &count);
    EXPECT_EQ(count, 1u);
    ::setenv("ZELTIX_RAS_DIR", other.Path().c_str(), 1);
    EnumEntries(nullptr, nullptr, names, &cb, &count);
    EXPECT_EQ(count, 0u);
}

TEST_F(RasApiTest, ErrorStrings)
{
    char text[256];
    ASSERT_EQ(GetErrorString(ERROR_NO_ANSWER, text, sizeof text), ERROR_SUCCESS);
    EXPECT_STREQ(text, "The remote computer did not answer.");
    for (UINT code : {6u, 87u, 603u, 621u, 623u, 625u, 632u, 635u, 676u, 691u, 797u})
        EXPECT_EQ(GetErrorString(code, text, sizeof text), ERROR_SUCCESS) << code;

    std::memset(text, '#', sizeof text);
    EXPECT_NE(GetErrorString(12345, text, sizeof text), ERROR_SUCCESS);
    EXPECT_EQ(text[0], '#');
    EXPECT_EQ(GetErrorString(ERROR_NO_ANSWER, nullptr, 100), ERROR_INVALID_PARAMETER);

    // The text needs strlen + 1 bytes; one byte less must not be written at all.
    const DWORD needed = std::strlen("The remote computer did not answer.") + 1;
    EXPECT_EQ(GetErrorString(ERROR_NO_ANSWER, text, needed - 1), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(text[0], '#');
    EXPECT_EQ(GetErrorString(ERROR_NO_ANSWER, text, needed), ERROR_SUCCESS);
    EXPECT_EQ(text[needed], '#');
}

} // namespace
