#include "dialup/DialUp.h"

#include "base/Ansi.h"
#include "dialup/PerfDataWalk.h"
#include "dialup/Seams.h"
#include "platform/Kernel.h"
#include "platform/PerfData.h"
#include "platform/Registry.h"

#include <QCollator>
#include <QCoreApplication>

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr const char* PerfStatsEnumKey = "System\\CurrentControlSet\\Control\\PerfStats\\Enum";
constexpr const char* StartStatKey = "PerfStats\\StartStat";
constexpr const char* StopStatKey = "PerfStats\\StopStat";
constexpr const char* StatDataKey = "PerfStats\\StatData";

constexpr DWORD FirstPerfDataBufferSize = 8192;
constexpr DWORD PerfDataBufferGrowth = 1024;
// The platform never needs this much for one object; more means it will never be satisfied.
constexpr DWORD MaxPerfDataBufferSize = 16 * 1024 * 1024;
// Anything shorter cannot hold a block header and an object.
constexpr DWORD MinPerfDataBytes = 100;

// Statistic object names have up to 32 characters.
constexpr DWORD MaxObjectName = 32;

// Reads a counter's value under a start or stop key, which is what starts or stops it: the
// size first, then the data, which is not needed.
bool TouchCounter(HKEY Key, const std::string& Name)
{
    DWORD Size = 0;
    RegQueryValueExA(Key, Name.c_str(), nullptr, nullptr, nullptr, &Size);
    std::vector<BYTE> Data(Size);
    return RegQueryValueExA(Key, Name.c_str(), nullptr, nullptr, Data.data(), &Size) == ERROR_SUCCESS;
}

// Reads a 4-byte counter; a longer value does not fit and fails.
bool ReadCounter(HKEY Key, const std::string& Name, DWORD& Value)
{
    DWORD Size = sizeof(Value);
    return RegQueryValueExA(Key, Name.c_str(), nullptr, nullptr, reinterpret_cast<LPBYTE>(&Value), &Size) ==
        ERROR_SUCCESS;
}

// Raises the byte values to the largest found, letting pending events run as the walk goes so
// the window stays responsive.
class TByteCounterVisitor : public TPerfDataVisitor {
public:
    TByteCounterVisitor(DWORD& BytesXmit, DWORD& BytesRecv)
        : FBytesXmit(BytesXmit)
        , FBytesRecv(BytesRecv)
    {
    }

    void Object() override { QCoreApplication::processEvents(); }
    void Definition() override { QCoreApplication::processEvents(); }
    void Counter(DWORD TitleIndex, DWORD Value) override
    {
        DWORD& Bytes = TitleIndex == RasBytesTransmittedIndex ? FBytesXmit : FBytesRecv;
        if (Value > Bytes)
            Bytes = Value;
    }

private:
    DWORD& FBytesXmit;
    DWORD& FBytesRecv;
};

} // namespace

bool TDialUp::GetDUNA()
{
    if (Win32Platform() != VER_PLATFORM_WIN32_WINDOWS)
        return false;
    FDUNA.clear();

    // Both keys are closed as this returns, the start key first.
    TRegKey EnumKey;
    TRegKey StartKey;
    const bool EnumOpened =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, PerfStatsEnumKey, 0, KEY_READ, EnumKey.Receive()) == ERROR_SUCCESS;
    const bool Opened =
        EnumOpened && RegOpenKeyExA(HKEY_DYN_DATA, StartStatKey, 0, KEY_READ, StartKey.Receive()) == ERROR_SUCCESS;
    if (Opened) {
        DWORD SubKeys = 0;
        RegQueryInfoKeyA(EnumKey.Key(), nullptr, nullptr, nullptr, &SubKeys, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, nullptr);
        for (DWORD i = 0; i < SubKeys; ++i) {
            // Emptied for each index, so a name that cannot be read is not taken for the last.
            char Name[MaxObjectName + 1] = {};
            DWORD Length = sizeof(Name);
            RegEnumKeyExA(EnumKey.Key(), i, Name, &Length, nullptr, nullptr, nullptr, nullptr);
            // Only the dial-up adapters count their connection's speed.
            const std::string SpeedValue = std::string(Name) + "\\ConnectSpeed";
            if (RegQueryValueExA(StartKey.Key(), SpeedValue.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS)
                FDUNA.append(AnsiToString(Name));
        }
    }

    if (!FDUNA.isEmpty()) {
        QCollator Collator;
        Collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::sort(
            FDUNA.begin(), FDUNA.end(), [&](const QString& a, const QString& b) { return Collator.compare(a, b) < 0; });
    }
    return Opened;
}

