#pragma once
// TZarnVNCWnd: the viewer's main window. It owns the engine, the settings and the recent hosts
// for the whole run, creates the dialogs, runs the connection flow and, per connection, one frame
// update thread that paints the remote picture onto pnlClient.
//
// Threads: everything here runs on the GUI thread. The frame update thread only paces; its steps
// reach this window through queued calls (QMetaObject::invokeMethod) and are cancelled when the
// thread is stopped, so stopping and joining it from here never deadlocks. The window holds the
// thread; the thread's end handler names the thread that ended, and only the current one is
// dropped, so a replaced thread can never end its successor's connection.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <QLocale>
#include <QWidget>

#include "protocol/VeNCrypt.h"
#include "ui/KeyboardX11.h"
#include "ui/PrintHotKeys.h"

class QFileDialog;
class QFrame;
class QKeyEvent;
class QMouseEvent;
class QLabel;
class QScrollArea;
class QTimer;
class QToolButton;

namespace zarn {

class TAboutDlg;
class TCertificateDlg;
class TClientPanel;
class TClipboardSharing;
class TConnectDlg;
class TCursorTable;
class TFrameUpdateThrd;
class TFullScreenBar;
class TRecentHosts;
class TSettingsDlg;
class TVNCPasswordDlg;
class TVNCProto;
class TVNCRegSettings;
class TViewerSession;
enum class TToolbarPicture;

class TZarnVNCWnd : public QWidget {
    Q_OBJECT
public:
    // The ini file: empty means the one DefaultIniPath() chooses (settings/IniLocation.h).
    explicit TZarnVNCWnd(const std::filesystem::path& iniPath = {}, QWidget* parent = nullptr);
    ~TZarnVNCWnd() override;

    QWidget* pnlToolbar;
    QToolButton* cmdConnect;
    QToolButton* cmdDisconnect;
    QToolButton* cmdSettings;
    QToolButton* cmdFullScreen;
    QToolButton* cmdScreenshot;
    QToolButton* cmdAbout;
    QFrame* Bevel1;
    QFrame* Bevel2;
    QFrame* Bevel3;
    QLabel* lblSendRate;
    QLabel* lblRecvRate;
    QLabel* lblFrameRate;
    QLabel* lblSendBPS;
    QLabel* lblRecvBPS;
    QLabel* lblRecvFPS;
    QScrollArea* sbxClient;
    TClientPanel* pnlClient;
    QTimer* tmrThroughput;
    TFullScreenBar* pnlFullScreenBar;
    QTimer* tmrShowFSPanel;
    QTimer* tmrHideFSPanel;
    QFileDialog* dlgSavePic = nullptr;   // made by SavePicDialog, at the first screenshot
    QFileDialog& SavePicDialog();

    // Asks for the screenshot's file name; an empty answer means cancelled. dlgSavePic unless
    // replaced (tests answer it themselves).
    std::function<QString()> AskScreenshotName;

    TVNCProto& Proto() { return *FProto; }
    TVNCRegSettings& Settings() { return *FSettings; }
    TRecentHosts& RecentHosts() { return *FRecentHosts; }
    TConnectDlg& ConnectDlg() { return *FConnectDlg; }
    TVNCPasswordDlg& VNCPasswordDlg() { return *FVNCPasswordDlg; }
    TCertificateDlg& CertificateDlg();
    TAboutDlg& AboutDlg() { return *FAboutDlg; }
    TSettingsDlg& SettingsDlg() { return *FSettingsDlg; }
    // The running frame update thread, or null.
    TFrameUpdateThrd* UpdateThread() const;
    TViewerSession& Session() { return *FSession; }

    // Sets the pointer over the remote picture from the Cursor setting.
    void ApplyCursorSetting();
    // Scales the remote picture to the window, or shows it one-to-one with scroll bars, from
    // the ScaleToWindow setting; takes effect at once, also during a session.
    void ApplyScaleSetting();
    // Sizes pnlClient for the picture: the scroll box's whole visible area when scaling (no
    // scroll bars), else the framebuffer's one-to-one size (TPictureGeometry::OneToOnePanelSize:
    // the framebuffer divided by the device pixel ratio, so one server pixel is one device
    // pixel). Called after Connect, when the framebuffer changes size and when the ratio does.
    void FitPanelToPicture();
    // Asks the server for the room the picture has, once the session's rule says so.
    QTimer* tmrRemoteResize = nullptr;

    // Full-screen mode is the window's own full-screen state, nothing kept beside it: a window
    // minimised from full screen is still in it and comes back in it.
    bool InFullScreenMode() const;
    // The bar's share of a pointer move over pnlClient (position in pnlClient's pixels), run
    // after the move has gone to the server: the top four rows of the visible picture call the
    // bar in, a move below them sends it away; nothing starts while the bar is sliding.
    void FullScreenPointerMoved(const QPoint& panelPosition);

    // Shows a plain message (the server's reason after a failed connection). Tests replace it.
    std::function<void(const QString& text)> ShowMessage;
    // What ShowMessage does unless replaced: a message box that shows the text as plain text.
    static void ShowPlainMessage(const QString& text);
    // Sounds the desktop's bell for the server's Bell message. Tests replace it.
    std::function<void()> Beep;

