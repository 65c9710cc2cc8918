#include "ui/frmAboutDlg.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/DialogFrame.h"
#include "ui/LibraryVersions.h"
#include "ui/ZarnUtils.h"

namespace zarn {

namespace {

QLabel* CentredLabel(const QString& text, const QString& name, int pixelHeight, bool bold, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (pixelHeight > 0) {
        QFont font(QStringLiteral("Tahoma"));
        font.setPixelSize(pixelHeight);
        font.setBold(bold);
        label->setFont(font);
    }
    return label;
}

} // namespace

TAboutDlg::TAboutDlg(QWidget* parent)
    : QDialog(parent)
    , lblAppTitle(
          CentredLabel(QStringLiteral("ZarnVNC Viewer"), QStringLiteral("lblAppTitle"), 19, true, this))
    , lblVersionInfo(
          CentredLabel(QStringLiteral("Version ?.??.??"), QStringLiteral("lblVersionInfo"), 13, false, this))
    , Label1(CentredLabel(
          QStringLiteral("A VNC client for Linux."), QStringLiteral("Label1"), 13, false, this))
    , lblNotice(CentredLabel(QStringLiteral("Free to use, copy and share. Provided as is, without warranty."),
          QStringLiteral("lblNotice"), 0, false, this))
    , lblCredits(CentredLabel(
          QStringLiteral("Speaks RFB 3.3, 3.7 and 3.8. Built with Qt, libjpeg-turbo and giflib."),
          QStringLiteral("lblCredits"), 0, false, this))
    , lblLibraries(CentredLabel(LinkedLibrariesText(), QStringLiteral("lblLibraries"), 0, false, this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("AboutDlg"));
    SetupFixedDialog(*this, QStringLiteral("About"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addSpacing(8);
    layout->addWidget(lblAppTitle);
    layout->addWidget(lblVersionInfo);
    layout->addSpacing(8);
    layout->addWidget(Label1);
    layout->addStretch(1);
    layout->addWidget(lblNotice);
    layout->addWidget(lblCredits);
    layout->addWidget(lblLibraries);
    layout->addStretch(1);
    layout->addLayout(buttons);
    FixDialogSize(*this, 354, 250);
}

void TAboutDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TAboutDlg::keyPressEvent(QKeyEvent* event)
{
    // OK is the cancel button as well: Escape closes with the OK result, like Enter.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutDlg::FormShow()
{
    lblAppTitle->setText(ApplicationTitle());
    lblVersionInfo->setText(QStringLiteral("Version ") + GetVersionString());
}

} // namespace zarn
