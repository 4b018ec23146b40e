#pragma once

#include "platform/PerfData.h"

#include <cstring>
#include <string>
#include <vector>

// Hand-built performance data: one block header (no system name) and the objects added, laid
// out as the platform lays them out. The first object starts at 88; its counter definitions at
// 88 + 64, 40 bytes each; its counter values at offsets 4, 8, ... of each counter block.
class TPerfBlockBuilder {
public:
    // An object with the given counter title indexes. Without instances (NumInstances < 1)
    // Blocks holds the single counter block's values; else one row of values per instance.
    TPerfBlockBuilder& Object(
        const std::vector<DWORD>& Counters, LONG NumInstances, const std::vector<std::vector<DWORD>>& Blocks)
    {
        std::string Body;
        for (size_t i = 0; i < Counters.size(); ++i) {
            PERF_COUNTER_DEFINITION Definition{};
            Definition.ByteLength = sizeof(Definition);
            Definition.CounterNameTitleIndex = Counters[i];
            Definition.CounterType = PERF_COUNTER_RAWCOUNT;
            Definition.CounterSize = 4;
            Definition.CounterOffset = static_cast<DWORD>(4 + 4 * i);
            Append(Body, Definition);
        }
        for (size_t b = 0; b < Blocks.size(); ++b) {
            if (NumInstances >= 1) {
                PERF_INSTANCE_DEFINITION Instance{};
                Instance.ByteLength = 32;
                Instance.NameOffset = 24;
                Instance.NameLength = 4;
                Append(Body, Instance);
                const char16_t Name[4] = {static_cast<char16_t>(u'A' + b), 0, 0, 0};
                Body.append(reinterpret_cast<const char*>(Name), 8);
            }
            const DWORD Length = static_cast<DWORD>((4 + 4 * Counters.size() + 7) / 8 * 8);
            const size_t Start = Body.size();
            Append(Body, Length);
            for (DWORD Value : Blocks[b])
                Append(Body, Value);
            Body.resize(Start + Length, '\0');
        }
        PERF_OBJECT_TYPE Header{};
        Header.HeaderLength = sizeof(Header);
        Header.DefinitionLength =
            static_cast<DWORD>(sizeof(Header) + Counters.size() * sizeof(PERF_COUNTER_DEFINITION));
        Header.TotalByteLength = static_cast<DWORD>(sizeof(Header) + Body.size());
        Header.ObjectNameTitleIndex = RasPortObjectIndex;
        Header.NumCounters = static_cast<DWORD>(Counters.size());
        Header.NumInstances = NumInstances;
        Append(FObjects, Header);
        FObjects += Body;
        ++FCount;
        return *this;
    }

    std::string Bytes() const
    {
        PERF_DATA_BLOCK Block{};
        std::memcpy(Block.Signature, u"PERF", 8);
        Block.LittleEndian = 1;
        Block.Version = 1;
        Block.Revision = 1;
        Block.HeaderLength = sizeof(Block);
        Block.TotalByteLength = static_cast<DWORD>(sizeof(Block) + FObjects.size());
        Block.NumObjectTypes = FCount;
        std::string Result;
        Append(Result, Block);
        return Result + FObjects;
    }

private:
    template <typename T>
    static void Append(std::string& Bytes, const T& Value)
    {
        Bytes.append(reinterpret_cast<const char*>(&Value), sizeof(Value));
    }

    std::string FObjects;
    DWORD FCount = 0;
};

// The bytes with a 32-bit value put in at an offset, for blocks that do not hold together.
inline std::string Patched(std::string Bytes, size_t Offset, DWORD Value)
{
    std::memcpy(Bytes.data() + Offset, &Value, sizeof(Value));
    return Bytes;
}
