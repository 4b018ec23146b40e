// NetworkManager's connections through the built librasapi32.so and rasdial, with the mock's
// bus named by ZELTIX_SYSTEM_BUS as the program's process would see it.

#include "ras/service/NmLinkTable.h"
#include "ras/service/RasRecords.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/NmMock.h"
#include "tests/support/RasLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace {

class NmLibraryTest : public TRasLibraryTest {
protected:
    void SetUp() override
    {
        if (!Mock.Unavailable().empty())
            GTEST_SKIP() << "No NetworkManager double: " << Mock.Unavailable();
        TRasLibraryTest::SetUp();
        Device = Mock.AddDevice("wwan0", "ttyUSB2", "ppp0");
        Active = Mock.Activate(Mock.AddProfile("Mobil [\xC3\x84]", "gsm"), Device, "1", kActivated);
    }
    // The library's poll waits a few milliseconds at most for NetworkManager's answers, which
    // later polls take in: what the mock was told shows within a few polls.
    static bool Eventually(const std::function<bool()>& seen)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!seen())
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        return true;
    }

    int32_t State(HRASCONN handle)
    {
        RASCONNSTATUSA status = {};
        status.dwSize = sizeof status;
        DWORD result = Symbol<TRasGetConnectStatusA>("RasGetConnectStatusA")(handle, &status);
        return result == 0 ? status.rasconnstate : -static_cast<int32_t>(result);
    }

    TNmMock Mock;
    std::string Device;
    std::string Active;
};

TEST_F(NmLibraryTest, ConnectionIsListedAndHungUpAndRefusalsAreResults)
{
    ASSERT_TRUE(Eventually([&] { return Connections().size() == 1; }));
    std::vector<RASCONNA> records = Connections();
    EXPECT_EQ(records[0].hrasconn, kFirstNmHandle);
    EXPECT_STREQ(records[0].szEntryName, "Mobil [\xC4]");
    EXPECT_STREQ(records[0].szDeviceType, "modem");
    EXPECT_STREQ(records[0].szDeviceName, "ttyUSB2");
    EXPECT_EQ(State(kFirstNmHandle), RASCS_Connected);
    RASENTRYNAMEA names[8] = {};
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD bytes = sizeof names, count = 0;
    ASSERT_EQ(Symbol<TRasEnumEntriesA>("RasEnumEntriesA")(nullptr, nullptr, names, &bytes, &count), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(names[0].szEntryName, "Mobil [\xC4]");

    auto hangUp = Symbol<TRasHangUpA>("RasHangUpA");
    auto errorText = [this](DWORD code, DWORD size) {
        char text[512] = {};
        return Symbol<TRasGetErrorStringA>("RasGetErrorStringA")(code, text, size) == 0 ? std::string(text)
                                                                                        : std::string("(none)");
    };
    // The code's text carries NetworkManager's answer where the caller's buffer holds it.
    struct TCase {
        const char* ErrorName;
        const char* Message;
        DWORD Code;
        const char* Generic;
    };
    for (const TCase& c : {TCase{"org.freedesktop.NetworkManager.PermissionDenied", "Not authorized",
                               ERROR_ACCESS_DENIED, "Access is denied: this user may not end the link."},
             TCase{"org.freedesktop.NetworkManager.Failed", "Busy", ERROR_HANGUP_FAILED,
                 "The connection could not be disconnected."}}) {
        Mock.RefuseDeactivation(c.ErrorName, c.Message);
        EXPECT_EQ(hangUp(kFirstNmHandle), c.Code);
        EXPECT_EQ(errorText(c.Code, 512),
            std::string(c.Generic) +
                " NetworkManager refused to deactivate the connection 0x80000001 (\"Mobil [\xC4]\"): " + c.ErrorName +
                ": " + c.Message);
        EXPECT_EQ(errorText(c.Code, 100), c.Generic);
        EXPECT_EQ(errorText(ERROR_INVALID_HANDLE, 512), "The connection handle is not valid.");
        // Any other call of the library forgets the reason: a later error of that code has none.
        EXPECT_EQ(State(kFirstNmHandle), RASCS_Connected);
        EXPECT_EQ(errorText(c.Code, 512), c.Generic);
    }
    EXPECT_EQ(State(kFirstNmHandle), RASCS_Connected);

    Mock.RefuseDeactivation("", ""); // back to NetworkManager's own
    EXPECT_EQ(hangUp(kFirstNmHandle), 0u);
    EXPECT_EQ(errorText(ERROR_HANGUP_FAILED, 512), "The connection could not be disconnected.");
    std::vector<std::string> calls = Mock.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DeactivateConnection " + Active), 3);
    EXPECT_EQ(State(kFirstNmHandle), RASCS_Disconnected);
    Now = T0 + 2000;
    EXPECT_EQ(State(kFirstNmHandle), -static_cast<int32_t>(ERROR_INVALID_HANDLE));
}

TEST_F(NmLibraryTest, RasdialListsConnectionsAndSendsThemToNmcli)
{
    TChildResult list = RunChild(RASDIAL_PATH, {});
    EXPECT_EQ(list.ExitCode, 0);
    EXPECT_EQ(list.Out, "Mobil [\xC3\x84] 0x80000001 RASCS_Connected\n");
    EXPECT_EQ(list.Err, "");

    TChildResult book = RunChild(RASDIAL_PATH, {"--phonebook"});
    EXPECT_EQ(book.Out, "Mobil [\xC3\x84]: modem, ttyUSB2, 0 bps\n");

    TChildResult dial = RunChild(RASDIAL_PATH, {"Mobil [\xC3\x84]"});
    EXPECT_EQ(dial.ExitCode, 1);
    EXPECT_EQ(dial.Err, "rasdial: \"Mobil [\xC3\x84]\" is a NetworkManager connection: use nmcli\n");

    TChildResult hangUp = RunChild(RASDIAL_PATH, {"mobil [\xC3\xA4]", "/DISCONNECT"});
    EXPECT_EQ(hangUp.ExitCode, 0) << hangUp.Err;
    EXPECT_EQ(hangUp.Out, "Disconnected Mobil [\xC3\x84] (handle 0x80000001)\n");
}

} // namespace
