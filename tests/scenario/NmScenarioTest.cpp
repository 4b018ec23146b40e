#include "app/Dialogs.h"
#include "app/HistoryModel.h"
#include "app/Program.h"
#include "app/Seams.h"
#include "app/TariffModel.h"
#include "app/ZeltixFrm.h"
#include "platform/Seams.h"
#include "ras/service/NmBus.h"
#include "ras/service/RasRecords.h"
#include "tests/app/ApplicationScope.h"
#include "tests/scenario/ProgramEnvironment.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/FormatLocaleScope.h"
#include "tests/support/NmMock.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/PppTree.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RasLibrary.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <functional>

namespace {

// Calls the loaded library until it shows what is asked for: its poll waits only a few
// milliseconds for NetworkManager's answers, and later polls take them in.
bool LibraryShows(const std::function<bool(void* library)>& seen)
{
    const std::string path = RasLibraryPath();
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); // the program's own, loaded already
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool shown = false;
    while (!(shown = seen(library)) && std::chrono::steady_clock::now() < deadline) {
    }
    ::dlclose(library);
    return shown;
}

// The whole program watching a GSM connection of NetworkManager: priced minute by minute, and
// deactivated through NetworkManager once the user unticks its entry.
TEST(NmScenarioTest, AGsmConnectionIsPricedAndDeactivatedWhenItsEntryIsUnticked)
{
    TNmMock mock;
    if (!mock.Unavailable().empty())
        GTEST_SKIP() << "No NetworkManager double: " << mock.Unavailable();
    TFakeServiceEnvironment environment;
    ASSERT_TRUE(environment.GermanFormats.Ok());
    const TTempDir& programFolder = environment.ProgramFolder;
    TFakeClock& clock = environment.Clock;
    TPppTree& tree = environment.Tree;

    programFolder.Write("conns.ini", "[Mobil]\r\nKosten=2,50\r\n");
    tree.Interface("ppp0", "unknown", 0x10d1, 1200, 34000, true);
    const std::string device = mock.AddDevice("wwan0", "ttyUSB2", "ppp0");
    const std::string active = mock.Activate(mock.AddProfile("Mobil", "gsm"), device, "1", kActivated);
    // Both copies of the service, the loaded library's and the link statistics' in the
    // program, have NetworkManager's state before the program's first poll; the library has
    // seen the connection, as a rasdial started before the program would have.
    ASSERT_TRUE(TNmBus::Shared().SyncForTests());
    ASSERT_TRUE(LibraryShows([](void* library) {
        RASCONNA records[4] = {};
        records[0].dwSize = sizeof(RASCONNA);
        DWORD bytes = sizeof records, count = 0;
        auto enumerate = reinterpret_cast<TRasEnumConnectionsA>(::dlsym(library, "RasEnumConnectionsA"));
        return enumerate(records, &bytes, &count) == 0 && count == 1;
    }));
    {
        std::unique_ptr<TForm1> form = CreateMainWindow();
        ASSERT_NE(form, nullptr);
        const int tariff = form->FindTariffRow("Mobil");
        ASSERT_GE(tariff, 0);

        RunEventLoopFor(clock, 1000);
        EXPECT_EQ(form->StatusText(), "Mobil: Verbunden");
        ASSERT_EQ(form->History->Count(), 1);
        EXPECT_EQ(form->History->Text(0, hcCost), "2,50");
        RunEventLoopFor(clock, 60000);
        EXPECT_EQ(form->History->Text(0, hcDuration), "00:01:00");
        EXPECT_EQ(form->History->Text(0, hcCost), "5,00");
        EXPECT_EQ(form->Label3->text(), "Empfangene Bytes: 34000");

        // Unticked: the program hangs up, which NetworkManager is asked to do.
        form->Tariffs->SetTicked(tariff, false);
        RunEventLoopFor(clock, 1000);
        EXPECT_TRUE(form->StatusText().endsWith(" - Verbindungsversuch zu Mobil abgebrochen!"))
            << form->StatusText().toStdString();
        RunEventLoopFor(clock, 2000);
        EXPECT_FALSE(form->Online);
        EXPECT_EQ(form->History->Count(), 1);
        form->close();
    }
    const std::vector<std::string> calls = mock.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "DeactivateConnection " + active), calls.end());
    const std::string log = programFolder.Read("Protokol.txt");
    EXPECT_NE(log.find("] Verbindung zu Mobil aufgenommen!\r\n  DeviceName: ttyUSB2\r\n  DeviceType: modem\r\n"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("] Verbindung zu Mobil getrennt!\r\n"), std::string::npos) << log;
    EXPECT_FALSE(programFolder.Exists("error.log"));
}

} // namespace
