#include "ui/PictureButton.h"

#include <QPainter>

namespace zarn {

TPictureButton::TPictureButton(QPixmap normal, QPixmap pressed, QWidget* parent)
    : QAbstractButton(parent)
    , FNormal(std::move(normal))
    , FPressed(std::move(pressed))
{
    setFocusPolicy(Qt::NoFocus);
    resize(sizeHint());
}

void TPictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, isDown() ? FPressed : FNormal);
}

} // namespace zarn
