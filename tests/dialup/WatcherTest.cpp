#include "dialup/DialUp.h"

#include "base/Ansi.h"
#include "base/Exceptions.h"
#include "dialup/RasBinding.h"
#include "dialup/Seams.h"
#include "platform/Library.h"
#include "platform/Seams.h"
#include "ras/service/RasService.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/RasLibrary.h"
#include "tests/support/SeamScope.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TReport {
    QObject* Sender;
    int Handle;
    TRasConnStatusA Status;
    QString StatusString;
    std::string EntryName, DeviceType, DeviceName;
};

// TDialUp against the real stand-in library, with a phonebook and connections of its own.
// The stand-in service's clock is the fixture's: time moves only when a test moves it.
class WatcherTest : public TRasLibraryTest {
protected:
    void SetUp() override
    {
        TRasLibraryTest::SetUp();
        DialUpShared->RasBinding = {};
        Seams->LibrarySearchPath = {RASAPI32_DIR};
        PlatformLibrary = LoadLibraryA("rasapi32.dll");
        ASSERT_NE(PlatformLibrary, nullptr);

        DialUp->OnEntryGet = [this](QObject* Sender, const char* EntryName) {
            EXPECT_EQ(Sender, DialUp);
            EntryEvents.emplace_back(EntryName);
        };
        DialUp->OnActiveConnection = [this](QObject* Sender, int Handle, TRasConnStatusA& Status,
                                         const QString& StatusString, const char* EntryName, const char* DeviceType,
                                         const char* DeviceName) {
            Reports.push_back({Sender, Handle, Status, StatusString, EntryName, DeviceType, DeviceName});
        };
    }

    void TearDown() override
    {
        FreeLibrary(PlatformLibrary);
        TRasLibraryTest::TearDown();
    }

    void AddEntry(const std::string& name) { Service.AddEntry({name, "modem", "Standard Modem", 56000, "0191011"}); }

    HRASCONN Dial(const std::string& entry, TDialOptions options = {}) { return Service.Dial(entry, options, Now); }

    static QString PlatformText(UINT error)
    {
        auto getErrorString =
            reinterpret_cast<TRasGetErrorStringA>(GetProcAddress(PlatformLibrary, "RasGetErrorStringA"));
        char text[101] = {};
        getErrorString(error, text, 100);
        return AnsiToString(text);
    }

    TPlatformSeamScope Seams;
    TSeamScope<TDialUpSeams> DialUpShared{DialUpSeams()};
    TRasService Service{Folder.Path()};
    static inline HMODULE PlatformLibrary = nullptr;

    QObject Owner;
    TDialUp* DialUp = new TDialUp(&Owner);
    std::vector<std::string> EntryEvents;
    std::vector<TReport> Reports;
};

TEST_F(WatcherTest, EmptyPhonebookGivesNoEntries)
{
    EXPECT_EQ(DialUp->GetEntries(), 0);
    EXPECT_TRUE(DialUp->Entries().isEmpty());
    EXPECT_TRUE(EntryEvents.empty());
}

TEST_F(WatcherTest, EntriesArriveInPhonebookOrderWholeAndUnconverted)
{
    const std::string longName(256, 'L');
    AddEntry("T-Online");
    AddEntry("Caf\xE9 Net");
    AddEntry(longName);

    for (int call = 0; call < 2; ++call) {
        EntryEvents.clear();
        EXPECT_EQ(DialUp->GetEntries(), 0);
        EXPECT_EQ(DialUp->Entries(),
            QStringList({"T-Online", QString::fromUtf8("Café Net"), QString::fromStdString(longName)}));
        EXPECT_EQ(EntryEvents, (std::vector<std::string>{"T-Online", "Caf\xE9 Net", longName}));
    }
}

TEST_F(WatcherTest, MoreThanAHundredEntriesGiveBufferTooSmallAndNoEntries)
{
    AddEntry("Entry 0");
    ASSERT_EQ(DialUp->GetEntries(), 0);
    ASSERT_EQ(DialUp->Entries().size(), 1);
    for (int i = 1; i <= 100; ++i)
        AddEntry("Entry " + std::to_string(i));

    EntryEvents.clear();
    EXPECT_EQ(DialUp->GetEntries(), static_cast<int>(ERROR_BUFFER_TOO_SMALL));
    EXPECT_TRUE(DialUp->Entries().isEmpty());
    EXPECT_TRUE(EntryEvents.empty());
}

TEST_F(WatcherTest, NoConnectionGivesCountZeroAndNoEvent)
{
    int Count = 99;
    EXPECT_EQ(DialUp->GetActiveConnections(Count), 0);
    EXPECT_EQ(Count, 0);
    EXPECT_TRUE(Reports.empty());
}

TEST_F(WatcherTest, DialingConnectionIsReportedOnEveryCall)
{
    AddEntry("Arcor");
    TDialOptions options;
    options.PinnedState = RASCS_Authenticate;
    const HRASCONN handle = Dial("Arcor", options);

    int Count = 0;
    EXPECT_EQ(DialUp->GetActiveConnections(Count), 0);
    EXPECT_EQ(DialUp->GetActiveConnections(Count), 0);
    EXPECT_EQ(Count, 1);
    ASSERT_EQ(Reports.size(), 2u);
    for (const TReport& report : Reports) {
        EXPECT_EQ(report.Sender, DialUp);
        EXPECT_EQ(report.Handle, static_cast<int>(handle));
        EXPECT_EQ(report.Status.dwSize, 160u);
        EXPECT_EQ(report.Status.rasconnstate, RASCS_Authenticate);
        EXPECT_EQ(report.Status.dwError, 0u);
        EXPECT_EQ(report.StatusString, "Start authenticating");
        EXPECT_EQ(report.EntryName, "Arcor");
        EXPECT_EQ(report.DeviceType, "modem");
        EXPECT_EQ(report.DeviceName, "Standard Modem");
    }
}

