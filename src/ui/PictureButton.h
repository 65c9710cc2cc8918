#pragma once
// TPictureButton: a flat button that is nothing but a picture, with a second picture shown
// while it is held down. It takes no keyboard focus: the keys belong to the remote desktop.

#include <QAbstractButton>
#include <QPixmap>

namespace zarn {

class TPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    TPictureButton(QPixmap normal, QPixmap pressed, QWidget* parent = nullptr);

    QSize sizeHint() const override { return FNormal.deviceIndependentSize().toSize(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap FNormal;
    QPixmap FPressed;
};

} // namespace zarn
