#pragma once
// The 32 x 32 pictures of the six toolbar buttons, drawn in code so that the program needs no
// picture files next to it.

#include <QPixmap>

namespace zarn {

enum class TToolbarPicture { Connect, Disconnect, Settings, FullScreen, Screenshot, About };

inline constexpr int kToolbarPictureSize = 32;

QPixmap ToolbarPicture(TToolbarPicture which);

} // namespace zarn
