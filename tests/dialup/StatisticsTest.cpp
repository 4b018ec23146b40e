#include "tests/dialup/StatisticsFixture.h"

#include <QCoreApplication>
#include <QTimer>

#include <string>
#include <vector>

namespace {

// The adapter statistics of a Windows 9x machine, as the test sets them.
class AdapterStatisticsTest : public StatisticsTest {
protected:
    void SetUp() override
    {
        StatisticsTest::SetUp();
        Table.Objects = {"KERNEL", "Dial-Up Adapter"};
        Table.Values = {{"KERNEL\\CPUUsage", PerfStatBytes(3)}};
        SetCounters("Dial-Up Adapter", 1000, 2000, 28800);
        Seams->PerfStats = &Table;
    }

    void SetCounters(const std::string& Adapter, DWORD Xmit, DWORD Recvd, DWORD Speed)
    {
        SetValue(Adapter + "\\TotalBytesXmit", PerfStatBytes(Xmit));
        SetValue(Adapter + "\\TotalBytesRecvd", PerfStatBytes(Recvd));
        SetValue(Adapter + "\\ConnectSpeed", PerfStatBytes(Speed));
    }

    void SetValue(const std::string& Name, const std::string& Bytes)
    {
        for (auto& Value : Table.Values)
            if (Value.first == Name) {
                Value.second = Bytes;
                return;
            }
        Table.Values.emplace_back(Name, Bytes);
    }

    void RemoveValue(const std::string& Name)
    {
        std::erase_if(Table.Values, [&](const auto& Value) { return Value.first == Name; });
    }

    TPerfStatsTable Table;
};

TEST_F(AdapterStatisticsTest, CreationListsTheAdaptersThatCountASpeed)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(DialUp->DUNA(), QStringList{"Dial-Up Adapter"});
    EXPECT_TRUE(DialUp->DUNA_Key().isEmpty());
}

TEST_F(AdapterStatisticsTest, BytesCountFromTheMomentTheConnectionWasSeen)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    EXPECT_EQ(DialUp->DUNA_Key(), "Dial-Up Adapter");
    EXPECT_EQ(DialUp->BytesXmit(), 0u);
    EXPECT_EQ(DialUp->BytesRecv(), 0u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 0u);
    EXPECT_EQ(TStatisticsProbe::BaseBytesXmit(*DialUp), 1000u);
    EXPECT_EQ(TStatisticsProbe::BaseBytesRecv(*DialUp), 2000u);

    SetCounters("Dial-Up Adapter", 1500, 2600, 28800);
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 500u);
    EXPECT_EQ(DialUp->BytesRecv(), 600u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 28800u);
}

struct TBaselineCase {
    DWORD Xmit, Recvd;
    DWORD ExpectedXmit, ExpectedRecv;
    DWORD BaseXmit, BaseRecv;
};

TEST_F(AdapterStatisticsTest, CountersBelowTheBaselineStartBothCountsAgain)
{
    // Baseline 1000 sent, 2000 received.
    const std::vector<TBaselineCase> Cases = {
        {1500, 2600, 500, 600, 1000, 2000},
        {1000, 2000, 0, 0, 1000, 2000},
        {400, 2600, 0, 0, 400, 2600},   // sent went back
        {1500, 1500, 0, 0, 1500, 1500}, // received went back
        {0, 0, 0, 0, 0, 0},
    };
    for (const TBaselineCase& Case : Cases) {
        SCOPED_TRACE(std::to_string(Case.Xmit) + "/" + std::to_string(Case.Recvd));
        SetCounters("Dial-Up Adapter", 1000, 2000, 28800);
        TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
        ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));

        SetCounters("Dial-Up Adapter", Case.Xmit, Case.Recvd, 28800);
        EXPECT_TRUE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), Case.ExpectedXmit);
        EXPECT_EQ(DialUp->BytesRecv(), Case.ExpectedRecv);
        EXPECT_EQ(DialUp->ConnectionSpeed(), 28800u);
        EXPECT_EQ(TStatisticsProbe::BaseBytesXmit(*DialUp), Case.BaseXmit);
        EXPECT_EQ(TStatisticsProbe::BaseBytesRecv(*DialUp), Case.BaseRecv);

        // Counting goes on from the new baseline.
        SetCounters("Dial-Up Adapter", Case.Xmit + 50, Case.Recvd + 70, 28800);
        EXPECT_TRUE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), Case.ExpectedXmit + 50);
        EXPECT_EQ(DialUp->BytesRecv(), Case.ExpectedRecv + 70);
        delete DialUp;
    }
}

TEST_F(AdapterStatisticsTest, AdaptersAreSortedAndTheFirstIsRead)
{
    Table.Objects = {"Dial-Up Adapter #2", "KERNEL", "Dial-Up Adapter"};
    SetCounters("Dial-Up Adapter #2", 9000, 9000, 64000);
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(DialUp->DUNA(), (QStringList{"Dial-Up Adapter", "Dial-Up Adapter #2"}));

    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    EXPECT_EQ(DialUp->DUNA_Key(), "Dial-Up Adapter");
    SetCounters("Dial-Up Adapter", 1100, 2200, 28800);
    ASSERT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 100u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 28800u);
}

