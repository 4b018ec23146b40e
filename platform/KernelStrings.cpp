#include "platform/KernelStrings.h"

#include "base/Ansi.h"

#include <QString>

int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    // A missing string sorts before every other, as an empty one would.
    const QString First = AnsiToString(lpString1 ? lpString1 : "");
    const QString Second = AnsiToString(lpString2 ? lpString2 : "");
    const int Order = QString::localeAwareCompare(First, Second);
    return Order < 0 ? -1 : Order > 0 ? 1 : 0;
}
