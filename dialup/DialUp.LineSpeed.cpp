#include "dialup/DialUp.h"

#include "platform/KernelStrings.h"
#include "platform/Tapi.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The telephony records the program hands over, with room for their variable parts.
constexpr DWORD CallListBytes = 152;
constexpr DWORD DevCapsBytes = 1276;
constexpr DWORD CallInfoBytes = 324;
static_assert(CallInfoBytes == sizeof(LINECALLINFO));
// What a line could sensibly need; a platform asking for more is not answered.
constexpr DWORD MaxRecordBytes = 1024 * 1024;

void IgnoreLineEvents(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
}

// A telephony record of a size that can grow, aligned for its 32-bit fields.
template <typename TRecord>
class TRecordBuffer {
public:
    explicit TRecordBuffer(DWORD Bytes) { Resize(Bytes); }

    TRecord* Record() { return reinterpret_cast<TRecord*>(FStorage.data()); }
    DWORD Bytes() const { return FBytes; }
    const char* Data() const { return reinterpret_cast<const char*>(FStorage.data()); }

    // Asks again, grown to what the platform needs, for as long as it needs more.
    template <typename TAsk>
    bool Fill(TAsk Ask)
    {
        while (Ask(Record()) == 0) {
            const DWORD Needed = Record()->dwNeededSize;
            if (Needed <= Record()->dwTotalSize)
                return true;
            if (Needed > MaxRecordBytes)
                return false;
            Resize(Needed);
        }
        return false;
    }

private:
    void Resize(DWORD Bytes)
    {
        FBytes = Bytes;
        FStorage.assign((Bytes + 3) / 4, 0);
        Record()->dwTotalSize = Bytes;
    }

    std::vector<DWORD> FStorage;
    DWORD FBytes = 0;
};

// The line's name from its capabilities, read only where the record holds it.
std::string LineName(const TRecordBuffer<LINEDEVCAPS>& Caps, const LINEDEVCAPS& Record)
{
    const uint64_t Offset = Record.dwLineNameOffset;
    const uint64_t Size = Record.dwLineNameSize;
    if (Size == 0 || Offset + Size > Caps.Bytes())
        return {};
    const char* Name = Caps.Data() + Offset;
    return std::string(Name, strnlen(Name, Size));
}

} // namespace

bool TDialUp::GetLineSpeed(const char* DeviceName, DWORD& Speed)
{
    Speed = 0;
    // Shut down however the search ends, which closes the line opened on the way.
    TLineApp App;
    DWORD NumDevs = 0;
    if (lineInitialize(App.Receive(), nullptr, &IgnoreLineEvents, "RasBaud", &NumDevs) != 0)
        return false;
    const HLINEAPP LineApp = App.Handle();

    TRecordBuffer<LINECALLLIST> CallList(CallListBytes);
    TRecordBuffer<LINEDEVCAPS> DevCaps(DevCapsBytes);
    LINECALLINFO CallInfo{};
    CallInfo.dwTotalSize = CallInfoBytes;

    bool Found = false;
    HCALL Call = 0;
    for (DWORD Device = 0; Device < NumDevs && !Found; ++Device) {
        DWORD Version = 0;
        LINEEXTENSIONID Extension{};
        if (lineNegotiateAPIVersion(LineApp, Device, TAPI_VERSION_2_0, TAPI_VERSION_2_0, &Version, &Extension) != 0)
            continue;
        if (!DevCaps.Fill([&](LINEDEVCAPS* Caps) { return lineGetDevCaps(LineApp, Device, Version, 0, Caps); }))
            continue;
        // The line is the device's when the names match exactly, letter case included.
        const std::string Name = LineName(DevCaps, *DevCaps.Record());
        if (lstrcmpA(DeviceName, Name.c_str()) != 0)
            continue;
        // Shutting the line application down closes the line again.
        HLINE Line = 0;
        if (lineOpen(LineApp, Device, &Line, Version, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr) != 0)
            continue;
        if (!CallList.Fill([&](LINECALLLIST* List) { return lineGetNewCalls(Line, 0, LINECALLSELECT_LINE, List); }))
            continue;
        const LINECALLLIST& List = *CallList.Record();
        if (List.dwCallsNumEntries == 0 || uint64_t{List.dwCallsOffset} + sizeof(HCALL) > CallList.Bytes())
            continue;
        std::memcpy(&Call, CallList.Data() + List.dwCallsOffset, sizeof(HCALL));
        Found = true;
    }

    bool Result = false;
    if (Found && lineGetCallInfo(Call, &CallInfo) == 0) {
        Speed = CallInfo.dwRate;
        Result = true;
    }
    return Result;
}
