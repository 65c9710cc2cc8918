#include "ui/frmZarnVNCWnd.h"

#include <algorithm>
#include <limits>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "protocol/FrameUpdateThrd.h"
#include "protocol/KeyMapping.h"
#include "protocol/VNCProto.h"
#include "protocol/ViewerSession.h"
#include "settings/RecentHosts.h"
#include "settings/RegSettings.h"
#include "ui/BusyCursor.h"
#include "ui/ClientPanel.h"
#include "ui/HostPortText.h"
#include "ui/PictureGeometry.h"
#include "ui/ClipboardSharing.h"
#include "ui/Screenshot.h"
#include "ui/SessionSettings.h"
#include "ui/ToolbarPictures.h"
#include "ui/ZarnApplication.h"
#include "ui/ZarnCursors.h"
#include "ui/ZarnUtils.h"
#include "ui/frmAboutDlg.h"
#include "ui/frmCertificateDlg.h"
#include "ui/frmConnectDlg.h"
#include "ui/frmSettingsDlg.h"
#include "ui/frmVNCPasswordDlg.h"

namespace zarn {

namespace {

constexpr int kClientWidth = 795;
constexpr int kClientHeight = 645;
constexpr int kToolbarHeight = 65;
// cmdAbout keeps this distance from the right edge of the toolbar.
constexpr int kAboutRightOffset = kClientWidth - 720;
constexpr int kDesignPanelWidth = 1024;
constexpr int kDesignPanelHeight = 768;

const QString kPortableSuffix = QStringLiteral(" (Portable Edition)");

} // namespace

TZarnVNCWnd::TZarnVNCWnd(const std::filesystem::path& iniPath, QWidget* parent)
    : QWidget(parent)
    , ShowMessage(&TZarnVNCWnd::ShowPlainMessage)
    , Beep(&QApplication::beep)
{
    setObjectName(QStringLiteral("ZarnVNCWnd"));
    BuildLayout();
    FormCreate(iniPath);
    // The dialogs come after FormCreate, as the program's other forms do: they reach the engine
    // and the recent hosts that FormCreate has just made.
    CreateDialogs();
}

TZarnVNCWnd::~TZarnVNCWnd()
{
    FormDestroy();
}

// ---- creation and destruction ----

void TZarnVNCWnd::BuildLayout()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    resize(kClientWidth, kClientHeight);
    move(0, 0);

    BuildToolbar();

    sbxClient = new QScrollArea(this);
    sbxClient->setObjectName(QStringLiteral("sbxClient"));
    sbxClient->setFrameShape(QFrame::NoFrame);
    sbxClient->setWidgetResizable(false);
    sbxClient->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette black = sbxClient->palette();
    black.setColor(QPalette::Window, Qt::black);
    sbxClient->setPalette(black);
    sbxClient->setBackgroundRole(QPalette::Window);
    sbxClient->viewport()->setAutoFillBackground(true);
    sbxClient->viewport()->setPalette(black);
    // Every key belongs to the remote desktop: a focused scroll box would also scroll the local
    // view on the arrow and page keys. The wheel and the scroll bars need no focus.
    sbxClient->setFocusPolicy(Qt::NoFocus);
    sbxClient->horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
    sbxClient->verticalScrollBar()->setFocusPolicy(Qt::NoFocus);

    pnlClient = new TClientPanel;
    pnlClient->resize(kDesignPanelWidth, kDesignPanelHeight);
    sbxClient->setWidget(pnlClient);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlToolbar);
    layout->addWidget(sbxClient, 1);

    tmrThroughput = new QTimer(this);
    tmrThroughput->setObjectName(QStringLiteral("tmrThroughput"));
    tmrThroughput->setInterval(1000);
    connect(tmrThroughput, &QTimer::timeout, this, Guarded([this] { tmrThroughputTimer(); }));

    BuildFullScreenBar();
}

QToolButton* TZarnVNCWnd::AddToolbarButton(
    const QString& name, const QString& caption, int left, TToolbarPicture picture)
{
    auto* button = new QToolButton(pnlToolbar);
    button->setObjectName(name);
    button->setText(caption);
    button->setIcon(QIcon(ToolbarPicture(picture)));
    button->setIconSize(QSize(kToolbarPictureSize, kToolbarPictureSize));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(left, 4, 64, 57);
    return button;
}