bool TDialUp::SwitchStatistics(bool On, bool RefreshAdapters, int Handle, const char* DeviceName)
{
    StatHandle = Handle;
    StatDeviceName = DeviceName ? DeviceName : "";
    const DWORD Platform = Win32Platform();
    if (Platform == VER_PLATFORM_WIN32s)
        return false;

    bool Result = true;
    if (Platform == VER_PLATFORM_WIN32_WINDOWS) {
        if (RefreshAdapters) {
            GetDUNA();
            // Without an adapter there is nothing to count from, so no baseline is taken.
            if (FDUNA.isEmpty())
                return false;
            FDUNA_Key = FDUNA.first();
        }
        Result = StartAdapterCounters(On);
    }
    if (Result) {
        if (On)
            Result = GetStatistics();
        ResetStatistics();
    }
    return Result;
}

bool TDialUp::StartAdapterCounters(bool On)
{
    TRegKey Key;
    if (RegOpenKeyExA(HKEY_DYN_DATA, On ? StartStatKey : StopStatKey, 0, KEY_ALL_ACCESS, Key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    const std::string Prefix = StringToAnsi(FDUNA_Key) + "\\";
    return TouchCounter(Key.Key(), Prefix + "TotalBytesXmit") && TouchCounter(Key.Key(), Prefix + "TotalBytesRecvd") &&
        TouchCounter(Key.Key(), Prefix + "ConnectSpeed");
}

bool TDialUp::GetStatistics()
{
    switch (Win32Platform()) {
    case VER_PLATFORM_WIN32s:
        return false;
    case VER_PLATFORM_WIN32_WINDOWS:
        return GetAdapterStatistics();
    default:
        return GetPerformanceStatistics();
    }
}

bool TDialUp::GetAdapterStatistics()
{
    TRegKey Key;
    if (RegOpenKeyExA(HKEY_DYN_DATA, StatDataKey, 0, KEY_READ, Key.Receive()) != ERROR_SUCCESS)
        return false;
    const std::string Prefix = StringToAnsi(FDUNA_Key) + "\\";
    DWORD Speed = 0;
    const bool Read = ReadCounter(Key.Key(), Prefix + "TotalBytesXmit", RawBytesXmit) &&
        ReadCounter(Key.Key(), Prefix + "TotalBytesRecvd", RawBytesRecv) &&
        ReadCounter(Key.Key(), Prefix + "ConnectSpeed", Speed);
    if (!Read)
        return false;

    // A counter that went backwards belongs to a new connection: count from here.
    if (RawBytesXmit < BaseBytesXmit)
        ResetStatistics();
    if (RawBytesRecv < BaseBytesRecv)
        ResetStatistics();
    FConnectionSpeed = Speed;
    FBytesXmit = RawBytesXmit - BaseBytesXmit;
    FBytesRecv = RawBytesRecv - BaseBytesRecv;
    return true;
}

bool TDialUp::GetPerformanceStatistics()
{
    if (!GetLineSpeed(StatDeviceName.c_str(), FConnectionSpeed))
        FConnectionSpeed = 0;

    DWORD& PerfDataBufferSize = DialUpSeams().PerfDataBufferSize;
    if (PerfDataBufferSize == 0)
        PerfDataBufferSize = FirstPerfDataBufferSize;
    // Each query starts from the shared size; a nested read may grow it later, not this buffer.
    DWORD BufferSize = PerfDataBufferSize;
    auto Buffer = std::make_unique_for_overwrite<BYTE[]>(BufferSize);
    DWORD ByteCount = BufferSize;
    LONG Result = RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, nullptr, Buffer.get(), &ByteCount);
    while (Result == ERROR_MORE_DATA) {
        Buffer.reset();
        if (PerfDataBufferSize > MaxPerfDataBufferSize - PerfDataBufferGrowth)
            return false;
        PerfDataBufferSize += PerfDataBufferGrowth;
        BufferSize = PerfDataBufferSize;
        Buffer = std::make_unique_for_overwrite<BYTE[]>(BufferSize);
        ByteCount = BufferSize;
        Result = RegQueryValueExA(HKEY_PERFORMANCE_DATA, "906", nullptr, nullptr, Buffer.get(), &ByteCount);
    }
    // After any other failure the buffer holds nothing that may be read.
    if (Result != ERROR_SUCCESS)
        return false;

    const std::span<const BYTE> Block(Buffer.get(), std::min(ByteCount, BufferSize));
    if (Block.size() < MinPerfDataBytes)
        return false;
    // A block that does not hold together changes nothing, so it is checked whole first.
    TPerfDataVisitor Check;
    if (!WalkPerfData(Block, Check))
        return false;
    TByteCounterVisitor Raise(FBytesXmit, FBytesRecv);
    WalkPerfData(Block, Raise);
    return true;
}

void TDialUp::ResetStatistics()
{
    BaseBytesXmit = RawBytesXmit;
    BaseBytesRecv = RawBytesRecv;
    FBytesXmit = 0;
    FBytesRecv = 0;
    FConnectionSpeed = 0;
}
