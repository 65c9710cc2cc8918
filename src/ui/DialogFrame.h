#pragma once
// The frame every dialog of the viewer shares: a fixed-size, non-resizable window with only a
// close box, the dialog font, and the given caption and client size.

#include <QString>

class QDialog;

namespace zarn {

void SetupFixedDialog(QDialog& dialog, const QString& caption, int clientWidth, int clientHeight);

} // namespace zarn
