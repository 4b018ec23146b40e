#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include <cstdint>

// A colour as the component streams store it: 0x00BBGGRR for a fixed colour, or
// 0x80000000 plus an index for one of the system's colours.
using TColor = std::uint32_t;

inline constexpr TColor clSystemColor = 0x80000000;
inline constexpr TColor clBtnFace = clSystemColor + 15;
inline constexpr TColor clPurple = 0x800080;

// The one place where a stored colour becomes a toolkit colour; system colours are looked up
// in the given palette (the application's palette when none is given).
QColor ColorToQColor(TColor color);
QColor ColorToQColor(TColor color, const QPalette& palette);

// Makes the fonts the windows are laid out for ("MS Sans Serif" and "Arial" at 8 points) fall
// back to stand-ins of the same height whose texts fit the places the layout gives them.
void SubstituteLayoutFonts();

// The one font of the program's windows and menus, the notification area's menu and the
// message boxes included: "MS Sans Serif" at 8 points, through its stand-in.
QFont LayoutFont();
