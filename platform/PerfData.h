#pragma once

#include "platform/WinTypes.h"
#include "ras/service/ConnectionState.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TRegistryKey;

// The performance data that HKEY_PERFORMANCE_DATA answers, in the published layout of a
// program built for 32-bit Windows: pointers inside the records are 32-bit numbers, so the
// records keep their sizes on x86-64.

typedef struct _PERF_DATA_BLOCK {
    WCHAR Signature[4]; // "PERF"
    DWORD LittleEndian;
    DWORD Version;
    DWORD Revision;
    DWORD TotalByteLength;
    DWORD HeaderLength;
    DWORD NumObjectTypes;
    LONG DefaultObject;
    SYSTEMTIME SystemTime;
    LARGE_INTEGER PerfTime;
    LARGE_INTEGER PerfFreq;
    LARGE_INTEGER PerfTime100nSec;
    DWORD SystemNameLength;
    DWORD SystemNameOffset;
} PERF_DATA_BLOCK;

typedef struct _PERF_OBJECT_TYPE {
    DWORD TotalByteLength;
    DWORD DefinitionLength;
    DWORD HeaderLength;
    DWORD ObjectNameTitleIndex;
    DWORD ObjectNameTitle; // a 32-bit pointer, unused in data
    DWORD ObjectHelpTitleIndex;
    DWORD ObjectHelpTitle; // a 32-bit pointer, unused in data
    DWORD DetailLevel;
    DWORD NumCounters;
    LONG DefaultCounter;
    LONG NumInstances;
    DWORD CodePage;
    LARGE_INTEGER PerfTime;
    LARGE_INTEGER PerfFreq;
} PERF_OBJECT_TYPE;

typedef struct _PERF_COUNTER_DEFINITION {
    DWORD ByteLength;
    DWORD CounterNameTitleIndex;
    DWORD CounterNameTitle; // a 32-bit pointer, unused in data
    DWORD CounterHelpTitleIndex;
    DWORD CounterHelpTitle; // a 32-bit pointer, unused in data
    LONG DefaultScale;
    DWORD DetailLevel;
    DWORD CounterType;
    DWORD CounterSize;
    DWORD CounterOffset;
} PERF_COUNTER_DEFINITION;

// Followed by the instance's name, UTF-16 with a NUL, at NameOffset.
typedef struct _PERF_INSTANCE_DEFINITION {
    DWORD ByteLength;
    DWORD ParentObjectTitleIndex;
    DWORD ParentObjectInstance;
    LONG UniqueID;
    DWORD NameOffset;
    DWORD NameLength; // bytes, with the NUL
} PERF_INSTANCE_DEFINITION;

// Followed by the counter values at their CounterOffset.
typedef struct _PERF_COUNTER_BLOCK {
    DWORD ByteLength;
} PERF_COUNTER_BLOCK;

static_assert(sizeof(PERF_DATA_BLOCK) == 88);
static_assert(offsetof(PERF_DATA_BLOCK, TotalByteLength) == 20);
static_assert(offsetof(PERF_DATA_BLOCK, HeaderLength) == 24);
static_assert(offsetof(PERF_DATA_BLOCK, NumObjectTypes) == 28);
static_assert(offsetof(PERF_DATA_BLOCK, SystemTime) == 36);
static_assert(offsetof(PERF_DATA_BLOCK, PerfTime) == 56);
static_assert(offsetof(PERF_DATA_BLOCK, SystemNameOffset) == 84);

static_assert(sizeof(PERF_OBJECT_TYPE) == 64);
static_assert(offsetof(PERF_OBJECT_TYPE, TotalByteLength) == 0);
static_assert(offsetof(PERF_OBJECT_TYPE, HeaderLength) == 8);
static_assert(offsetof(PERF_OBJECT_TYPE, NumCounters) == 32);
static_assert(offsetof(PERF_OBJECT_TYPE, NumInstances) == 40);
static_assert(offsetof(PERF_OBJECT_TYPE, PerfTime) == 48);

static_assert(sizeof(PERF_COUNTER_DEFINITION) == 40);
static_assert(offsetof(PERF_COUNTER_DEFINITION, ByteLength) == 0);
static_assert(offsetof(PERF_COUNTER_DEFINITION, CounterNameTitleIndex) == 4);
static_assert(offsetof(PERF_COUNTER_DEFINITION, CounterOffset) == 36);

static_assert(sizeof(PERF_INSTANCE_DEFINITION) == 24);
static_assert(offsetof(PERF_INSTANCE_DEFINITION, ByteLength) == 0);
static_assert(offsetof(PERF_INSTANCE_DEFINITION, NameLength) == 20);

static_assert(sizeof(PERF_COUNTER_BLOCK) == 4);

// NumInstances of an object that has no instances, only one counter block.
constexpr LONG PERF_NO_INSTANCES = -1;
constexpr LONG PERF_NO_UNIQUE_ID = -1;
constexpr DWORD PERF_DETAIL_NOVICE = 100;
constexpr DWORD PERF_COUNTER_RAWCOUNT = 0x00010000;

// Title indexes of the dial-up port object and its byte counters.
constexpr DWORD RasPortObjectIndex = 906;
constexpr DWORD RasBytesTransmittedIndex = 872;
constexpr DWORD RasBytesReceivedIndex = 874;

// The whole block for the value name: "906" holds the dial-up port object with an instance per
// connection that exists, named by its device; any other name an empty block.
std::string BuildPerformanceData(
    std::string_view ValueName, const std::vector<TConnectionView>& Connections, int64_t NowMs);

// A test may answer the value "906" itself: TPlatformSeams::PerfDataSource.

// The provider for the registry's table.
std::unique_ptr<TRegistryKey> OpenPerformanceDataKey(std::string_view Path);
