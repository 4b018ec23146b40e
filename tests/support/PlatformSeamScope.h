#pragma once

#include "platform/Seams.h"
#include "tests/support/SeamScope.h"

#include <optional>

// The platform's seams, the home most tests change.
class TPlatformSeamScope : public TSeamScope<TPlatformSeams> {
public:
    TPlatformSeamScope();
};

// The notification area for the scope's lifetime: true for one that takes icons without showing
// them, false for none, no value for the desktop's own. The scope starts and ends without icons
// or calls, as a desktop whose area has just changed; TSeamScope on ShellNotifyArea() puts back
// the icons that were there.
class TNotificationAreaScope {
public:
    explicit TNotificationAreaScope(std::optional<bool> available);
    ~TNotificationAreaScope();
    TNotificationAreaScope(const TNotificationAreaScope&) = delete;
    TNotificationAreaScope& operator=(const TNotificationAreaScope&) = delete;

private:
    std::optional<bool> FPrevious;
};
