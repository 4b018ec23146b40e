#include "dialup/PerfDataWalk.h"

#include "platform/PerfData.h"

#include <cstring>
#include <vector>

namespace {

// The reader keeps no more definitions per object than this.
constexpr DWORD MaxDefinitions = 50;

struct TDefinition {
    DWORD TitleIndex;
    DWORD CounterOffset;
};

// Reads 32-bit values only where the block has them. Offsets are 64-bit so that no sum of
// 32-bit lengths can wrap around.
class TBlockReader {
public:
    explicit TBlockReader(std::span<const BYTE> Bytes)
        : FBytes(Bytes)
    {
    }

    uint64_t Size() const { return FBytes.size(); }

    bool Dword(uint64_t Offset, DWORD& Value) const
    {
        if (Offset > FBytes.size() || FBytes.size() - Offset < sizeof(DWORD))
            return false;
        std::memcpy(&Value, FBytes.data() + Offset, sizeof(DWORD));
        return true;
    }

private:
    std::span<const BYTE> FBytes;
};

bool IsByteCounter(DWORD TitleIndex)
{
    return TitleIndex == RasBytesTransmittedIndex || TitleIndex == RasBytesReceivedIndex;
}

// One counter block within [Start, End): its byte counters go to the visitor, Next is where the
// following instance begins.
bool WalkCounterBlock(const TBlockReader& Reader, uint64_t Start, uint64_t End,
    const std::vector<TDefinition>& Definitions, TPerfDataVisitor& Visitor, uint64_t& Next)
{
    DWORD Length = 0;
    if (!Reader.Dword(Start, Length) || Length < sizeof(PERF_COUNTER_BLOCK) || Start + Length > End)
        return false;
    for (const TDefinition& Definition : Definitions) {
        if (!IsByteCounter(Definition.TitleIndex))
            continue;
        DWORD Value = 0;
        if (uint64_t{Definition.CounterOffset} + sizeof(DWORD) > Length ||
            !Reader.Dword(Start + Definition.CounterOffset, Value))
            return false;
        Visitor.Counter(Definition.TitleIndex, Value);
    }
    Next = Start + Length;
    return true;
}

// One object that lies within [Start, End).
bool WalkObject(const TBlockReader& Reader, uint64_t Start, uint64_t End, TPerfDataVisitor& Visitor)
{
    DWORD HeaderLength = 0, NumCounters = 0, RawInstances = 0;
    if (!Reader.Dword(Start + offsetof(PERF_OBJECT_TYPE, HeaderLength), HeaderLength) ||
        !Reader.Dword(Start + offsetof(PERF_OBJECT_TYPE, NumCounters), NumCounters) ||
        !Reader.Dword(Start + offsetof(PERF_OBJECT_TYPE, NumInstances), RawInstances) ||
        HeaderLength < sizeof(PERF_OBJECT_TYPE) || Start + HeaderLength > End)
        return false;
    if (NumCounters == 0)
        return true;

    std::vector<TDefinition> Definitions;
    uint64_t Position = Start + HeaderLength;
    for (DWORD i = 0; i < NumCounters; ++i) {
        if (i == MaxDefinitions)
            return false;
        DWORD Length = 0;
        TDefinition Definition{};
        if (!Reader.Dword(Position, Length) || Length < sizeof(PERF_COUNTER_DEFINITION) || Position + Length > End ||
            !Reader.Dword(Position + offsetof(PERF_COUNTER_DEFINITION, CounterNameTitleIndex), Definition.TitleIndex) ||
            !Reader.Dword(Position + offsetof(PERF_COUNTER_DEFINITION, CounterOffset), Definition.CounterOffset))
            return false;
        Definitions.push_back(Definition);
        Visitor.Definition();
        Position += Length;
    }

    const LONG NumInstances = static_cast<LONG>(RawInstances);
    if (NumInstances < 1) {
        // An object that can have instances but has none ends with its definitions.
        if (NumInstances == 0 && Position == End)
            return true;
        return WalkCounterBlock(Reader, Position, End, Definitions, Visitor, Position);
    }
    for (LONG i = 0; i < NumInstances; ++i) {
        DWORD Length = 0;
        if (!Reader.Dword(Position, Length) || Length < sizeof(PERF_INSTANCE_DEFINITION) || Position + Length > End)
            return false;
        if (!WalkCounterBlock(Reader, Position + Length, End, Definitions, Visitor, Position))
            return false;
    }
    return true;
}

} // namespace

TPerfDataVisitor::~TPerfDataVisitor() = default;

bool WalkPerfData(std::span<const BYTE> Block, TPerfDataVisitor& Visitor)
{
    const TBlockReader Reader(Block);
    DWORD HeaderLength = 0, NumObjectTypes = 0;
    if (!Reader.Dword(offsetof(PERF_DATA_BLOCK, HeaderLength), HeaderLength) ||
        !Reader.Dword(offsetof(PERF_DATA_BLOCK, NumObjectTypes), NumObjectTypes) || NumObjectTypes == 0 ||
        HeaderLength < sizeof(PERF_DATA_BLOCK))
        return false;

    uint64_t Object = HeaderLength;
    for (DWORD i = 0; i < NumObjectTypes; ++i) {
        Visitor.Object();
        DWORD TotalByteLength = 0;
        if (!Reader.Dword(Object + offsetof(PERF_OBJECT_TYPE, TotalByteLength), TotalByteLength) ||
            TotalByteLength < sizeof(PERF_OBJECT_TYPE) || Object + TotalByteLength > Reader.Size())
            return false;
        if (!WalkObject(Reader, Object, Object + TotalByteLength, Visitor))
            return false;
        Object += TotalByteLength;
    }
    return true;
}
