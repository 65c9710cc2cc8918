#pragma once
// TSettingsDlg: the user settings, the classic seven and those of the extensions. It shows the
// stored values each time it opens; OK stores and saves them at once, announces SettingsApplied
// (the window sets the pointer over the remote picture and its scaling) and, while a connection
// is up, has the session apply encodings, clipboard sharing, colour depth and frame rate without
// reconnecting; a colour switch the server leaves unanswered is reported and the store keeps the
// connection's mode. Cancel, Escape and the close box change nothing, not even after an OK whose
// save failed. Created once with the main window; it works on the window's store and session.

#include <functional>

#include <QDialog>

#include "settings/RegSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QVBoxLayout;

namespace zarn {

class TVNCRegSettings;
class TViewerSession;

class TSettingsDlg : public QDialog {
    Q_OBJECT
public:
    TSettingsDlg(TVNCRegSettings& settings, TViewerSession& session, QWidget* parent = nullptr);

    // The label under the track bar for a frame rate.
    static QString FrameRateText(int position);
    // The label beside the JPEG quality slider; -1 (set only in the ini file) never sends a
    // lossy picture.
    static QString JPEGQualityText(int quality);

    QGroupBox* grpEncodings;
    QCheckBox* chkCopyRect;
    QCheckBox* chkRRE;
    QCheckBox* chkHextile;
    QCheckBox* chkZRLE;
    QCheckBox* chkTight;
    QGroupBox* grpColours;
    QRadioButton* optTrueColor;
    QRadioButton* opt256Color;
    QGroupBox* grpFrameRate;
    QSlider* tbrFrameRate;
    QLabel* lblFrameRate;
    QCheckBox* chkShareClipboard;
    QLabel* Label1;
    QComboBox* cboCursor;
    // Settings of the protocol extensions and of the window beyond the classic seven. Their
    // controls come after every classic one, on screen and in the tab order.
    QGroupBox* grpExtensions;
    QCheckBox* chkAutoQuality;
    QSlider* tbrJPEGQuality;
    QLabel* lblJPEGQuality;
    QLabel* lblEncryption;
    QComboBox* cboEncryption;   // item index = the Encryption setting
    QCheckBox* chkScaleToWindow;
    QCheckBox* chkDesktopResize;
    QCheckBox* chkRemoteResize;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    // Tells the user something (the window passes on its own message display).
    std::function<void(const QString& text)> ShowMessage;

signals:
    // The stored values changed (after a successful save).
    void SettingsApplied();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildLayout();
    void FormShow();
    void tbrFrameRateChange();
    void tbrJPEGQualityChange();
    void cmdOKClick();
    void KeepSessionColours(bool trueColor);

    TVNCRegSettings& FSettings;
    TViewerSession& FSession;
    QVBoxLayout* FExtensionsLayout = nullptr;
    TVNCRegSettings::TSnapshot FOpenedWith {}; // the store's values when the dialog opened
    // The JPEG quality OK stores: the slider's position once it was moved, else the stored
    // value (which may be -1, a state the slider has no position for).
    int FJPEGQuality = 0;
};

} // namespace zarn