TEST_F(WatcherTest, ConnectionsAreReportedInEnumerationOrderWithTheirStates)
{
    AddEntry("First");
    AddEntry("Second");
    const HRASCONN first = Dial("First");
    Now += 60'000;
    TDialOptions pinned;
    pinned.PinnedState = RASCS_OpenPort;
    const HRASCONN second = Dial("Second", pinned);
    DialUp->SetLanguage(ralgGerman);

    int Count = 0;
    EXPECT_EQ(DialUp->GetActiveConnections(Count), 0);
    EXPECT_EQ(Count, 2);
    ASSERT_EQ(Reports.size(), 2u);
    EXPECT_EQ(Reports[0].Handle, static_cast<int>(first));
    EXPECT_EQ(Reports[0].Status.rasconnstate, RASCS_Connected);
    EXPECT_EQ(Reports[0].StatusString, "Verbunden");
    EXPECT_EQ(Reports[1].Handle, static_cast<int>(second));
    EXPECT_EQ(Reports[1].EntryName, "Second");
    EXPECT_EQ(Reports[1].StatusString, QString::fromUtf8("Anschluss wird geöffnet"));
}

TEST_F(WatcherTest, ErrorCodeInTheStatusGivesThePlatformText)
{
    AddEntry("Arcor");
    TDialOptions options;
    options.Error = ERROR_NO_ANSWER;
    Dial("Arcor", options);

    int Count = 0;
    EXPECT_EQ(DialUp->GetActiveConnections(Count), 0);
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports[0].Status.dwError, ERROR_NO_ANSWER);
    EXPECT_FALSE(PlatformText(ERROR_NO_ANSWER).isEmpty());
    EXPECT_EQ(Reports[0].StatusString, PlatformText(ERROR_NO_ANSWER));
}

TEST_F(WatcherTest, UnassignedEventStillEnumeratesAndSucceeds)
{
    AddEntry("Arcor");
    Dial("Arcor");
    DialUp->OnActiveConnection = nullptr;
    int Count = 0;
    EXPECT_EQ(DialUp->GetActiveConnections(Count), 0);
    EXPECT_EQ(Count, 1);
}

TEST_F(WatcherTest, HangUpWaitsForTheHandleToGoAndHandlesEventsMeanwhile)
{
    AddEntry("Arcor");
    const HRASCONN handle = Dial("Arcor");
    Now += 60'000;

    bool queuedHandled = false;
    QTimer::singleShot(0, &Owner, [&] { queuedHandled = true; });
    // The poll timer during the wait: it reports the connection and lets time pass.
    int ticks = 0;
    QTimer pollTimer;
    pollTimer.setInterval(0);
    QObject::connect(&pollTimer, &QTimer::timeout, &Owner, [&] {
        ++ticks;
        int Count = 0;
        DialUp->GetActiveConnections(Count);
        Now += 500;
    });
    pollTimer.start();

    EXPECT_EQ(DialUp->HangUp(static_cast<int>(handle)), 0);
    pollTimer.stop();

    EXPECT_TRUE(queuedHandled);
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(Service.Find(handle, Now).has_value());
    ASSERT_FALSE(Reports.empty());
    EXPECT_EQ(Reports.front().Status.rasconnstate, RASCS_Disconnected);
}

TEST_F(WatcherTest, HangUpWaitEndsWhenTheProgramIsClosedMeanwhile)
{
    AddEntry("Arcor");
    const HRASCONN handle = Dial("Arcor");
    Now += 60'000;

    // "Beenden" (or a logout) comes while the line is still being freed. Should the wait not
    // end, the line is freed after a while and the expectations below say so.
    int ticks = 0;
    QTimer pollTimer;
    pollTimer.setInterval(0);
    QObject::connect(&pollTimer, &QTimer::timeout, &Owner, [&] {
        if (++ticks == 3)
            QCoreApplication::quit();
        if (ticks == 1000)
            Now += 60'000;
    });
    int result = -1;
    QTimer::singleShot(0, &Owner, [&] {
        pollTimer.start();
        result = DialUp->HangUp(static_cast<int>(handle));
        pollTimer.stop();
    });
    QCoreApplication::exec();

    EXPECT_EQ(result, 0);
    EXPECT_LT(ticks, 1000);
    EXPECT_TRUE(Service.Find(handle, Now).has_value()) << "the line is still being freed";
}

TEST_F(WatcherTest, HangUpOfAnUnknownHandleReturnsAtOnce)
{
    bool queuedHandled = false;
    QTimer::singleShot(0, &Owner, [&] { queuedHandled = true; });
    EXPECT_EQ(DialUp->HangUp(4711), static_cast<int>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(queuedHandled);
}

TEST_F(WatcherTest, MissingLibraryRaisesOutOfEveryOperation)
{
    AddEntry("Arcor");
    ASSERT_EQ(DialUp->GetEntries(), 0);
    Seams->LibrarySearchPath = {std::string(FAKE_RAS_DIR) + "/missing"};
    DialUpShared->RasBinding = {};

    int Count = 0;
    EXPECT_THROW(DialUp->GetEntries(), Exception);
    EXPECT_TRUE(DialUp->Entries().isEmpty()) << "cleared before the library is asked";
    EXPECT_THROW(DialUp->GetActiveConnections(Count), Exception);
    EXPECT_THROW(DialUp->HangUp(1), Exception);
}

} // namespace