TEST_F(AdapterStatisticsTest, SortingIgnoresLetterCase)
{
    Table.Objects = {"dial-up adapter #2", "Dial-Up Adapter"};
    SetCounters("dial-up adapter #2", 1, 1, 1);
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(DialUp->DUNA(), (QStringList{"Dial-Up Adapter", "dial-up adapter #2"}));
}

TEST_F(AdapterStatisticsTest, ANameTooLongToReadIsNotTakenForThePreviousOne)
{
    const std::string Long(33, 'L');
    Table.Objects = {"Dial-Up Adapter", Long};
    SetCounters(Long, 1, 1, 1);
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(DialUp->DUNA(), QStringList{"Dial-Up Adapter"});

    // Thirty-two characters still fit.
    Table.Objects = {"Dial-Up Adapter", Long.substr(0, 32)};
    SetCounters(Long.substr(0, 32), 1, 1, 1);
    EXPECT_TRUE(DialUp->GetDUNA());
    EXPECT_EQ(DialUp->DUNA().size(), 2);
}

TEST_F(AdapterStatisticsTest, WithoutAnAdapterNoBaselineIsTaken)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    SetCounters("Dial-Up Adapter", 1500, 2600, 28800);
    ASSERT_TRUE(DialUp->GetStatistics());

    Table.Objects = {"KERNEL"};
    EXPECT_FALSE(DialUp->SwitchStatistics(true, true, 8, "Other"));
    EXPECT_TRUE(DialUp->DUNA().isEmpty());
    EXPECT_EQ(TStatisticsProbe::BaseBytesXmit(*DialUp), 1000u);
    EXPECT_EQ(DialUp->BytesXmit(), 500u);
    EXPECT_EQ(DialUp->BytesRecv(), 600u);
    EXPECT_EQ(TStatisticsProbe::StatHandle(*DialUp), 8);
    // The stale key still names the adapter's values, which are still there.
    EXPECT_EQ(DialUp->DUNA_Key(), "Dial-Up Adapter");
}

TEST_F(AdapterStatisticsTest, AMissingCounterFailsTheReadAndKeepsTheValues)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    SetCounters("Dial-Up Adapter", 1500, 2600, 28800);
    ASSERT_TRUE(DialUp->GetStatistics());

    SetCounters("Dial-Up Adapter", 1700, 2900, 28800);
    RemoveValue("Dial-Up Adapter\\TotalBytesRecvd");
    EXPECT_FALSE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 500u);
    EXPECT_EQ(DialUp->BytesRecv(), 600u);
    // The counter read before the failure keeps its new value.
    EXPECT_EQ(TStatisticsProbe::RawBytesXmit(*DialUp), 1700u);
    EXPECT_EQ(TStatisticsProbe::RawBytesRecv(*DialUp), 2600u);
    // Starting the counters reads the same values, so it fails as well.
    EXPECT_FALSE(DialUp->SwitchStatistics(true, false, 7, ModemName));
}

TEST_F(AdapterStatisticsTest, AValueLongerThanFourBytesFails)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    SetValue("Dial-Up Adapter\\ConnectSpeed", std::string(8, '\1'));
    EXPECT_FALSE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->ConnectionSpeed(), 0u);
}

TEST_F(AdapterStatisticsTest, StoppingReadsTheStopKeyAndDoesNotReadTheCounters)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    SetCounters("Dial-Up Adapter", 1500, 2600, 28800);
    ASSERT_TRUE(DialUp->GetStatistics());

    SetCounters("Dial-Up Adapter", 1800, 2900, 28800);
    EXPECT_TRUE(DialUp->SwitchStatistics(false, false, 7, ModemName));
    EXPECT_EQ(DialUp->BytesXmit(), 0u);
    // No read, so the baseline is the raw count of the last read.
    EXPECT_EQ(TStatisticsProbe::BaseBytesXmit(*DialUp), 1500u);
}

TEST_F(AdapterStatisticsTest, ReadingDoesNotLetEventsRun)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    bool Ran = false;
    QTimer::singleShot(0, &Owner, [&] { Ran = true; });
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_FALSE(Ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Ran);
}

TEST_F(AdapterStatisticsTest, OtherPlatformsLeaveTheAdapterListAlone)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_EQ(DialUp->DUNA().size(), 1);
    Table.Objects = {"KERNEL"};
    for (int Platform : {0, 2, 3}) {
        Seams->PlatformId = Platform;
        EXPECT_FALSE(DialUp->GetDUNA());
        EXPECT_EQ(DialUp->DUNA(), QStringList{"Dial-Up Adapter"});
    }
    Seams->PlatformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_TRUE(DialUp->GetDUNA());
    EXPECT_TRUE(DialUp->DUNA().isEmpty());
}

