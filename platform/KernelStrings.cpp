#include "platform/KernelStrings.h"

#include "base/Ansi.h"

#include <QString>

#include <cstring>

int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    // A missing string sorts before every other, as an empty one would.
    const char* first = lpString1 ? lpString1 : "";
    const char* second = lpString2 ? lpString2 : "";
    // The same bytes are the same text in every locale; only different ones need collating.
    if (std::strcmp(first, second) == 0)
        return 0;
    const QString First = AnsiToString(first);
    const QString Second = AnsiToString(second);
    const int Order = QString::localeAwareCompare(First, Second);
    return Order < 0 ? -1 : Order > 0 ? 1 : 0;
}
