#pragma once

#include <functional>

class QMenu;
class QPoint;

// What a test may put in place of the desktop components' own behaviour. The components read
// it here and nowhere else, so a test that saves the whole object and puts it back leaves
// nothing behind.
struct TDesktopSeams {
    // While set, a tray icon's PopupAtCursor hands the menu and the cursor position to this
    // handler instead of running the menu.
    std::function<void(QMenu* Menu, const QPoint& Pos)> TrayPopupHandler;
};

TDesktopSeams& DesktopSeams();
