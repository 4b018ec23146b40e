#include "platform/Tapi.h"

#include "platform/DialUpSource.h"
#include "platform/KernelStrings.h"
#include "platform/Registry.h"
#include "ras/service/FileCache.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void NoEvents(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
}

// Telephony over a phonebook with two devices, one of them used by two entries.
class TapiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service.AddEntry("Provider", "modem", "Modem A", 33600);
        Service.AddEntry("Office", "isdn", "ISDN B", 64000);
        Service.AddEntry("Backup", "modem", "Modem A", 56000);
        ASSERT_EQ(lineInitialize(&App, nullptr, &NoEvents, "RasBaud", &NumDevs), 0);
    }

    void TearDown() override
    {
        if (App)
            lineShutdown(App);
    }

    std::vector<DWORD> Storage = std::vector<DWORD>(1024);
    template <typename TRecord>
    TRecord* Record(DWORD TotalSize)
    {
        std::fill(Storage.begin(), Storage.end(), 0xCCCCCCCC);
        auto* Result = reinterpret_cast<TRecord*>(Storage.data());
        Result->dwTotalSize = TotalSize;
        return Result;
    }
    const char* Bytes() const { return reinterpret_cast<const char*>(Storage.data()); }

    HLINE OpenLine(DWORD Device)
    {
        HLINE Line = 0;
        EXPECT_EQ(lineOpen(App, Device, &Line, TAPI_VERSION_2_0, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
        return Line;
    }

    std::vector<HCALL> NewCalls(HLINE Line)
    {
        auto* List = Record<LINECALLLIST>(4096);
        EXPECT_EQ(lineGetNewCalls(Line, 0, LINECALLSELECT_LINE, List), 0);
        std::vector<HCALL> Calls(List->dwCallsNumEntries);
        if (!Calls.empty()) // an empty vector's data() may be null, which memcpy must not get
            std::memcpy(Calls.data(), Bytes() + List->dwCallsOffset, Calls.size() * sizeof(HCALL));
        return Calls;
    }

    TFakeClock Clock;
    TFakeDialUpService Service{Clock};
    HLINEAPP App = 0;
    DWORD NumDevs = 0;
};

// A held line application is shut down when its holder goes, and its lines with it; one that
// never started leaves nothing to shut down.
TEST_F(TapiTest, AHeldLineApplicationEndsWithItsHolder)
{
    HLINEAPP Held = 0;
    HLINE Line = 0;
    {
        TLineApp Holder;
        DWORD Devices = 0;
        ASSERT_EQ(lineInitialize(Holder.Receive(), nullptr, &NoEvents, "RasBaud", &Devices), 0);
        Held = Holder.Handle();
        ASSERT_EQ(lineOpen(Held, 0, &Line, TAPI_VERSION_2_0, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
    }
    EXPECT_EQ(lineShutdown(Held), LINEERR_INVALAPPHANDLE) << "already shut down";
    EXPECT_EQ(lineGetNewCalls(Line, 0, LINECALLSELECT_LINE, Record<LINECALLLIST>(4096)), LINEERR_INVALLINEHANDLE);

    TLineApp Unstarted;
    EXPECT_EQ(lineInitialize(Unstarted.Receive(), nullptr, &NoEvents, "RasBaud", nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(Unstarted.Handle(), 0u);
}

TEST_F(TapiTest, OneLinePerDistinctDeviceNamedByIt)
{
    EXPECT_EQ(NumDevs, 2u);
    const std::vector<std::pair<std::string, DWORD>> Expected = {{"Modem A", 56000}, {"ISDN B", 64000}};
    for (DWORD Device = 0; Device < NumDevs; ++Device) {
        DWORD Version = 0;
        LINEEXTENSIONID Extension{1, 2, 3, 4};
        ASSERT_EQ(lineNegotiateAPIVersion(App, Device, 0x00010004, 0x00030000, &Version, &Extension), 0);
        EXPECT_EQ(Version, TAPI_VERSION_2_0);
        EXPECT_EQ(Extension.dwExtensionID0, 0u);

        auto* Caps = Record<LINEDEVCAPS>(1276);
        ASSERT_EQ(lineGetDevCaps(App, Device, Version, 0, Caps), 0);
        EXPECT_EQ(Caps->dwTotalSize, 1276u);
        EXPECT_EQ(Caps->dwNeededSize, Caps->dwUsedSize);
        EXPECT_EQ(Caps->dwStringFormat, STRINGFORMAT_ASCII);
        ASSERT_EQ(Caps->dwLineNameSize, Expected[Device].first.size() + 1);
        EXPECT_STREQ(Bytes() + Caps->dwLineNameOffset, Expected[Device].first.c_str());
        EXPECT_EQ(Caps->dwMaxRate, Expected[Device].second);
    }
}

TEST_F(TapiTest, VersionsAndDevicesOutsideTheOfferAreRefused)
{
    DWORD Version = 0;
    LINEEXTENSIONID Extension{};
    EXPECT_EQ(
        lineNegotiateAPIVersion(App, 0, 0x00010003, 0x00010004, &Version, &Extension), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(
        lineNegotiateAPIVersion(App, 2, TAPI_VERSION_2_0, TAPI_VERSION_2_0, &Version, &Extension), LINEERR_BADDEVICEID);
    EXPECT_EQ(lineNegotiateAPIVersion(App + 1000, 0, TAPI_VERSION_2_0, TAPI_VERSION_2_0, &Version, &Extension),
        LINEERR_INVALAPPHANDLE);
    auto* Caps = Record<LINEDEVCAPS>(1276);
    EXPECT_EQ(lineGetDevCaps(App, 0, 0x00010004, 0, Caps), LINEERR_INCOMPATIBLEAPIVERSION);
}

TEST_F(TapiTest, ASmallRecordGetsTheFixedPartAndTheSizeNeeded)
{
    auto* Caps = Record<LINEDEVCAPS>(sizeof(LINEDEVCAPS) - 1);
    EXPECT_EQ(lineGetDevCaps(App, 0, TAPI_VERSION_2_0, 0, Caps), LINEERR_STRUCTURETOOSMALL);

    Caps = Record<LINEDEVCAPS>(sizeof(LINEDEVCAPS) + 4);
    ASSERT_EQ(lineGetDevCaps(App, 0, TAPI_VERSION_2_0, 0, Caps), 0);
    EXPECT_GT(Caps->dwNeededSize, Caps->dwTotalSize);
    EXPECT_LE(Caps->dwUsedSize, Caps->dwTotalSize);
    EXPECT_EQ(Caps->dwLineNameSize, 0u);
    EXPECT_EQ(Caps->dwLineNameOffset, 0u);
    EXPECT_EQ(Caps->dwMaxRate, 56000u);

    const DWORD Needed = Caps->dwNeededSize;
    Caps = Record<LINEDEVCAPS>(Needed);
    ASSERT_EQ(lineGetDevCaps(App, 0, TAPI_VERSION_2_0, 0, Caps), 0);
    EXPECT_EQ(Caps->dwUsedSize, Needed);
    EXPECT_STREQ(Bytes() + Caps->dwLineNameOffset, "Modem A");
}

TEST_F(TapiTest, ACallExistsWhileAConnectionOnTheDeviceIsConnected)
{
    const HLINE Modem = OpenLine(0);
    const HLINE Isdn = OpenLine(1);
    const HRASCONN Handle = Service.Dial("Backup");
    EXPECT_TRUE(NewCalls(Modem).empty()); // still dialing

    Clock.AdvanceSeconds(6);
    const std::vector<HCALL> Calls = NewCalls(Modem);
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_TRUE(NewCalls(Isdn).empty());
    EXPECT_EQ(NewCalls(Modem), Calls); // the same call keeps its handle

    LINECALLINFO Info{};
    Info.dwTotalSize = sizeof(Info);
    ASSERT_EQ(lineGetCallInfo(Calls[0], &Info), 0);
    EXPECT_EQ(Info.dwRate, 56000u);
    EXPECT_EQ(Info.hLine, Modem);
    EXPECT_EQ(Info.dwNeededSize, sizeof(LINECALLINFO));
    Info.dwTotalSize = sizeof(Info) - 4;
    EXPECT_EQ(lineGetCallInfo(Calls[0], &Info), LINEERR_STRUCTURETOOSMALL);

    Service.HangUp(Handle);
    EXPECT_TRUE(NewCalls(Modem).empty());
}

// What the program asks the platform every second of a session (telephony's lines and
// calls, the performance data) reads no file of an unchanged service; a hang-up shows at once.
TEST_F(TapiTest, ASessionSecondReadsNoUnchangedFileOfTheService)
{
    const HRASCONN Handle = Service.Dial("Backup");
    Clock.AdvanceSeconds(6);
    auto sessionSecond = [this] {
        HLINEAPP Second = 0;
        DWORD Devices = 0;
        EXPECT_EQ(lineInitialize(&Second, nullptr, &NoEvents, "RasBaud", &Devices), 0);
        EXPECT_EQ(Devices, 2u);
        const HLINE Line = OpenLine(0);
        const size_t Calls = NewCalls(Line).size();
        lineShutdown(Second);
        std::vector<BYTE> Buffer(8192);
        DWORD Size = static_cast<DWORD>(Buffer.size());
        EXPECT_EQ(RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, nullptr, Buffer.data(), &Size),
            LONG{ERROR_SUCCESS});
        Clock.AdvanceSeconds(1);
        return Calls;
    };
    EXPECT_EQ(sessionSecond(), 1u);
    const uint64_t Reads = TFileCache::Shared().FileReads();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sessionSecond(), 1u);
    EXPECT_EQ(TFileCache::Shared().FileReads(), Reads);

    Service.HangUp(Handle);
    EXPECT_EQ(sessionSecond(), 0u);
}

TEST_F(TapiTest, ACallListWithoutRoomForTheHandlesSaysWhatItNeeds)
{
    const HLINE Line = OpenLine(1);
    Service.Dial("Office");
    Clock.AdvanceSeconds(6);
    auto* List = Record<LINECALLLIST>(sizeof(LINECALLLIST));
    ASSERT_EQ(lineGetNewCalls(Line, 0, LINECALLSELECT_LINE, List), 0);
    EXPECT_EQ(List->dwNeededSize, sizeof(LINECALLLIST) + sizeof(HCALL));
    EXPECT_EQ(List->dwUsedSize, sizeof(LINECALLLIST));
    EXPECT_EQ(List->dwCallsNumEntries, 0u);

    List = Record<LINECALLLIST>(sizeof(LINECALLLIST) - 1);
    EXPECT_EQ(lineGetNewCalls(Line, 0, LINECALLSELECT_LINE, List), LINEERR_STRUCTURETOOSMALL);
}

TEST_F(TapiTest, ShuttingDownEndsLinesAndCalls)
{
    const HLINE Line = OpenLine(0);
    Service.Dial("Provider");
    Clock.AdvanceSeconds(6);
    const std::vector<HCALL> Calls = NewCalls(Line);
    ASSERT_EQ(Calls.size(), 1u);

    EXPECT_EQ(lineShutdown(App), 0);
    EXPECT_EQ(lineShutdown(App), LINEERR_INVALAPPHANDLE);
    App = 0;
    auto* List = Record<LINECALLLIST>(4096);
    EXPECT_EQ(lineGetNewCalls(Line, 0, LINECALLSELECT_LINE, List), LINEERR_INVALLINEHANDLE);
    LINECALLINFO Info{};
    Info.dwTotalSize = sizeof(Info);
    EXPECT_EQ(lineGetCallInfo(Calls[0], &Info), LINEERR_INVALCALLHANDLE);
}

TEST(KernelStringsTest, LocaleComparisonKeepsLetterCase)
{
    EXPECT_EQ(lstrcmpA("Modem A", "Modem A"), 0);
    EXPECT_NE(lstrcmpA("Modem A", "modem a"), 0);
    EXPECT_LT(lstrcmpA("Modem A", "Modem B"), 0);
    EXPECT_GT(lstrcmpA("Modem B", "Modem A"), 0);
    EXPECT_LT(lstrcmpA("", "A"), 0);
}

} // namespace
