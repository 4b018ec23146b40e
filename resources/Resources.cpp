#include "resources/Resources.h"

#include <QtCore/qresource.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitResourcesOnce()
{
    Q_INIT_RESOURCE(zeltix);
}

void InitZeltixResources()
{
    static const bool done = (InitResourcesOnce(), true);
    (void)done;
}
