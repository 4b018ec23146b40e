#include "ras/service/ServiceSeams.h"

TServiceSeams& ServiceSeams()
{
    static TServiceSeams Seams;
    return Seams;
}
