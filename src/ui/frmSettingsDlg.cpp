#include "ui/frmSettingsDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "protocol/ViewerSession.h"
#include "settings/RegSettings.h"
#include "ui/DialogFrame.h"
#include "ui/SessionSettings.h"
#include "ui/ZarnApplication.h"

namespace zarn {

TSettingsDlg::TSettingsDlg(TVNCRegSettings& settings, TViewerSession& session, QWidget* parent)
    : QDialog(parent)
    , grpEncodings(Named(new QGroupBox(QStringLiteral("&Encoding Methods"), this), "grpEncodings"))
    , chkCopyRect(Named(new QCheckBox(QStringLiteral("CopyRect"), grpEncodings), "chkCopyRect"))
    , chkRRE(Named(new QCheckBox(QStringLiteral("RRE (Run and Rise Encoding)"), grpEncodings), "chkRRE"))
    , chkHextile(Named(new QCheckBox(QStringLiteral("Hextile"), grpEncodings), "chkHextile"))
    , chkZRLE(Named(new QCheckBox(QStringLiteral("ZRLE"), grpEncodings), "chkZRLE"))
    , chkTight(Named(new QCheckBox(QStringLiteral("Tight"), grpEncodings), "chkTight"))
    , grpColours(Named(new QGroupBox(QStringLiteral("Desktop &Colours"), this), "grpColours"))
    , optTrueColor(Named(new QRadioButton(QStringLiteral("True Colour"), grpColours), "optTrueColor"))
    , opt256Color(Named(new QRadioButton(QStringLiteral("256 Colours"), grpColours), "opt256Color"))
    , grpFrameRate(Named(new QGroupBox(QStringLiteral("Target &Frame Rate"), this), "grpFrameRate"))
    , tbrFrameRate(Named(new QSlider(Qt::Horizontal, grpFrameRate), "tbrFrameRate"))
    , lblFrameRate(Named(new QLabel(QStringLiteral("0 updates per second"), grpFrameRate), "lblFrameRate"))
    , chkShareClipboard(Named(
          new QCheckBox(QStringLiteral("&Share Clipboard with Remote Computer"), this), "chkShareClipboard"))
    , Label1(Named(new QLabel(QStringLiteral("Local &Mouse Pointer:"), this), "Label1"))
    , cboCursor(Named(new QComboBox(this), "cboCursor"))
    , grpExtensions(Named(new QGroupBox(QStringLiteral("E&xtensions"), this), "grpExtensions"))
    , chkAutoQuality(Named(
          new QCheckBox(QStringLiteral("Lower the picture quality on slow links"), grpExtensions), "chkAutoQuality"))
    , tbrJPEGQuality(Named(new QSlider(Qt::Horizontal, grpExtensions), "tbrJPEGQuality"))
    , lblJPEGQuality(Named(new QLabel(grpExtensions), "lblJPEGQuality"))
    , lblEncryption(Named(new QLabel(QStringLiteral("Encryption:"), grpExtensions), "lblEncryption"))
    , cboEncryption(Named(new QComboBox(grpExtensions), "cboEncryption"))
    , chkScaleToWindow(
          Named(new QCheckBox(QStringLiteral("Scale the picture to the window"), grpExtensions), "chkScaleToWindow"))
    , chkDesktopResize(Named(
          new QCheckBox(QStringLiteral("Follow the server's desktop size"), grpExtensions), "chkDesktopResize"))
    , chkRemoteResize(Named(
          new QCheckBox(QStringLiteral("Resize the remote desktop to the window"), grpExtensions), "chkRemoteResize"))
    , cmdOK(Named(new QPushButton(QStringLiteral("OK"), this), "cmdOK"))
    , cmdCancel(Named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel"))
    , FSettings(settings)
    , FSession(session)
{
    setObjectName(QStringLiteral("SettingsDlg"));
    SetupFixedDialog(*this, QStringLiteral("Settings"));

    tbrFrameRate->setRange(TVNCRegSettings::kMinTargetFPS, TVNCRegSettings::kMaxTargetFPS);
    tbrFrameRate->setPageStep(10);
    tbrFrameRate->setTickInterval(10);
    tbrFrameRate->setTickPosition(QSlider::TicksBelow);
    tbrFrameRate->setValue(1);
    lblFrameRate->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    connect(tbrFrameRate, &QSlider::valueChanged, this, [this] { tbrFrameRateChange(); });

    tbrJPEGQuality->setRange(TVNCRegSettings::kMinJPEGQuality, TVNCRegSettings::kMaxJPEGQuality);
    tbrJPEGQuality->setPageStep(1);
    tbrJPEGQuality->setTickInterval(1);
    tbrJPEGQuality->setTickPosition(QSlider::TicksBelow);
    // A move of the slider (mouse or key) picks its position as the quality.
    connect(tbrJPEGQuality, &QSlider::valueChanged, this, [this] { tbrJPEGQualityChange(); });
    // The picture quality is Tight's alone.
    for (QWidget* control : std::initializer_list<QWidget*> { chkAutoQuality, tbrJPEGQuality, lblJPEGQuality })
        connect(chkTight, &QCheckBox::toggled, control, &QWidget::setEnabled);

    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setBuddy(cboCursor);
    cboCursor->addItems({ QStringLiteral("Standard Pointer"), QStringLiteral("Dot"), QStringLiteral("Crosshair"),
        QStringLiteral("None") });

    lblEncryption->setBuddy(cboEncryption);
    cboEncryption->addItems(
        { QStringLiteral("Off"), QStringLiteral("When the server offers it"), QStringLiteral("Required") });

    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, Guarded([this] { cmdOKClick(); }));
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    BuildLayout();
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, chkCopyRect);
    setTabOrder(chkCopyRect, chkRRE);
    setTabOrder(chkRRE, chkHextile);
    setTabOrder(chkHextile, optTrueColor);
    setTabOrder(optTrueColor, opt256Color);
    setTabOrder(opt256Color, tbrFrameRate);
    setTabOrder(tbrFrameRate, chkShareClipboard);
    setTabOrder(chkShareClipboard, cboCursor);
    setTabOrder(cboCursor, chkZRLE);
    setTabOrder(chkZRLE, chkTight);
    setTabOrder(chkTight, chkAutoQuality);
    setTabOrder(chkAutoQuality, tbrJPEGQuality);
    setTabOrder(tbrJPEGQuality, cboEncryption);
    setTabOrder(cboEncryption, chkScaleToWindow);
    setTabOrder(cboCursor, chkDesktopResize);
    setTabOrder(chkDesktopResize, chkRemoteResize);
    FixDialogSize(*this, 392, 293);
}