void TZarnVNCWnd::BuildRateBox(QFrame*& bevel, QLabel*& caption, QLabel*& value, const QString& bevelName,
    const QString& captionName, const QString& captionText, const QString& valueName, int left)
{
    bevel = new QFrame(pnlToolbar);
    bevel->setObjectName(bevelName);
    bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bevel->setGeometry(left, 14, 64, 41);

    caption = new QLabel(captionText, pnlToolbar);
    caption->setObjectName(captionName);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    caption->setGeometry(left + 1, 16, 62, 16);

    value = new QLabel(QStringLiteral("0"), pnlToolbar);
    value->setObjectName(valueName);
    value->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    value->setGeometry(left + 2, 35, 59, 16);
}

void TZarnVNCWnd::BuildToolbar()
{
    pnlToolbar = new QWidget(this);
    pnlToolbar->setObjectName(QStringLiteral("pnlToolbar"));
    pnlToolbar->setFixedHeight(kToolbarHeight);

    cmdConnect = AddToolbarButton(
        QStringLiteral("cmdConnect"), QStringLiteral("Connect"), 10, TToolbarPicture::Connect);
    cmdDisconnect = AddToolbarButton(
        QStringLiteral("cmdDisconnect"), QStringLiteral("Disconnect"), 80, TToolbarPicture::Disconnect);
    cmdSettings = AddToolbarButton(
        QStringLiteral("cmdSettings"), QStringLiteral("Settings"), 150, TToolbarPicture::Settings);
    cmdFullScreen = AddToolbarButton(
        QStringLiteral("cmdFullScreen"), QStringLiteral("Full Screen"), 220, TToolbarPicture::FullScreen);
    cmdScreenshot = AddToolbarButton(
        QStringLiteral("cmdScreenshot"), QStringLiteral("Screenshot"), 290, TToolbarPicture::Screenshot);
    cmdAbout = AddToolbarButton(QStringLiteral("cmdAbout"), QStringLiteral("About"),
        kClientWidth - kAboutRightOffset, TToolbarPicture::About);

    BuildRateBox(Bevel2, lblSendRate, lblSendBPS, QStringLiteral("Bevel2"), QStringLiteral("lblSendRate"),
        QStringLiteral("Send rate:"), QStringLiteral("lblSendBPS"), 393);
    BuildRateBox(Bevel1, lblRecvRate, lblRecvBPS, QStringLiteral("Bevel1"), QStringLiteral("lblRecvRate"),
        QStringLiteral("Recv rate:"), QStringLiteral("lblRecvBPS"), 463);
    BuildRateBox(Bevel3, lblFrameRate, lblRecvFPS, QStringLiteral("Bevel3"), QStringLiteral("lblFrameRate"),
        QStringLiteral("Frame rate:"), QStringLiteral("lblRecvFPS"), 533);

    connect(cmdConnect, &QToolButton::clicked, this, Guarded([this] { cmdConnectClick(); }));
    connect(cmdDisconnect, &QToolButton::clicked, this, Guarded([this] { cmdDisconnectClick(); }));
    connect(cmdSettings, &QToolButton::clicked, this, Guarded([this] { cmdSettingsClick(); }));
    connect(cmdFullScreen, &QToolButton::clicked, this, Guarded([this] { cmdFullScreenClick(); }));
    connect(cmdScreenshot, &QToolButton::clicked, this, Guarded([this] { cmdScreenshotClick(); }));
    connect(cmdAbout, &QToolButton::clicked, this, Guarded([this] { cmdAboutClick(); }));
}

