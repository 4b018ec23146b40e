#include "desktop/Seams.h"

TDesktopSeams& DesktopSeams()
{
    static TDesktopSeams Seams;
    return Seams;
}