void TSettingsDlg::BuildLayout()
{
    auto* encodings = new QVBoxLayout(grpEncodings);
    encodings->addWidget(chkCopyRect);
    encodings->addWidget(chkRRE);
    encodings->addWidget(chkHextile);
    encodings->addWidget(chkZRLE);
    encodings->addWidget(chkTight);

    auto* colours = new QVBoxLayout(grpColours);
    colours->addWidget(optTrueColor);
    colours->addWidget(opt256Color);
    colours->addStretch(1);

    auto* frameRate = new QVBoxLayout(grpFrameRate);
    frameRate->addWidget(tbrFrameRate);
    frameRate->addWidget(lblFrameRate);

    auto* top = new QHBoxLayout;
    top->addWidget(grpEncodings, 3);
    top->addWidget(grpColours, 2);

    auto* pointer = new QHBoxLayout;
    pointer->addWidget(Label1, 1);
    pointer->addWidget(cboCursor, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grpFrameRate);
    layout->addWidget(chkShareClipboard);
    layout->addLayout(pointer);
    FExtensionsLayout = new QVBoxLayout(grpExtensions);
    FExtensionsLayout->addWidget(chkAutoQuality);
    auto* quality = new QHBoxLayout;
    quality->addWidget(lblJPEGQuality, 1);
    quality->addWidget(tbrJPEGQuality, 1);
    FExtensionsLayout->addLayout(quality);
    auto* encryption = new QHBoxLayout;
    encryption->addWidget(lblEncryption, 1);
    encryption->addWidget(cboEncryption, 1);
    FExtensionsLayout->addLayout(encryption);
    FExtensionsLayout->addWidget(chkScaleToWindow);
    FExtensionsLayout->addWidget(chkDesktopResize);
    FExtensionsLayout->addWidget(chkRemoteResize);
    layout->addWidget(grpExtensions);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

QString TSettingsDlg::FrameRateText(int position)
{
    if (position == 1)
        return QStringLiteral("1 update per second");
    return QString::number(position) + QStringLiteral(" updates per second");
}

QString TSettingsDlg::JPEGQualityText(int quality)
{
    if (quality < TVNCRegSettings::kMinJPEGQuality)
        return QStringLiteral("JPEG quality: never (lossless only)");
    return QStringLiteral("JPEG quality: ") + QString::number(quality);
}

void TSettingsDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TSettingsDlg::FormShow()
{
    const TVNCRegSettings& settings = FSettings;
    chkCopyRect->setChecked(settings.EncCopyRect());
    chkRRE->setChecked(settings.EncRRE());
    chkHextile->setChecked(settings.EncHextile());
    if (settings.TrueColor())
        optTrueColor->setChecked(true);
    else
        opt256Color->setChecked(true);
    tbrFrameRate->setValue(settings.TargetFPS());
    // The label follows the track bar's changes only; a value equal to the position it already
    // had (1 on the first showing) must still get its text.
    tbrFrameRateChange();
    chkShareClipboard->setChecked(settings.SharedClipboard());
    chkZRLE->setChecked(settings.EncZRLE());
    chkTight->setChecked(settings.EncTight());
    // toggled only reports changes; the first showing must set the state itself.
    for (QWidget* control : std::initializer_list<QWidget*> { chkAutoQuality, tbrJPEGQuality, lblJPEGQuality })
        control->setEnabled(settings.EncTight());
    chkAutoQuality->setChecked(settings.AutoQuality());
    // -1 has no position: the slider rests at its lowest and the label says "never" until the
    // slider is moved, which picks a quality. Placing it here is not such a move.
    {
        const QSignalBlocker quiet(tbrJPEGQuality);
        tbrJPEGQuality->setValue(std::max(settings.JPEGQuality(), TVNCRegSettings::kMinJPEGQuality));
    }
    FJPEGQuality = settings.JPEGQuality();
    lblJPEGQuality->setText(JPEGQualityText(FJPEGQuality));
    // Cursor 4 has no line: the list shows no selection then.
    const int cursor = settings.Cursor();
    cboCursor->setCurrentIndex(cursor < cboCursor->count() ? cursor : -1);
    cboEncryption->setCurrentIndex(settings.Encryption());
    chkScaleToWindow->setChecked(settings.ScaleToWindow());
    chkDesktopResize->setChecked(settings.DesktopResize());
    chkRemoteResize->setChecked(settings.RemoteResize());
    cmdOK->setFocus(Qt::OtherFocusReason);
    FOpenedWith = settings.Snapshot();
}

void TSettingsDlg::reject()
{
    // An OK whose save failed has already put the new values into the store; cancelling must
    // take them back, or the next connection would use them and the exit would save them.
    FSettings.Restore(FOpenedWith);
    QDialog::reject();
}

void TSettingsDlg::tbrFrameRateChange()
{
    lblFrameRate->setText(FrameRateText(tbrFrameRate->value()));
}

void TSettingsDlg::tbrJPEGQualityChange()
{
    FJPEGQuality = tbrJPEGQuality->value();
    lblJPEGQuality->setText(JPEGQualityText(FJPEGQuality));
}

void TSettingsDlg::cmdOKClick()
{
    TVNCRegSettings& settings = FSettings;
    settings.SetEncCopyRect(chkCopyRect->isChecked());
    settings.SetEncRRE(chkRRE->isChecked());
    settings.SetEncHextile(chkHextile->isChecked());
    settings.SetTrueColor(optTrueColor->isChecked());
    settings.SetTargetFPS(tbrFrameRate->value());
    settings.SetSharedClipboard(chkShareClipboard->isChecked());
    settings.SetEncZRLE(chkZRLE->isChecked());
    settings.SetEncTight(chkTight->isChecked());
    settings.SetAutoQuality(chkAutoQuality->isChecked());
    settings.SetJPEGQuality(FJPEGQuality);
    settings.SetCursor(cboCursor->currentIndex()); // -1 (no selection) is ignored
    settings.SetEncryption(cboEncryption->currentIndex());
    settings.SetScaleToWindow(chkScaleToWindow->isChecked());
    settings.SetDesktopResize(chkDesktopResize->isChecked());
    settings.SetRemoteResize(chkRemoteResize->isChecked());
    // A failed save throws: the dialog stays open and the error is shown.
    settings.Save();
    emit SettingsApplied();
    if (!FSession.Apply(SessionSettingsOf(settings)))
        KeepSessionColours(!settings.TrueColor());
    accept();
}

void TSettingsDlg::KeepSessionColours(bool trueColor)
{
    // The server left the switch unanswered and the session keeps its mode: the store and the
    // ini say so too, or the dialog and the next connection would claim the other one.
    FSettings.SetTrueColor(trueColor);
    FSettings.Save();
    if (ShowMessage)
        ShowMessage(QStringLiteral("The server did not answer the change of colours in time. The "
                                   "connection stays in %1.")
                        .arg(trueColor ? QStringLiteral("true colour") : QStringLiteral("256 colours")));
}

} // namespace zarn