void TZarnVNCWnd::FormCreate(const std::filesystem::path& iniPath)
{
    FProto = std::make_unique<TVNCProto>();
    FProto->OnPasswordRequest = [this] { return RequestPassword(); };
    FProto->Hooks.OnBell = [this] {
        if (Beep)
            Beep();
    };
    // A key, click or clipboard text that could not be sent is the user's own action failing:
    // it is shown, once, after the handler that sent it has finished.
    FProto->Hooks.OnSendFailed = [this](const std::string& why) {
        const QString text = QStringLiteral("Sending to the server failed: ") + QString::fromStdString(why);
        QMetaObject::invokeMethod(this, [text] { ShowApplicationError(text); }, Qt::QueuedConnection);
    };
    FClipboardSharing = std::make_unique<TClipboardSharing>(*FProto, *QGuiApplication::clipboard());
    FSession = std::make_unique<TViewerSession>(*FProto,
        TViewerSession::THost {
            .PostToMain = [this](TMainThreadDispatcher::TStep step) {
                QMetaObject::invokeMethod(this, Guarded(std::move(step)), Qt::QueuedConnection);
            },
            .PaintFrame = [this] { pnlClient->RepaintChanged(FProto->TakeChangedRegion()); },
            // The connection itself is closed by the throughput timer's next tick.
            .ThreadEnded = {},
        });
    BuildDesktopResize();

    FSettings
        = iniPath.empty() ? std::make_unique<TVNCRegSettings>() : std::make_unique<TVNCRegSettings>(iniPath);
    FSettings->Load();
    // The store cannot raise from its destructor; a final save that fails is still reported.
    FSettings->OnFinalSaveError
        = [](const std::string& message) { ShowApplicationError(QString::fromStdString(message)); };

    FRecentHosts
        = iniPath.empty() ? std::make_unique<TRecentHosts>() : std::make_unique<TRecentHosts>(iniPath);
    FRecentHosts->LoadFromIni();

    SetApplicationTitle(ApplicationTitle() + kPortableSuffix);
    setWindowTitle(ApplicationTitle());
    InstallInputCapture();

    FCursors = std::make_unique<TCursorTable>();
    ApplyCursorSetting();
    pnlClient->OnDevicePixelRatioChange = [this] { FitPanelToPicture(); };
    ApplyScaleSetting();

    // Qt's backing store already paints pnlToolbar double-buffered; nothing to switch on.
    tmrThroughput->start();
}

void TZarnVNCWnd::CreateDialogs()
{
    FConnectDlg = std::make_unique<TConnectDlg>(*FProto, *FRecentHosts);
    FSettingsDlg = std::make_unique<TSettingsDlg>(*FSettings, *FSession);
    connect(FSettingsDlg.get(), &TSettingsDlg::SettingsApplied, this, [this] {
        ApplyCursorSetting();
        ApplyScaleSetting(); // a window matter: idle or in a session alike
    });
    FSettingsDlg->ShowMessage = [this](const QString& text) { ShowMessage(text); };
    FAboutDlg = std::make_unique<TAboutDlg>();
    FVNCPasswordDlg = std::make_unique<TVNCPasswordDlg>();
    AskScreenshotName = [this] { return AskWithSavePicDialog(SavePicDialog()); };
}

QFileDialog& TZarnVNCWnd::SavePicDialog()
{
    // Made at the first screenshot: a file dialog watches and lists folders from the moment it
    // exists, a cost an idle viewer should not carry.
    if (!dlgSavePic)
        dlgSavePic = CreateSavePicDialog(this);
    return *dlgSavePic;
}

void TZarnVNCWnd::FormDestroy()
{
    if (FDestroyed)
        return;
    FDestroyed = true;
    RemoveInputCapture();
    // A message box from the final save below runs an event loop: no timer of the window
    // (throughput, the bar's slides) may reach the engine once it is gone.
    for (QTimer* timer : findChildren<QTimer*>())
        timer->stop();
    // The thread paints from the engine: it stops before the engine goes.
    CloseConnection(TCaptionAfterClose::Keep);
    try {
        FRecentHosts->SaveToIni();
    } catch (const std::exception& error) {
        ShowApplicationError(QString::fromUtf8(error.what()));
    }
    FConnectDlg.reset();
    FSettingsDlg.reset();
    FAboutDlg.reset();
    FVNCPasswordDlg.reset();
    FCertificateDlg.reset();
    FClipboardSharing.reset();
    FSession.reset();
    FProto.reset();
    FSettings.reset(); // saves itself when changed
    FRecentHosts.reset();
}

void TZarnVNCWnd::closeEvent(QCloseEvent* event)
{
    // Closing ends the program: the pacing thread must not outlive the window's engine, and the
    // connection goes with it.
    CloseConnection(TCaptionAfterClose::Keep);
    QWidget::closeEvent(event);
}

