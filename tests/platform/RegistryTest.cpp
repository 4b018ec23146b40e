#include "platform/Registry.h"
#include "platform/PerfStats.h"

#include "platform/DialUpSource.h"
#include "platform/Seams.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/PlatformSeamScope.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* EnumKey = "System\\CurrentControlSet\\Control\\PerfStats\\Enum";

DWORD ValueOf(const std::string& Bytes)
{
    DWORD Value = 0;
    std::memcpy(&Value, Bytes.data(), std::min<size_t>(Bytes.size(), sizeof(Value)));
    return Value;
}

// The registry over a statistics table of the test's own.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table.Objects = {"KERNEL", "Dial-Up Adapter"};
        Table.Values = {{"KERNEL\\CPUUsage", PerfStatBytes(5)},
            {"Dial-Up Adapter\\TotalBytesXmit", PerfStatBytes(0x01020304)},
            {"Dial-Up Adapter\\ConnectSpeed", PerfStatBytes(28800)}, {"Dial-Up Adapter\\Long", std::string(12, 'x')}};
        Seams->PerfStats = &Table;
    }

    void TearDown() override
    {
        for (HKEY Key : Opened)
            RegCloseKey(Key);
    }

    HKEY Open(HKEY Root, const char* Path)
    {
        HKEY Key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(Root, Path, 0, KEY_READ, &Key), ERROR_SUCCESS) << Path;
        Opened.push_back(Key);
        return Key;
    }

    TPlatformSeamScope Seams;
    TPerfStatsTable Table;
    std::vector<HKEY> Opened;
};

TEST(RegistryRootsTest, PredefinedRootsHaveTheirPublishedValues)
{
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE), 0x80000002u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_PERFORMANCE_DATA), 0x80000004u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_DYN_DATA), 0x80000006u);
    EXPECT_EQ(ERROR_MORE_DATA, 234u);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, 2u);
    EXPECT_EQ(RegCloseKey(HKEY_DYN_DATA), LONG{ERROR_SUCCESS});
}

TEST_F(RegistryTest, MissingKeysAndClosedHandles)
{
    HKEY Key = reinterpret_cast<HKEY>(uintptr_t{1});
    EXPECT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\Nothing", 0, KEY_READ, &Key), LONG{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(Key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zeltix", 0, KEY_READ, &Key), LONG{ERROR_FILE_NOT_FOUND});

    ASSERT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, KEY_READ, &Key), LONG{ERROR_SUCCESS});
    EXPECT_EQ(RegCloseKey(Key), LONG{ERROR_SUCCESS});
    EXPECT_EQ(RegCloseKey(Key), LONG{ERROR_INVALID_HANDLE});
    DWORD Size = 0;
    EXPECT_EQ(RegQueryValueExA(Key, "KERNEL\\CPUUsage", nullptr, nullptr, nullptr, &Size), LONG{ERROR_INVALID_HANDLE});
}

// A held key is closed when its holder goes; a key that could not be opened is not closed.
TEST_F(RegistryTest, AHeldKeyIsClosedWithItsHolder)
{
    HKEY Held = nullptr;
    {
        TRegKey Key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, KEY_READ, Key.Receive()), LONG{ERROR_SUCCESS});
        Held = Key.Key();
        DWORD Size = 0;
        EXPECT_EQ(RegQueryValueExA(Held, "KERNEL\\CPUUsage", nullptr, nullptr, nullptr, &Size), LONG{ERROR_SUCCESS});
    }
    EXPECT_EQ(RegCloseKey(Held), LONG{ERROR_INVALID_HANDLE}) << "already closed";

    TRegKey Missing;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\Nothing", 0, KEY_READ, Missing.Receive()), LONG{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(Missing.Key(), nullptr);
}

TEST_F(RegistryTest, ValuesAnswerSizeDataOrMoreData)
{
    for (const char* Path : {"PerfStats\\StatData", "PerfStats\\StartStat", "perfstats\\STOPSTAT"}) {
        SCOPED_TRACE(Path);
        HKEY Key = Open(HKEY_DYN_DATA, Path);
        DWORD Type = REG_NONE;
        DWORD Size = 0;
        // Size only, and existence with no outputs at all.
        EXPECT_EQ(RegQueryValueExA(Key, "dial-up adapter\\connectspeed", nullptr, &Type, nullptr, &Size),
            LONG{ERROR_SUCCESS});
        EXPECT_EQ(Size, 4u);
        EXPECT_EQ(Type, REG_BINARY);
        EXPECT_EQ(RegQueryValueExA(Key, "Dial-Up Adapter\\ConnectSpeed", nullptr, nullptr, nullptr, nullptr),
            LONG{ERROR_SUCCESS});

        BYTE Data[16] = {};
        Size = sizeof(Data);
        EXPECT_EQ(RegQueryValueExA(Key, "Dial-Up Adapter\\TotalBytesXmit", nullptr, nullptr, Data, &Size),
            LONG{ERROR_SUCCESS});
        EXPECT_EQ(Size, 4u);
        EXPECT_EQ(ValueOf(std::string(reinterpret_cast<char*>(Data), 4)), 0x01020304u);

        Size = 4;
        EXPECT_EQ(RegQueryValueExA(Key, "Dial-Up Adapter\\Long", nullptr, nullptr, Data, &Size), LONG{ERROR_MORE_DATA});
        EXPECT_EQ(Size, 12u);

        Size = 4;
        EXPECT_EQ(RegQueryValueExA(Key, "Dial-Up Adapter\\TotalBytesRecvd", nullptr, nullptr, Data, &Size),
            LONG{ERROR_FILE_NOT_FOUND});
        EXPECT_EQ(
            RegQueryValueExA(Key, "KERNEL\\CPUUsage", nullptr, nullptr, Data, nullptr), LONG{ERROR_INVALID_PARAMETER});
    }
}

