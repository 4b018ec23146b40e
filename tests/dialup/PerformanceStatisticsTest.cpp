#include "tests/dialup/PerfBlockBuilder.h"
#include "tests/dialup/StatisticsFixture.h"

#include "platform/WinErrors.h"

#include <QTimer>

#include <string>
#include <vector>

namespace {

constexpr DWORD Xmit = RasBytesTransmittedIndex;
constexpr DWORD Recv = RasBytesReceivedIndex;

// The performance data of a Windows NT machine, as the test hands it out.
class PerformanceStatisticsTest : public StatisticsTest {
protected:
    void SetUp() override
    {
        StatisticsTest::SetUp();
        Seams->PerfDataSource = [this](std::string& Bytes) {
            ++Queries;
            Bytes = Data;
            return Answer;
        };
        DialUp = Create(VER_PLATFORM_WIN32_NT);
    }

    // A single object without instances holding the two byte counters.
    static std::string Counters(DWORD Sent, DWORD Received, LONG NumInstances = PERF_NO_INSTANCES)
    {
        return TPerfBlockBuilder().Object({Xmit, Recv}, NumInstances, {{Sent, Received}}).Bytes();
    }

    std::string Data;
    LONG Answer = ERROR_SUCCESS;
    int Queries = 0;
    TDialUp* DialUp = nullptr;
};

TEST_F(PerformanceStatisticsTest, AnObjectWithoutInstancesGivesItsCountersAndTheyNeverDecrease)
{
    for (LONG NumInstances : {PERF_NO_INSTANCES, LONG{0}}) {
        SCOPED_TRACE(NumInstances);
        DialUp->ResetStatistics();
        Data = Counters(5000, 7000, NumInstances);
        EXPECT_TRUE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), 5000u);
        EXPECT_EQ(DialUp->BytesRecv(), 7000u);

        Data = Counters(4000, 6000, NumInstances);
        EXPECT_TRUE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), 5000u);
        EXPECT_EQ(DialUp->BytesRecv(), 7000u);

        Data = Counters(4000, 8000, NumInstances);
        EXPECT_TRUE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), 5000u);
        EXPECT_EQ(DialUp->BytesRecv(), 8000u);
    }
}

TEST_F(PerformanceStatisticsTest, SwitchingResetsWhatWasRead)
{
    Data = Counters(5000, 7000);
    EXPECT_TRUE(DialUp->SwitchStatistics(true, true, 3, ModemName));
    EXPECT_EQ(DialUp->BytesXmit(), 0u);
    EXPECT_EQ(DialUp->BytesRecv(), 0u);
    EXPECT_EQ(TStatisticsProbe::StatHandle(*DialUp), 3);
    EXPECT_EQ(TStatisticsProbe::StatDeviceName(*DialUp), ModemName);
    // The read afterwards finds the same counters again.
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 5000u);
}

TEST_F(PerformanceStatisticsTest, TheLargestValueOverAllInstancesCounts)
{
    struct TCase {
        std::vector<std::vector<DWORD>> Blocks;
        DWORD Sent, Received;
    };
    const std::vector<TCase> Cases = {
        {{{100, 10}, {300, 20}}, 300, 20},
        {{{300, 20}, {100, 10}}, 300, 20},
        {{{7, 900}}, 7, 900},
        {{{1, 1}, {2, 2}, {0xFFFFFFFF, 3}}, 0xFFFFFFFF, 3},
    };
    for (const TCase& Case : Cases) {
        DialUp->ResetStatistics();
        const LONG Instances = static_cast<LONG>(Case.Blocks.size());
        Data = TPerfBlockBuilder().Object({Xmit, Recv}, Instances, Case.Blocks).Bytes();
        EXPECT_TRUE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), Case.Sent);
        EXPECT_EQ(DialUp->BytesRecv(), Case.Received);
    }
}

TEST_F(PerformanceStatisticsTest, CountersAreFoundAmongOthersAndInLaterObjects)
{
    Data = TPerfBlockBuilder()
               .Object({}, PERF_NO_INSTANCES, {})
               .Object({1, 2, 3}, PERF_NO_INSTANCES, {{10, 20, 30}})
               .Object({876, Recv, 878, Xmit}, 2, {{1, 222, 3, 111}, {1, 2, 3, 4}})
               .Bytes();
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 111u);
    EXPECT_EQ(DialUp->BytesRecv(), 222u);
}

TEST_F(PerformanceStatisticsTest, NoByteCountersIsStillASuccessfulRead)
{
    Data = TPerfBlockBuilder().Object({1, 2}, 1, {{5, 6}}).Bytes();
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 0u);
}

TEST_F(PerformanceStatisticsTest, MoreThanFiftyDefinitionsEndTheRead)
{
    for (size_t Count : {50u, 51u}) {
        SCOPED_TRACE(Count);
        DialUp->ResetStatistics();
        std::vector<DWORD> Indexes(Count, 1);
        std::vector<DWORD> Values(Count, 0);
        Indexes[0] = Xmit;
        Values[0] = 4242;
        Data = TPerfBlockBuilder().Object(Indexes, PERF_NO_INSTANCES, {Values}).Bytes();
        EXPECT_EQ(DialUp->GetStatistics(), Count == 50);
        EXPECT_EQ(DialUp->BytesXmit(), Count == 50 ? 4242u : 0u);
    }
}

