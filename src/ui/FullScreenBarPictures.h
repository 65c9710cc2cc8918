#pragma once
// The pictures of the full-screen bar: its 300 x 19 background and its three 18 x 15 buttons,
// each in a normal and a held-down variant. Drawn in code like the toolbar's, so the program
// needs no picture files next to it.

#include <QPixmap>

namespace zarn {

enum class TBarButtonPicture { Minimize, Restore, Close };

inline constexpr int kBarWidth = 300;
inline constexpr int kBarHeight = 19;
inline constexpr int kBarButtonWidth = 18;
inline constexpr int kBarButtonHeight = 15;

QPixmap BarBackgroundPicture();
QPixmap BarButtonPicture(TBarButtonPicture which, bool pressed);

} // namespace zarn
