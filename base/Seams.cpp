#include "base/Seams.h"

TBaseSeams& BaseSeams()
{
    static TBaseSeams Seams;
    return Seams;
}
