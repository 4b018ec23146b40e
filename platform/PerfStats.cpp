#include "platform/PerfStats.h"

#include "platform/DialUpSource.h"
#include "platform/RegistryKeys.h"
#include "platform/Seams.h"

#include <algorithm>

namespace {

constexpr std::string_view EnumPath = "System\\CurrentControlSet\\Control\\PerfStats\\Enum";

TPerfStatsTable CurrentTable()
{
    const TPerfStatsTable* chosen = PlatformSeams().PerfStats;
    return chosen ? *chosen : DialUpPerfStats();
}

std::string AdapterName(size_t Index)
{
    return Index == 0 ? std::string("Dial-Up Adapter") : "Dial-Up Adapter #" + std::to_string(Index + 1);
}

// StatData, StartStat and StopStat answer the same counters.
class TCounterKey : public TRegistryKey {
public:
    LONG QueryValue(std::string_view Name, DWORD& Type, std::string& Data) override
    {
        const TPerfStatsTable Table = CurrentTable();
        for (const auto& [ValueName, Bytes] : Table.Values)
            if (SameRegistryName(ValueName, Name)) {
                Type = REG_BINARY;
                Data = Bytes;
                return ERROR_SUCCESS;
            }
        return ERROR_FILE_NOT_FOUND;
    }

    std::vector<std::string> ValueNames() override
    {
        std::vector<std::string> Names;
        for (const auto& Value : CurrentTable().Values)
            Names.push_back(Value.first);
        return Names;
    }
};

class TEnumKey : public TRegistryKey {
public:
    LONG QueryValue(std::string_view, DWORD&, std::string&) override { return ERROR_FILE_NOT_FOUND; }
    std::vector<std::string> SubKeyNames() override { return CurrentTable().Objects; }
};

// A statistic object's own key: present, but nothing in it is read.
class TObjectKey : public TRegistryKey {
public:
    LONG QueryValue(std::string_view, DWORD&, std::string&) override { return ERROR_FILE_NOT_FOUND; }
};

} // namespace

std::string PerfStatBytes(DWORD Value)
{
    std::string Bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        Bytes[i] = static_cast<char>((Value >> (8 * i)) & 0xFF);
    return Bytes;
}

TPerfStatsTable DialUpPerfStats()
{
    TPerfStatsTable Table;
    Table.Objects.push_back("KERNEL");
    Table.Values.emplace_back("KERNEL\\CPUUsage", PerfStatBytes(0));

    const std::vector<TConnectionView> Connections = DialUpConnections();
    // The adapter is installed whether or not a connection uses it.
    const size_t Adapters = std::max<size_t>(1, Connections.size());
    for (size_t i = 0; i < Adapters; ++i) {
        const std::string Name = AdapterName(i);
        TConnectionView Connection;
        if (i < Connections.size())
            Connection = Connections[i];
        // The adapter's counters are 32 bits wide and wrap like them.
        const DWORD Speed = Connection.State == RASCS_Connected ? Connection.Speed : 0;
        Table.Objects.push_back(Name);
        Table.Values.emplace_back(Name + "\\TotalBytesXmit", PerfStatBytes(static_cast<DWORD>(Connection.BytesSent)));
        Table.Values.emplace_back(
            Name + "\\TotalBytesRecvd", PerfStatBytes(static_cast<DWORD>(Connection.BytesReceived)));
        Table.Values.emplace_back(Name + "\\ConnectSpeed", PerfStatBytes(Speed));
    }
    return Table;
}

std::unique_ptr<TRegistryKey> OpenDynDataKey(std::string_view Path)
{
    for (std::string_view Counters : {"PerfStats\\StatData", "PerfStats\\StartStat", "PerfStats\\StopStat"})
        if (SameRegistryName(Path, Counters))
            return std::make_unique<TCounterKey>();
    return nullptr;
}

std::unique_ptr<TRegistryKey> OpenPerfStatsEnumKey(std::string_view Path)
{
    if (SameRegistryName(Path, EnumPath))
        return std::make_unique<TEnumKey>();
    if (Path.size() > EnumPath.size() + 1 && SameRegistryName(Path.substr(0, EnumPath.size()), EnumPath) &&
        Path[EnumPath.size()] == '\\') {
        const std::string_view Object = Path.substr(EnumPath.size() + 1);
        for (const std::string& Name : CurrentTable().Objects)
            if (SameRegistryName(Name, Object))
                return std::make_unique<TObjectKey>();
    }
    return nullptr;
}