TEST_F(RegistryTest, TheEnumKeyListsTheStatisticObjects)
{
    HKEY Key = Open(HKEY_LOCAL_MACHINE, EnumKey);
    DWORD SubKeys = 0, MaxSubKey = 0, Values = 7;
    EXPECT_EQ(RegQueryInfoKeyA(Key, nullptr, nullptr, nullptr, &SubKeys, &MaxSubKey, nullptr, &Values, nullptr, nullptr,
                  nullptr, nullptr),
        LONG{ERROR_SUCCESS});
    EXPECT_EQ(SubKeys, 2u);
    EXPECT_EQ(MaxSubKey, 15u);
    EXPECT_EQ(Values, 0u);

    std::vector<std::string> Names;
    for (DWORD i = 0;; ++i) {
        char Name[33] = {};
        DWORD Length = sizeof(Name);
        const LONG Result = RegEnumKeyExA(Key, i, Name, &Length, nullptr, nullptr, nullptr, nullptr);
        if (Result == LONG{ERROR_NO_MORE_ITEMS})
            break;
        ASSERT_EQ(Result, LONG{ERROR_SUCCESS});
        EXPECT_EQ(Length, std::strlen(Name));
        Names.push_back(Name);
    }
    EXPECT_EQ(Names, (std::vector<std::string>{"KERNEL", "Dial-Up Adapter"}));

    char Short[15] = {};
    DWORD Length = sizeof(Short);
    EXPECT_EQ(RegEnumKeyExA(Key, 1, Short, &Length, nullptr, nullptr, nullptr, nullptr), LONG{ERROR_MORE_DATA});

    // Each object is a key of its own, also below an open key.
    HKEY Object = nullptr;
    EXPECT_EQ(RegOpenKeyExA(Key, "dial-up adapter", 0, KEY_READ, &Object), LONG{ERROR_SUCCESS});
    Opened.push_back(Object);
    EXPECT_EQ(RegOpenKeyExA(Key, "VMM", 0, KEY_READ, &Object), LONG{ERROR_FILE_NOT_FOUND});
}

// The statistics the platform draws from the stand-in dial-up service.
class ServiceStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service.AddEntry("Provider", "modem", "Modem A", 56000);
        Service.AddEntry("Office", "isdn", "ISDN B", 64000);
    }

    std::string Value(const TPerfStatsTable& Table, const std::string& Name)
    {
        for (const auto& [ValueName, Bytes] : Table.Values)
            if (ValueName == Name)
                return Bytes;
        ADD_FAILURE() << "no value " << Name;
        return {};
    }

    TFakeClock Clock;
    TFakeDialUpService Service{Clock};
};

TEST_F(ServiceStatisticsTest, WithoutAConnectionTheAdapterIsThereWithZeros)
{
    const TPerfStatsTable Table = DialUpPerfStats();
    EXPECT_EQ(Table.Objects, (std::vector<std::string>{"KERNEL", "Dial-Up Adapter"}));
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter\\TotalBytesXmit")), 0u);
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter\\ConnectSpeed")), 0u);
}

TEST_F(ServiceStatisticsTest, EachConnectionHasAnAdapterWithItsCountersCutTo32Bits)
{
    const HRASCONN First = Service.Dial("Provider");
    Service.Dial("Office");
    // Long enough for the counters to pass 2^32.
    Clock.AdvanceMinutes(60 * 24 * 100);
    const TConnectionView View = *Service.Service().Find(First, Clock.EpochMs());
    ASSERT_GT(View.BytesReceived, uint64_t{0xFFFFFFFF});

    const TPerfStatsTable Table = DialUpPerfStats();
    EXPECT_EQ(Table.Objects, (std::vector<std::string>{"KERNEL", "Dial-Up Adapter", "Dial-Up Adapter #2"}));
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter\\TotalBytesRecvd")), static_cast<DWORD>(View.BytesReceived));
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter\\TotalBytesXmit")), static_cast<DWORD>(View.BytesSent));
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter\\ConnectSpeed")), 56000u);
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter #2\\ConnectSpeed")), 64000u);

    // The registry answers the same through its keys.
    HKEY Key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, KEY_READ, &Key), LONG{ERROR_SUCCESS});
    DWORD Speed = 0, Size = sizeof(Speed);
    EXPECT_EQ(RegQueryValueExA(
                  Key, "Dial-Up Adapter #2\\ConnectSpeed", nullptr, nullptr, reinterpret_cast<LPBYTE>(&Speed), &Size),
        LONG{ERROR_SUCCESS});
    EXPECT_EQ(Speed, 64000u);
    RegCloseKey(Key);
}

TEST_F(ServiceStatisticsTest, ADialingConnectionHasNoSpeedYet)
{
    Service.Dial("Provider");
    const TPerfStatsTable Table = DialUpPerfStats();
    EXPECT_EQ(ValueOf(Value(Table, "Dial-Up Adapter\\ConnectSpeed")), 0u);
}

} // namespace