void TZarnVNCWnd::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    cmdAbout->move(width() - kAboutRightOffset, cmdAbout->y());
    FormResize();
    RoomForPictureChanged();
}

TFrameUpdateThrd* TZarnVNCWnd::UpdateThread() const
{
    return FSession ? FSession->UpdateThread() : nullptr;
}

void TZarnVNCWnd::ApplyCursorSetting()
{
    pnlClient->setCursor(FCursors->ForSetting(FSettings->Cursor()));
}

void TZarnVNCWnd::ApplyScaleSetting()
{
    pnlClient->SetScaleToWindow(FSettings->ScaleToWindow());
    FitPanelToPicture();
}

void TZarnVNCWnd::FitPanelToPicture()
{
    const bool scaling = pnlClient->ScaleToWindow();
    const Qt::ScrollBarPolicy bars = scaling ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    sbxClient->setHorizontalScrollBarPolicy(bars);
    sbxClient->setVerticalScrollBarPolicy(bars);
    // A resizable widget follows the scroll box's visible area, in the window and in full screen.
    sbxClient->setWidgetResizable(scaling);
    const QSize framebuffer(FProto->FramebufferWidth, FProto->FramebufferHeight);
    if (!scaling && !framebuffer.isEmpty())
        pnlClient->resize(TPictureGeometry::OneToOnePanelSize(framebuffer, pnlClient->devicePixelRatioF()));
}

// ---- the connection flow ----

void TZarnVNCWnd::cmdConnectClick()
{
    if (FConnectDlg->exec() != QDialog::Accepted)
        return;
    ConnectToChosenServer();
}

void TZarnVNCWnd::ConnectTo(const std::string& host, int port, const std::string& userName)
{
    // A user name given with the server (USER@HOST) is what a Plain login proposes first.
    FNextUserName = userName;
    // The fields get what a click on the same entry in the recent-hosts list gives them (an
    // IPv6 address in brackets).
    THostPortText fields;
    SplitHostPortLine(HostPortLine(host, port), fields);
    FConnectDlg->ChooseServer(fields.host, fields.port);
    ConnectToChosenServer();
}

void TZarnVNCWnd::ConnectToChosenServer()
{
    FSession->StopThread(); // before the drain: the thread's steps read from the same socket
    FProto->DrainInput();
    CloseConnection(TCaptionAfterClose::Reset);

    FProto->Password.clear();
    const TSessionSettings settings = SessionSettingsOf(*FSettings);
    FSession->Prepare(settings);
    PrepareEncryption();

    bool connected = false;
    {
        const TBusyCursor busy;
        // Connect restarts the byte counters: the next tick measures from there.
        FLastBytesSent = FLastBytesReceived = 0;
        connected = FProto->Connect();
    }
    if (!connected) {
        if (!FProto->FailureReason.empty())
            ShowMessage(FromRfbText(FProto->FailureReason));
        else
            ShowEncryptionFailure();
        return;
    }

    FileRecentHost();
    SetCaption();
    FitPanelToPicture();
    pnlClient->ShowPicture([proto = FProto.get()] { return proto->CurrentImage(); });
    // Should the opening messages fail, no thread runs and the next throughput tick closes
    // the connection, as for any session that ends by itself.
    FSession->Open(settings);
}

void TZarnVNCWnd::FileRecentHost()
{
    const int index = FRecentHosts->IndexOf(FProto->Host, FProto->Port);
    if (index < 0)
        FRecentHosts->Add(FProto->Host, FProto->Port);
    else
        FRecentHosts->Move(index, 0);
}

void TZarnVNCWnd::SetCaption()
{
    if (FProto->DesktopName.empty())
        setWindowTitle(ApplicationTitle());
    else
        setWindowTitle(ApplicationTitle() + QStringLiteral(" - ") + FromRfbText(FProto->DesktopName));
}

void TZarnVNCWnd::ReleaseRemoteModifiers()
{
    for (const uint16_t keysym : kModifierKeySyms)
        FProto->SendKeyEvent(keysym, 0, false);
}