TEST_F(AdapterStatisticsTest, Win32sReportsFailureAndOnlyRemembersTheConnection)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, 7, ModemName));
    SetCounters("Dial-Up Adapter", 1500, 2600, 28800);
    ASSERT_TRUE(DialUp->GetStatistics());

    Seams->PlatformId = VER_PLATFORM_WIN32s;
    SetCounters("Dial-Up Adapter", 1, 2, 3);
    EXPECT_FALSE(DialUp->SwitchStatistics(true, true, 9, "ISDN"));
    EXPECT_FALSE(DialUp->GetStatistics());
    EXPECT_EQ(TStatisticsProbe::StatHandle(*DialUp), 9);
    EXPECT_EQ(TStatisticsProbe::StatDeviceName(*DialUp), "ISDN");
    EXPECT_EQ(DialUp->BytesXmit(), 500u);
    EXPECT_EQ(DialUp->BytesRecv(), 600u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 28800u);
    EXPECT_EQ(DialUp->DUNA(), QStringList{"Dial-Up Adapter"});
    EXPECT_EQ(DialUp->DUNA_Key(), "Dial-Up Adapter");
    EXPECT_EQ(TStatisticsProbe::BaseBytesXmit(*DialUp), 1000u);
    EXPECT_EQ(TStatisticsProbe::RawBytesXmit(*DialUp), 1500u);
}

// Against the statistics the platform draws from the stand-in dial-up service.

TEST_F(StatisticsTest, AdapterCountsFollowTheServicesConnection)
{
    const HRASCONN Handle = DialConnected();
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, static_cast<int>(Handle), ModemName));
    const TConnectionView AtStart = View(Handle);

    Clock.AdvanceSeconds(30);
    const TConnectionView Later = View(Handle);
    ASSERT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), static_cast<DWORD>(Later.BytesSent - AtStart.BytesSent));
    EXPECT_EQ(DialUp->BytesRecv(), static_cast<DWORD>(Later.BytesReceived - AtStart.BytesReceived));
    EXPECT_GT(DialUp->BytesRecv(), 0u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 56000u);
}

TEST_F(StatisticsTest, PerformanceDataAndLineFollowTheServicesConnection)
{
    const HRASCONN Handle = DialConnected();
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_NT);
    EXPECT_TRUE(DialUp->DUNA().isEmpty());
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, static_cast<int>(Handle), ModemName));
    EXPECT_EQ(DialUp->BytesXmit(), 0u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 0u);

    Clock.AdvanceSeconds(30);
    const TConnectionView Now = View(Handle);
    ASSERT_TRUE(DialUp->GetStatistics());
    // The platform's counters themselves, not differences from a baseline.
    EXPECT_EQ(DialUp->BytesXmit(), static_cast<DWORD>(Now.BytesSent));
    EXPECT_EQ(DialUp->BytesRecv(), static_cast<DWORD>(Now.BytesReceived));
    EXPECT_GT(DialUp->BytesXmit(), 0u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 56000u);
    EXPECT_EQ(DialUpShared->PerfDataBufferSize, 8192u);
}

TEST_F(StatisticsTest, WithNoConnectionTheReadSucceedsWithNothingFound)
{
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_NT);
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 0u);
    EXPECT_EQ(DialUp->BytesRecv(), 0u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 0u);
}

// The telephony lookup of the link speed.

TEST_F(StatisticsTest, LineSpeedIsTheRateOfTheCallOnTheNamedLine)
{
    Service.AddEntry("Fast", "isdn", "AVM ISDN", 64000);
    DialConnected();
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_NT);
    DWORD Speed = 1;
    EXPECT_TRUE(DialUp->GetLineSpeed(ModemName, Speed));
    EXPECT_EQ(Speed, 56000u);

    // A line without a call.
    Speed = 1;
    EXPECT_FALSE(DialUp->GetLineSpeed("AVM ISDN", Speed));
    EXPECT_EQ(Speed, 0u);
}

TEST_F(StatisticsTest, LineNamesMustMatchInLetterCase)
{
    DialConnected();
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_NT);
    for (const char* Name :
        {"standard 56000 bps modem", "STANDARD 56000 BPS MODEM", "Standard 56000 bps Modem ", "Standard", ""}) {
        SCOPED_TRACE(Name);
        DWORD Speed = 1;
        EXPECT_FALSE(DialUp->GetLineSpeed(Name, Speed));
        EXPECT_EQ(Speed, 0u);
    }
}

TEST_F(StatisticsTest, NoCallWhileDialingOrAfterTheHangUp)
{
    Service.AddEntry("Provider", "modem", ModemName, 56000);
    const HRASCONN Handle = Service.Dial("Provider");
    TDialUp* DialUp = Create(VER_PLATFORM_WIN32_NT);
    DWORD Speed = 1;
    EXPECT_FALSE(DialUp->GetLineSpeed(ModemName, Speed));
    EXPECT_EQ(Speed, 0u);

    Clock.AdvanceSeconds(10);
    EXPECT_TRUE(DialUp->GetLineSpeed(ModemName, Speed));
    Service.HangUp(Handle);
    EXPECT_FALSE(DialUp->GetLineSpeed(ModemName, Speed));
    EXPECT_EQ(Speed, 0u);
}

} // namespace
