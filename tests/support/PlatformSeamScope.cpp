#include "tests/support/PlatformSeamScope.h"

#include "platform/ShellNotify.h"

TPlatformSeamScope::TPlatformSeamScope()
    : TSeamScope(PlatformSeams())
{
}

TNotificationAreaScope::TNotificationAreaScope(std::optional<bool> available)
    : FPrevious(PlatformSeams().NotificationArea)
{
    PlatformSeams().NotificationArea = available;
    ShellNotifyArea().Reset();
}

TNotificationAreaScope::~TNotificationAreaScope()
{
    PlatformSeams().NotificationArea = FPrevious;
    ShellNotifyArea().Reset();
}
