#include "desktop/Icon.h"

TIcon::~TIcon()
{
    ReleaseHandle();
}

void TIcon::SetPicture(const QIcon& picture)
{
    ReleaseHandle();
    FPicture = picture;
}

HICON TIcon::Handle()
{
    if (!FHandle && !FPicture.isNull())
        FHandle = CreateIconHandle(FPicture);
    return FHandle;
}

void TIcon::ReleaseHandle()
{
    if (FHandle)
        DestroyIcon(FHandle);
    FHandle = 0;
}
