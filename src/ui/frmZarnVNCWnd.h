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

#include <QWidget>

class QFileDialog;
class QFrame;
class QLabel;
class QScrollArea;
class QTimer;
class QToolButton;

namespace zarn {

class TAboutDlg;
class TClientPanel;
class TConnectDlg;
class TCursorTable;
class TFrameUpdateThrd;
class TRecentHosts;
class TSettingsDlg;
class TVNCPasswordDlg;
class TVNCProto;
class TVNCRegSettings;
enum class TToolbarPicture;

class TZarnVNCWnd : public QWidget {
    Q_OBJECT
public:
    // The ini file: empty means ZarnVNC.ini beside the executable.
    explicit TZarnVNCWnd(const std::filesystem::path& iniPath = {}, QWidget* parent = nullptr);
    ~TZarnVNCWnd() override;

    // The six modifier key symbols released on the server after each connection: left and
    // right Shift, Control and Alt.
    static constexpr uint16_t ModifierKeysyms[6] = { 0xFFE1, 0xFFE2, 0xFFE3, 0xFFE4, 0xFFE9, 0xFFEA };

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
    QFileDialog* dlgSavePic;

    // Asks for the screenshot's file name; an empty answer means cancelled. dlgSavePic unless
    // replaced (tests answer it themselves).
    std::function<QString()> AskScreenshotName;

    TVNCProto& Proto() { return *FProto; }
    TVNCRegSettings& Settings() { return *FSettings; }
    TRecentHosts& RecentHosts() { return *FRecentHosts; }
    TConnectDlg& ConnectDlg() { return *FConnectDlg; }
    TVNCPasswordDlg& VNCPasswordDlg() { return *FVNCPasswordDlg; }
    TAboutDlg& AboutDlg() { return *FAboutDlg; }
    TSettingsDlg& SettingsDlg() { return *FSettingsDlg; }
    // The running frame update thread, or null.
    TFrameUpdateThrd* UpdateThread() const { return FUpdateThread.get(); }

    // Sets the pointer over the remote picture from the Cursor setting.
    void ApplyCursorSetting();

    // Shows a plain message (the server's reason after a failed connection). Tests replace it.
    std::function<void(const QString& text)> ShowMessage;
    // What ShowMessage does unless replaced: a message box that shows the text as plain text.
    static void ShowPlainMessage(const QString& text);

public slots:
    void cmdConnectClick();
    void cmdDisconnectClick();
    void cmdSettingsClick();
    void cmdFullScreenClick();
    void cmdScreenshotClick();
    void cmdAboutClick();
    void tmrThroughputTimer();

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
    void UpdateThreadTerminated(uint64_t threadId);
    void StopUpdateThread();
    void StartUpdateThread();
    void ShowPlainBackground();
    void FileRecentHost();
    void SetCaption();
    void ReleaseRemoteModifiers();

    std::unique_ptr<TVNCProto> FProto;
    std::unique_ptr<TVNCRegSettings> FSettings;
    std::unique_ptr<TRecentHosts> FRecentHosts;
    std::unique_ptr<TCursorTable> FCursors;
    std::unique_ptr<TFrameUpdateThrd> FUpdateThread;
    std::unique_ptr<TConnectDlg> FConnectDlg;
    std::unique_ptr<TAboutDlg> FAboutDlg;
    std::unique_ptr<TVNCPasswordDlg> FVNCPasswordDlg;
    std::unique_ptr<TSettingsDlg> FSettingsDlg;
    bool FDestroyed = false;
};

} // namespace zarn
