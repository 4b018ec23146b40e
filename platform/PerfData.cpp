#include "platform/PerfData.h"

#include "base/Ansi.h"
#include "platform/DialUpSource.h"
#include "platform/RegistryKeys.h"
#include "platform/Seams.h"

#include <QString>

#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

// Milliseconds from 1601-01-01 to 1970-01-01.
constexpr int64_t FileTimeEpochOffsetMs = 11644473600000;

template <typename TRecord>
void Append(std::string& Bytes, const TRecord& Record)
{
    Bytes.append(reinterpret_cast<const char*>(&Record), sizeof(Record));
}

// Records start on 8-byte boundaries, as the platform lays them out.
void PadTo8(std::string& Bytes)
{
    Bytes.resize((Bytes.size() + 7) / 8 * 8, '\0');
}

// A name as the records carry it: UTF-16 with a NUL.
std::string WideName(const QString& Name)
{
    std::string Bytes(reinterpret_cast<const char*>(Name.utf16()), Name.size() * 2);
    Bytes.append(2, '\0');
    return Bytes;
}

QString SystemName()
{
    char Host[256] = {};
    if (::gethostname(Host, sizeof(Host) - 1) != 0 || Host[0] == '\0')
        return QStringLiteral("LOCALHOST");
    return QString::fromLocal8Bit(Host).toUpper();
}

SYSTEMTIME UtcSystemTime(int64_t NowMs)
{
    const time_t Seconds = static_cast<time_t>(NowMs / 1000);
    std::tm Tm{};
    ::gmtime_r(&Seconds, &Tm);
    return {static_cast<WORD>(Tm.tm_year + 1900), static_cast<WORD>(Tm.tm_mon + 1), static_cast<WORD>(Tm.tm_wday),
        static_cast<WORD>(Tm.tm_mday), static_cast<WORD>(Tm.tm_hour), static_cast<WORD>(Tm.tm_min),
        static_cast<WORD>(Tm.tm_sec), static_cast<WORD>(NowMs % 1000)};
}

LARGE_INTEGER Large(int64_t Value)
{
    LARGE_INTEGER Result;
    Result.QuadPart = Value;
    return Result;
}

PERF_COUNTER_DEFINITION ByteCounter(DWORD TitleIndex, DWORD Offset)
{
    PERF_COUNTER_DEFINITION Definition{};
    Definition.ByteLength = sizeof(PERF_COUNTER_DEFINITION);
    Definition.CounterNameTitleIndex = TitleIndex;
    Definition.CounterHelpTitleIndex = TitleIndex + 1;
    Definition.DetailLevel = PERF_DETAIL_NOVICE;
    Definition.CounterType = PERF_COUNTER_RAWCOUNT;
    Definition.CounterSize = sizeof(DWORD);
    Definition.CounterOffset = Offset;
    return Definition;
}

