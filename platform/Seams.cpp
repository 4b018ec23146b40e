#include "platform/Seams.h"

#include <new>

TPlatformSeams& PlatformSeams()
{
    // Made on first use, as components reach the platform while the program's statics are
    // made, and never destroyed, as others still ask for the clock while they go at the end.
    alignas(TPlatformSeams) static unsigned char Storage[sizeof(TPlatformSeams)];
    static TPlatformSeams* const Seams = new (Storage) TPlatformSeams;
    return *Seams;
}
