#pragma once

#include "platform/ShellNotify.h"

#include <QIcon>

// A picture for the notification area. It hands out a platform icon handle for its picture,
// made when first asked for and given back when the picture changes or the icon goes.
class TIcon {
public:
    TIcon() = default;
    ~TIcon();
    TIcon(const TIcon&) = delete;
    TIcon& operator=(const TIcon&) = delete;

    void Assign(const TIcon& source) { SetPicture(source.FPicture); }
    void SetPicture(const QIcon& picture);
    const QIcon& Picture() const { return FPicture; }
    bool Empty() const { return FPicture.isNull(); }
    void Clear() { SetPicture(QIcon()); }
    // 0 while the icon is empty.
    HICON Handle();

private:
    void ReleaseHandle();

    QIcon FPicture;
    HICON FHandle = 0;
};
