#include "app/Seams.h"

TAppSeams& AppSeams()
{
    static TAppSeams Seams;
    return Seams;
}
