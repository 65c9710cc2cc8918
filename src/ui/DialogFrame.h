#pragma once
// The frame every dialog of the viewer shares: a fixed-size, non-resizable window with only a
// close box, the dialog font, and the given caption and client size.
//
// The sizes are made for Tahoma at 96 dots per inch. Where another font stands in for it and
// needs more room, the dialog grows to what its layout needs rather than cutting text off:
// call FixDialogSize once the controls and the layout exist.

#include <QObject>
#include <QString>

class QDialog;

namespace zarn {

// A control with its objectName, as tests and the layout code find it.
template <typename Control> Control* Named(Control* control, const char* name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

void SetupFixedDialog(QDialog& dialog, const QString& caption);
void FixDialogSize(QDialog& dialog, int clientWidth, int clientHeight);

} // namespace zarn
