#include "ui/FullScreenBar.h"

#include <QLabel>

#include "ui/FullScreenBarPictures.h"
#include "ui/PictureButton.h"

namespace zarn {

namespace {

TPictureButton* AddButton(QWidget* bar, const QString& name, TBarButtonPicture picture, int left)
{
    auto* button = new TPictureButton(BarButtonPicture(picture, false), BarButtonPicture(picture, true), bar);
    button->setObjectName(name);
    button->setGeometry(left, 1, kBarButtonWidth, kBarButtonHeight);
    return button;
}

} // namespace

TFullScreenBar::TFullScreenBar(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("pnlFullScreenBar"));
    setFrameShape(QFrame::NoFrame);
    setFixedSize(kBarWidth, kBarHeight);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);

    imgBack = new QLabel(this);
    imgBack->setObjectName(QStringLiteral("imgBack"));
    imgBack->setGeometry(0, 0, kBarWidth, kBarHeight);
    imgBack->setPixmap(BarBackgroundPicture());

    lblDesktop = new QLabel(QStringLiteral("?"), this);
    lblDesktop->setObjectName(QStringLiteral("lblDesktop"));
    lblDesktop->setGeometry(14, 2, 216, 15);
    lblDesktop->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // The name comes from the server: never read as markup.
    lblDesktop->setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    lblDesktop->setFont(font);

    jviMinimize = AddButton(this, QStringLiteral("jviMinimize"), TBarButtonPicture::Minimize, 236);
    jviRestore = AddButton(this, QStringLiteral("jviRestore"), TBarButtonPicture::Restore, 256);
    jviClose = AddButton(this, QStringLiteral("jviClose"), TBarButtonPicture::Close, 276);

    hide();
}

} // namespace zarn
