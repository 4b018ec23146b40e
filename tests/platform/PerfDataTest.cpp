#include "platform/PerfData.h"

#include "platform/DialUpSource.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/PlatformSeamScope.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename TRecord>
TRecord At(const std::string& Bytes, size_t Offset)
{
    TRecord Record{};
    EXPECT_LE(Offset + sizeof(TRecord), Bytes.size());
    if (Offset + sizeof(TRecord) <= Bytes.size())
        std::memcpy(&Record, Bytes.data() + Offset, sizeof(TRecord));
    return Record;
}

TConnectionView Connection(const std::string& Device, uint64_t Sent, uint64_t Received)
{
    TConnectionView View;
    View.DeviceName = Device;
    View.State = RASCS_Connected;
    View.BytesSent = Sent;
    View.BytesReceived = Received;
    return View;
}

constexpr int64_t Now = 1796738602000; // 2026-12-08 14:03:22 UTC

TEST(PerfDataTest, TheBlockHeaderIsThePublishedOne)
{
    const std::string Bytes = BuildPerformanceData("906", {}, Now);
    const auto Block = At<PERF_DATA_BLOCK>(Bytes, 0);
    EXPECT_EQ(std::memcmp(Block.Signature, u"PERF", 8), 0);
    EXPECT_EQ(Block.LittleEndian, 1u);
    EXPECT_EQ(Block.TotalByteLength, Bytes.size());
    EXPECT_EQ(Block.HeaderLength % 8, 0u);
    EXPECT_GE(Block.HeaderLength, sizeof(PERF_DATA_BLOCK) + Block.SystemNameLength);
    EXPECT_EQ(Block.NumObjectTypes, 1u);
    EXPECT_EQ(Block.SystemTime.wYear, 2026);
    EXPECT_EQ(Block.SystemTime.wMonth, 12);
    EXPECT_EQ(Block.SystemTime.wDay, 8);
    EXPECT_EQ(Block.SystemTime.wHour, 14);
    EXPECT_EQ(Block.SystemTime.wDayOfWeek, 2); // a Tuesday
}

TEST(PerfDataTest, WithoutConnectionsTheObjectHasItsDefinitionsAndNoInstance)
{
    const std::string Bytes = BuildPerformanceData("906", {}, Now);
    const size_t First = At<PERF_DATA_BLOCK>(Bytes, 0).HeaderLength;
    const auto Object = At<PERF_OBJECT_TYPE>(Bytes, First);
    EXPECT_EQ(Object.ObjectNameTitleIndex, 906u);
    EXPECT_EQ(Object.NumCounters, 2u);
    EXPECT_EQ(Object.NumInstances, 0);
    EXPECT_EQ(Object.HeaderLength, sizeof(PERF_OBJECT_TYPE));
    EXPECT_EQ(Object.DefinitionLength, sizeof(PERF_OBJECT_TYPE) + 2 * sizeof(PERF_COUNTER_DEFINITION));
    EXPECT_EQ(Object.TotalByteLength, Object.DefinitionLength);
    EXPECT_EQ(First + Object.TotalByteLength, Bytes.size());

    const auto Sent = At<PERF_COUNTER_DEFINITION>(Bytes, First + 64);
    const auto Received = At<PERF_COUNTER_DEFINITION>(Bytes, First + 104);
    EXPECT_EQ(Sent.CounterNameTitleIndex, 872u);
    EXPECT_EQ(Received.CounterNameTitleIndex, 874u);
    EXPECT_EQ(Sent.ByteLength, 40u);
    EXPECT_EQ(Sent.CounterSize, 4u);
    EXPECT_NE(Sent.CounterOffset, Received.CounterOffset);
}

