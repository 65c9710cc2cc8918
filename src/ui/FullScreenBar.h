#pragma once
// TFullScreenBar (pnlFullScreenBar): the small black bar that slides down from the top edge in
// full-screen mode. It shows the remote desktop's name and three picture buttons: minimise,
// back to a window, and close. The bar only lays out its controls; the window decides when it
// shows and where it lies, and connects the buttons to its handlers.

#include <QFrame>

class QLabel;

namespace zarn {

class TPictureButton;

class TFullScreenBar : public QFrame {
    Q_OBJECT
public:
    explicit TFullScreenBar(QWidget* parent = nullptr);

    QLabel* imgBack;
    QLabel* lblDesktop;
    TPictureButton* jviMinimize;
    TPictureButton* jviRestore;
    TPictureButton* jviClose;
};

} // namespace zarn