    // ---- input capture (frmZarnVNCWndInput.cpp) ----
    // Keys of the main window, passed to the server; the event goes on unchanged.
    void FormKeyDown(QKeyEvent& event);
    void FormKeyUp(QKeyEvent& event);
    // True when the key must not do its dialog work (Tab moving the focus, Alt).
    bool CMDialogKey(const QKeyEvent& event);
    // The application-wide key hook, ahead of every window of the program: system keys (Alt
    // held, Alt itself, F10) go to the server only; the main window's keys go to FormKeyDown
    // and FormKeyUp. True when the event is consumed.
    bool AppMessage(QObject* receiver, QEvent* event);
    // The program became the active application again: releases the six modifiers remotely.
    void AppActivate();
    // A Print Screen hot key with its shift set: one Print press and release to the server.
    void WMHotKey(TShiftState shift);
    void pnlClientMouseDown(QMouseEvent& event);
    void pnlClientMouseMove(QMouseEvent& event);
    void pnlClientMouseUp(QMouseEvent& event);

    // Connects at start to a server named on the command line or by a vnc:// link: the Connect
    // dialog takes host and port as if they had been typed, then the flow of its OK runs
    // (password prompt, recent hosts, caption).
    void ConnectTo(const std::string& host, int port, const std::string& userName = {});

public slots:
    void cmdConnectClick();
    void cmdDisconnectClick();
    void cmdSettingsClick();
    void cmdFullScreenClick();
    void cmdScreenshotClick();
    void cmdAboutClick();
    void tmrThroughputTimer();
    void tmrShowFSPanelTimer();
    void tmrHideFSPanelTimer();
    void jviMinimizeClick();
    void jviRestoreClick();
    void jviCloseClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate(const std::filesystem::path& iniPath);
    void FormDestroy();
    void CreateDialogs();
    void BuildLayout();
    void BuildToolbar();
    void BuildRateBox(QFrame*& bevel, QLabel*& caption, QLabel*& value, const QString& bevelName,
        const QString& captionName, const QString& captionText, const QString& valueName, int left);
    QToolButton* AddToolbarButton(
        const QString& name, const QString& caption, int left, TToolbarPicture picture);

    std::string RequestPassword();
    // ---- encryption (ZarnVNCWndEncryption.cpp) ----
    // Before each Connect: the Encryption setting, the trust store and the prompts into the engine.
    void PrepareEncryption();
    bool RequestCredentials(std::string& userName, std::string& password);
    TCertificateDecision AskCertificate(const TCertificateInfo& info);
    // After a failed Connect: what failed in the encrypted set-up, unless the user chose it.
    void ShowEncryptionFailure();
    // Whether ending a connection gives the caption back its plain title. Only the user's own
    // Disconnect and a new Connect do; a connection that ended by itself keeps naming its desktop.
    enum class TCaptionAfterClose { Reset, Keep };
    void CloseConnection(TCaptionAfterClose caption);
    void ShowPlainBackground();
    void ConnectToChosenServer();
    void FileRecentHost();
    void SetCaption();
    void ReleaseRemoteModifiers();
    void ShowThroughput();
    void BuildFullScreenBar();
    void FormResize();
    void BuildDesktopResize();
    void FollowDesktopSize();
    void RoomForPictureChanged();
    void tmrRemoteResizeTimer();
    void InstallInputCapture();
    void RemoveInputCapture();
    void SendSystemKey(const QKeyEvent& event);
    void SendPointer(const QMouseEvent& event);

    std::unique_ptr<TVNCProto> FProto;
    std::unique_ptr<TVNCRegSettings> FSettings;
    std::unique_ptr<TRecentHosts> FRecentHosts;
    std::unique_ptr<TCursorTable> FCursors;
    // The session's steps (opening, live settings, the frame update thread, closing).
    std::unique_ptr<TViewerSession> FSession;
    // The user name the next connection starts from (the command line's USER@HOST), then empty.
    std::string FNextUserName;
    std::unique_ptr<TConnectDlg> FConnectDlg;
    std::unique_ptr<TAboutDlg> FAboutDlg;
    std::unique_ptr<TVNCPasswordDlg> FVNCPasswordDlg;
    std::unique_ptr<TCertificateDlg> FCertificateDlg; // made at the first certificate asked about
    bool FCertificateRefused = false;                 // by the user, in the Connect under way
    std::unique_ptr<TClipboardSharing> FClipboardSharing;
    // The engine's counters at the previous throughput tick.
    uint64_t FLastBytesSent = 0;
    uint64_t FLastBytesReceived = 0;
    uint64_t FLastFramesReceived = 0;
    std::unique_ptr<TSettingsDlg> FSettingsDlg;
    bool FDestroyed = false;
    TKeyboardX11 FKeyboard;
    std::unique_ptr<QObject> FAppMessageFilter;
    std::unique_ptr<TPrintHotKeys> FPrintHotKeys;
};

// The text of a rate label for n bytes in a second: bytes below 1 KB, KB with one decimal below
// 60 KB, whole KB below 1 MB, then MB with two decimals; decimals use the locale's separator.
QString FormatRate(int32_t n, const QLocale& locale = QLocale::system());

} // namespace zarn