std::string TZarnVNCWnd::RequestPassword()
{
    FVNCPasswordDlg->lblHostPort->setText(HostPortLine(FProto->Host, FProto->Port));
    FVNCPasswordDlg->txtPassword->clear();
    const TBusyCursorLifted whileAsking;
    if (FVNCPasswordDlg->exec() == QDialog::Accepted)
        return ToRfbText(FVNCPasswordDlg->txtPassword->text());
    // Closing the socket makes the handshake under way fail.
    FProto->Disconnect();
    return std::string();
}

void TZarnVNCWnd::cmdDisconnectClick()
{
    CloseConnection(TCaptionAfterClose::Reset);
}

void TZarnVNCWnd::CloseConnection(TCaptionAfterClose caption)
{
    FSession->Close();
    ShowPlainBackground();
    if (caption == TCaptionAfterClose::Reset)
        setWindowTitle(ApplicationTitle());
}

void TZarnVNCWnd::ShowPlainBackground()
{
    pnlClient->ShowBackground();
}

void TZarnVNCWnd::tmrThroughputTimer()
{
    ShowThroughput();
    // A size the user asked for before the server said it takes requests goes out now.
    tmrRemoteResizeTimer();

    // A connection whose frame update thread has ended (the server went away, a read failed)
    // is closed here, at most a second later, without a message. The engine may already have
    // noticed the closed socket and no longer count as ready: the picture still on show tells
    // that the window has not let go of that connection yet.
    if (!FSession->ThreadRunning() && (pnlClient->ShowingPicture() || FProto->IsReady()))
        CloseConnection(TCaptionAfterClose::Keep);
}

// ---- the throughput display ----

namespace {

// A counter's change since the previous tick, as a label shows it. Connect restarts the byte
// counters at 0 while the previous values still come from the earlier connection: that tick
// shows no traffic rather than a negative rate. A change past the 32-bit range shows as its
// largest value rather than wrapping round to a negative one.
int32_t TickDifference(uint64_t now, uint64_t before)
{
    if (now < before)
        return 0;
    return int32_t(std::min<uint64_t>(now - before, uint64_t(std::numeric_limits<int32_t>::max())));
}

} // namespace

QString FormatRate(int32_t n, const QLocale& locale)
{
    constexpr int32_t kKilo = 1024;
    constexpr int32_t kMega = 1024 * 1024;
    QLocale plain = locale;
    // 2047 MB/s reads "2047.00 MB/s": no thousands separator in a rate.
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    if (n < kKilo)
        return QString::number(n) + QStringLiteral(" B/s");
    if (n < 60 * kKilo)
        return plain.toString(double(n) / kKilo, 'f', 1) + QStringLiteral(" KB/s");
    if (n < kMega)
        return QString::number(n / kKilo) + QStringLiteral(" KB/s");
    return plain.toString(double(n) / kMega, 'f', 2) + QStringLiteral(" MB/s");
}

void TZarnVNCWnd::ShowThroughput()
{
    const uint64_t received = FProto->BytesReceived;
    const uint64_t sent = FProto->BytesSent;
    const uint64_t frames = FProto->FramesReceived;
    lblRecvBPS->setText(FormatRate(TickDifference(received, FLastBytesReceived)));
    lblSendBPS->setText(FormatRate(TickDifference(sent, FLastBytesSent)));
    const int32_t frameRate = TickDifference(frames, FLastFramesReceived);
    lblRecvFPS->setText(QString::number(frameRate) + QStringLiteral(" FPS"));
    FLastBytesReceived = received;
    FLastBytesSent = sent;
    FLastFramesReceived = frames;
}

// ---- the other toolbar commands ----

void TZarnVNCWnd::cmdSettingsClick()
{
    // The dialog applies everything itself; its result tells nothing more.
    FSettingsDlg->exec();
}

void TZarnVNCWnd::cmdScreenshotClick()
{
    TakeScreenshot(*FProto, AskScreenshotName);
}

void TZarnVNCWnd::cmdAboutClick()
{
    FAboutDlg->exec();
}

// ---- messages ----

void TZarnVNCWnd::ShowPlainMessage(const QString& text)
{
    QMessageBox box(
        QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    // The text comes from the server: it must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace zarn
