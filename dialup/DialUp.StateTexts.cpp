#include "dialup/DialUp.h"

#include "base/Ansi.h"
#include "dialup/RasBinding.h"
#include "dialup/StringResources.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// The platform's text for the code, asked for with a buffer of `Size` bytes. Cleared first: when
// the platform has no text for the code, the answer is empty.
QString ErrorText(int Error, DWORD Size)
{
    char Text[513] = {};
    RasBinding::RasGetErrorStringA(static_cast<UINT>(Error), Text, std::min<DWORD>(Size, sizeof(Text) - 1));
    return AnsiToString(std::string_view(Text, strnlen(Text, sizeof(Text))));
}

} // namespace

QString TDialUp::GetHangUpErrorText(int Error)
{
    return ErrorText(Error, 512);
}

void TDialUp::SetLanguage(TRasLanguage Value)
{
    FLanguage = Value;
    StringBase = (static_cast<int>(Value) + 1) * 1000;
}

QString TDialUp::GetStatusString(int State, int Error)
{
    if (Error != 0)
        return ErrorText(Error, 100);

    int Index;
    if (State >= RASCS_OpenPort && State <= RASCS_LogonNetwork)
        Index = State - RASCS_OpenPort + 1;
    else if (State >= RASCS_Interactive && State <= RASCS_PasswordExpired)
        Index = State - RASCS_Interactive + 23;
    else if (State == RASCS_Connected)
        Index = 27;
    else if (State == RASCS_Disconnected)
        Index = 28;
    else
        return QString();
    return LoadStr(StringBase + Index);
}