TEST_F(PerformanceStatisticsTest, FewerThanAHundredBytesChangeNothingButTheSpeed)
{
    const HRASCONN Handle = DialConnected();
    Data = Counters(5000, 7000);
    ASSERT_TRUE(DialUp->SwitchStatistics(true, true, static_cast<int>(Handle), ModemName));
    ASSERT_TRUE(DialUp->GetStatistics());
    ASSERT_EQ(DialUp->ConnectionSpeed(), 56000u);

    // The speed is read first, and the call is gone by now.
    Service.HangUp(Handle);
    Data = Counters(9000, 9000).substr(0, 99);
    EXPECT_FALSE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 5000u);
    EXPECT_EQ(DialUp->BytesRecv(), 7000u);
    EXPECT_EQ(DialUp->ConnectionSpeed(), 0u);

    Data = TPerfBlockBuilder().Bytes() + std::string(100, '\0'); // no objects
    EXPECT_FALSE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 5000u);
}

TEST_F(PerformanceStatisticsTest, AFailedQueryIsNotRead)
{
    Data = Counters(5000, 7000);
    for (LONG Failure : {LONG{ERROR_ACCESS_DENIED}, LONG{ERROR_FILE_NOT_FOUND}, LONG{-1}}) {
        Answer = Failure;
        EXPECT_FALSE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), 0u);
        EXPECT_EQ(DialUp->BytesRecv(), 0u);
    }
}

TEST_F(PerformanceStatisticsTest, BlocksThatDoNotHoldTogetherGiveFalseAndChangeNothing)
{
    // A valid block: header 88, object at 88 (its counter definitions at 152 and 192), the
    // counter block at 232 with the values at 236 and 240, 248 bytes in all.
    const std::string Good = Counters(5000, 7000);
    ASSERT_EQ(Good.size(), 248u);
    struct TCase {
        const char* What;
        std::string Bytes;
    };
    const std::vector<TCase> Cases = {
        {"header length past the end", Patched(Good, 24, 100000)},
        {"header length shorter than the header", Patched(Good, 24, 4)},
        {"no objects", Patched(Good, 28, 0)},
        {"more objects than there are", Patched(Good, 28, 2)},
        {"huge object count", Patched(Good, 28, 0xFFFFFFFF)},
        {"object of length 0", Patched(Good, 88, 0)},
        {"object past the end", Patched(Good, 88, 161)},
        {"object of huge length", Patched(Good, 88, 0xFFFFFFF0)},
        {"object header past the object", Patched(Good, 96, 1000)},
        {"huge counter count", Patched(Good, 120, 0xFFFFFFFF)},
        {"three counters where there are two", Patched(Good, 120, 3)},
        {"huge instance count", Patched(Good, 128, 0x7FFFFFFF)},
        {"definition of length 0", Patched(Good, 152, 0)},
        {"definition of huge length", Patched(Good, 152, 0xFFFFFFF0)},
        {"counter outside its block", Patched(Good, 188, 16)},
        {"counter offset that wraps", Patched(Good, 188, 0xFFFFFFFE)},
        {"counter block of length 0", Patched(Good, 232, 0)},
        {"counter block past the object", Patched(Good, 232, 24)},
        {"truncated", Good.substr(0, 240)},
        {"no instances and no counter block", Patched(Good.substr(0, 232), 88, 144)},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        Data = Case.Bytes;
        EXPECT_FALSE(DialUp->GetStatistics());
        EXPECT_EQ(DialUp->BytesXmit(), 0u);
        EXPECT_EQ(DialUp->BytesRecv(), 0u);
    }
    Data = Good;
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 5000u);
}

TEST_F(PerformanceStatisticsTest, TheBufferGrowsByAKilobyteUntilTheDataFitsAndKeepsItsSize)
{
    Data = Counters(5000, 7000);
    Data.resize(9000, '\0');
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 5000u);
    EXPECT_EQ(DialUpShared->PerfDataBufferSize, 9216u);
    EXPECT_EQ(Queries, 2); // 8192 bytes, then 9216

    // Shared by every component, and never shrunk.
    TDialUp* Other = Create(VER_PLATFORM_WIN32_NT);
    Queries = 0;
    Data = Counters(1, 2);
    EXPECT_TRUE(Other->GetStatistics());
    EXPECT_EQ(Queries, 1);
    EXPECT_EQ(DialUpShared->PerfDataBufferSize, 9216u);
}

TEST_F(PerformanceStatisticsTest, ThePlatformAskingForMoreForeverEndsAtSixteenMegabytes)
{
    Data = Counters(5000, 7000);
    Answer = ERROR_MORE_DATA;
    EXPECT_FALSE(DialUp->GetStatistics());
    EXPECT_EQ(DialUpShared->PerfDataBufferSize, 16u * 1024 * 1024);
    EXPECT_EQ(Queries, (16 * 1024 * 1024 - 8192) / 1024 + 1);
    EXPECT_EQ(DialUp->BytesXmit(), 0u);

    Answer = ERROR_SUCCESS;
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_EQ(DialUp->BytesXmit(), 5000u);
}

TEST_F(PerformanceStatisticsTest, PendingEventsRunDuringTheWalk)
{
    Data = Counters(5000, 7000);
    bool Ran = false;
    QTimer::singleShot(0, &Owner, [&] { Ran = true; });
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_TRUE(Ran);
}

TEST_F(PerformanceStatisticsTest, ANestedReadIsTakenAsFound)
{
    // A timer tick during the walk reads other counters; the outer walk only raises them.
    Data = Counters(5000, 7000);
    bool Nested = false;
    QTimer::singleShot(0, &Owner, [&] {
        Data = Counters(9000, 1000);
        Nested = DialUp->GetStatistics();
    });
    EXPECT_TRUE(DialUp->GetStatistics());
    EXPECT_TRUE(Nested);
    EXPECT_EQ(DialUp->BytesXmit(), 9000u);
    EXPECT_EQ(DialUp->BytesRecv(), 7000u);
}

} // namespace