// The dial-up port object: two byte counters, an instance per connection.
std::string RasPortObject(const std::vector<TConnectionView>& Connections, int64_t NowMs)
{
    constexpr DWORD XmitOffset = sizeof(PERF_COUNTER_BLOCK);
    constexpr DWORD RecvOffset = XmitOffset + sizeof(DWORD);
    constexpr DWORD CounterBlockLength = 16; // block length and both values, padded to 8

    std::string Instances;
    for (const TConnectionView& Connection : Connections) {
        const std::string Name = WideName(AnsiToString(Connection.DeviceName));
        PERF_INSTANCE_DEFINITION Instance{};
        Instance.ByteLength = static_cast<DWORD>((sizeof(PERF_INSTANCE_DEFINITION) + Name.size() + 7) / 8 * 8);
        Instance.UniqueID = PERF_NO_UNIQUE_ID;
        Instance.NameOffset = sizeof(PERF_INSTANCE_DEFINITION);
        Instance.NameLength = static_cast<DWORD>(Name.size());
        const size_t Start = Instances.size();
        Append(Instances, Instance);
        Instances += Name;
        Instances.resize(Start + Instance.ByteLength, '\0');

        // The port counters are 32 bits wide and wrap like them.
        const PERF_COUNTER_BLOCK Block{CounterBlockLength};
        const DWORD Sent = static_cast<DWORD>(Connection.BytesSent);
        const DWORD Received = static_cast<DWORD>(Connection.BytesReceived);
        Append(Instances, Block);
        Append(Instances, Sent);
        Append(Instances, Received);
        PadTo8(Instances);
    }

    PERF_OBJECT_TYPE Object{};
    Object.HeaderLength = sizeof(PERF_OBJECT_TYPE);
    Object.DefinitionLength = sizeof(PERF_OBJECT_TYPE) + 2 * sizeof(PERF_COUNTER_DEFINITION);
    Object.TotalByteLength = Object.DefinitionLength + static_cast<DWORD>(Instances.size());
    Object.ObjectNameTitleIndex = RasPortObjectIndex;
    Object.ObjectHelpTitleIndex = RasPortObjectIndex + 1;
    Object.DetailLevel = PERF_DETAIL_NOVICE;
    Object.NumCounters = 2;
    Object.DefaultCounter = 0;
    // An object that can have instances but has none carries no counter block at all.
    Object.NumInstances = static_cast<LONG>(Connections.size());
    Object.PerfTime = Large(NowMs);
    Object.PerfFreq = Large(1000);

    std::string Bytes;
    Append(Bytes, Object);
    Append(Bytes, ByteCounter(RasBytesTransmittedIndex, XmitOffset));
    Append(Bytes, ByteCounter(RasBytesReceivedIndex, RecvOffset));
    return Bytes + Instances;
}

class TPerformanceDataKey : public TRegistryKey {
public:
    LONG QueryValue(std::string_view Name, DWORD& Type, std::string& Data) override
    {
        Type = REG_BINARY;
        if (const auto& source = PlatformSeams().PerfDataSource; source && Name == "906")
            return source(Data);
        Data = BuildPerformanceData(Name, DialUpConnections(), DialUpNowMs());
        return ERROR_SUCCESS;
    }
};

} // namespace

std::string BuildPerformanceData(
    std::string_view ValueName, const std::vector<TConnectionView>& Connections, int64_t NowMs)
{
    const std::string Objects = ValueName == "906" ? RasPortObject(Connections, NowMs) : "";
    const std::string Name = WideName(SystemName());

    PERF_DATA_BLOCK Block{};
    std::memcpy(Block.Signature, u"PERF", sizeof(Block.Signature));
    Block.LittleEndian = 1;
    Block.Version = 1;
    Block.Revision = 1;
    Block.HeaderLength = static_cast<DWORD>((sizeof(PERF_DATA_BLOCK) + Name.size() + 7) / 8 * 8);
    Block.TotalByteLength = Block.HeaderLength + static_cast<DWORD>(Objects.size());
    Block.NumObjectTypes = Objects.empty() ? 0 : 1;
    Block.DefaultObject = Objects.empty() ? 0 : static_cast<LONG>(RasPortObjectIndex);
    Block.SystemTime = UtcSystemTime(NowMs);
    Block.PerfTime = Large(NowMs);
    Block.PerfFreq = Large(1000);
    Block.PerfTime100nSec = Large((NowMs + FileTimeEpochOffsetMs) * 10000);
    Block.SystemNameLength = static_cast<DWORD>(Name.size());
    Block.SystemNameOffset = sizeof(PERF_DATA_BLOCK);

    std::string Bytes;
    Append(Bytes, Block);
    Bytes += Name;
    Bytes.resize(Block.HeaderLength, '\0');
    return Bytes + Objects;
}

std::unique_ptr<TRegistryKey> OpenPerformanceDataKey(std::string_view Path)
{
    if (Path.empty())
        return std::make_unique<TPerformanceDataKey>();
    return nullptr;
}