TEST(PerfDataTest, EachConnectionIsAnInstanceNamedByItsDeviceWith32BitCounters)
{
    const std::vector<TConnectionView> Connections = {
        Connection("Modem A", 0x100000005ull, 77), Connection("ISDN \xC4", 1234, 0x2000000000ull + 9)};
    const std::string Bytes = BuildPerformanceData("906", Connections, Now);
    const size_t First = At<PERF_DATA_BLOCK>(Bytes, 0).HeaderLength;
    const auto Object = At<PERF_OBJECT_TYPE>(Bytes, First);
    ASSERT_EQ(Object.NumInstances, 2);
    EXPECT_EQ(First + Object.TotalByteLength, Bytes.size());
    const auto Sent = At<PERF_COUNTER_DEFINITION>(Bytes, First + 64);
    const auto Received = At<PERF_COUNTER_DEFINITION>(Bytes, First + 104);

    const std::vector<std::u16string> Names = {u"Modem A", u"ISDN \u00C4"};
    const std::vector<std::pair<DWORD, DWORD>> Values = {{5, 77}, {1234, 9}};
    size_t Position = First + Object.DefinitionLength;
    for (size_t i = 0; i < 2; ++i) {
        const auto Instance = At<PERF_INSTANCE_DEFINITION>(Bytes, Position);
        EXPECT_EQ(Instance.ByteLength % 8, 0u);
        EXPECT_EQ(Instance.NameLength, (Names[i].size() + 1) * 2);
        std::u16string Name(Names[i].size(), u'\0');
        std::memcpy(Name.data(), Bytes.data() + Position + Instance.NameOffset, Name.size() * 2);
        EXPECT_EQ(Name, Names[i]);

        Position += Instance.ByteLength;
        const auto Block = At<PERF_COUNTER_BLOCK>(Bytes, Position);
        EXPECT_EQ(At<DWORD>(Bytes, Position + Sent.CounterOffset), Values[i].first);
        EXPECT_EQ(At<DWORD>(Bytes, Position + Received.CounterOffset), Values[i].second);
        Position += Block.ByteLength;
    }
    EXPECT_EQ(Position, Bytes.size());
}

TEST(PerfDataTest, OtherObjectsAreNotThere)
{
    const std::string Bytes = BuildPerformanceData("238", {Connection("Modem", 1, 2)}, Now);
    EXPECT_EQ(At<PERF_DATA_BLOCK>(Bytes, 0).NumObjectTypes, 0u);
    EXPECT_EQ(At<PERF_DATA_BLOCK>(Bytes, 0).HeaderLength, Bytes.size());
}

// The value "906" of HKEY_PERFORMANCE_DATA, from the stand-in service.
class PerformanceDataKeyTest : public ::testing::Test {
protected:
    TPlatformSeamScope Seams;
    TFakeClock Clock;
    TFakeDialUpService Service{Clock};
};

TEST_F(PerformanceDataKeyTest, TheValueIsTheBlockOfTheServicesConnections)
{
    Service.AddEntry("Provider");
    Service.Dial("Provider");
    Clock.AdvanceMinutes(3);
    const std::string Expected =
        BuildPerformanceData("906", Service.Service().Connections(Clock.EpochMs()), Clock.EpochMs());

    std::vector<BYTE> Buffer(100);
    DWORD Size = static_cast<DWORD>(Buffer.size());
    DWORD Type = REG_NONE;
    EXPECT_EQ(
        RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, &Type, Buffer.data(), &Size), LONG{ERROR_MORE_DATA});
    Buffer.resize(8192);
    Size = static_cast<DWORD>(Buffer.size());
    ASSERT_EQ(
        RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, &Type, Buffer.data(), &Size), LONG{ERROR_SUCCESS});
    EXPECT_EQ(Type, REG_BINARY);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Buffer.data()), Size), Expected);
    EXPECT_EQ(At<PERF_OBJECT_TYPE>(Expected, At<PERF_DATA_BLOCK>(Expected, 0).HeaderLength).NumInstances, 1);
}

TEST_F(PerformanceDataKeyTest, TheSourceSeamAnswersInstead)
{
    Seams->PerfDataSource = [](std::string& Bytes) {
        Bytes = "abcdef";
        return LONG{ERROR_ACCESS_DENIED};
    };
    BYTE Buffer[4] = {};
    DWORD Size = sizeof(Buffer);
    EXPECT_EQ(
        RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, nullptr, Buffer, &Size), LONG{ERROR_ACCESS_DENIED});

    Seams->PerfDataSource = [](std::string& Bytes) {
        Bytes = std::string(300, 'x');
        return LONG{ERROR_SUCCESS};
    };
    Size = sizeof(Buffer);
    EXPECT_EQ(RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, nullptr, Buffer, &Size), LONG{ERROR_MORE_DATA});
}

} // namespace
