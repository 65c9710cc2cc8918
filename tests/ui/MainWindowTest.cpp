// The main window on the offscreen platform: its layout, pointer shapes and error display, and
// the whole connection flow against scripted RFB servers on loopback, driven through the
// toolbar and the modal dialogs as a user would.

#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "protocol/FrameUpdateThrd.h"
#include "protocol/VNCProto.h"
#include "settings/RecentHosts.h"
#include "support/RfbBytes.h"
#include "support/RfbScripts.h"
#include "support/ScriptedServer.h"
#include "WindowTestSupport.h"
#include "ui/ClientPanel.h"
#include "ui/FullScreenBar.h"
#include "ui/PictureButton.h"
#include "ui/ZarnApplication.h"
#include "ui/ZarnUtils.h"
#include "ui/frmConnectDlg.h"
#include "ui/frmVNCPasswordDlg.h"
#include "ui/frmZarnVNCWnd.h"

using namespace zarn;
using namespace zarn::test;

namespace {

const QString kTitle = QStringLiteral("ZarnVNC Viewer (Portable Edition)");

// A modal message box, once one is up: its text and format, then closed.
struct SeenMessageBox {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool seen = false;
};

void CatchMessageBox(std::shared_ptr<SeenMessageBox> seen)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen->text = box->text();
            seen->format = box->textFormat();
            seen->seen = true;
            timer->stop();
            timer->deleteLater();
            box->done(QMessageBox::Ok);
        }
    });
    timer->start();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, timer, &QTimer::deleteLater);
}

QRgb PanelPixel(TClientPanel& panel, int x, int y)
{
    return panel.grab().toImage().pixel(x, y) & 0xFFFFFF;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FFolder;
    std::unique_ptr<TZarnVNCWnd> FWindow;
    QStringList FMessages; // the window's plain messages
    QStringList FErrors; // the general error display
    int FBeeps = 0;

    QString IniPath() const { return FFolder->filePath(QStringLiteral("ZarnVNC.ini")); }

    void WriteIni(const std::string& text)
    {
        std::ofstream out(IniPath().toStdString());
        out << text;
    }

    void OpenWindow()
    {
        SetApplicationTitle(QStringLiteral("ZarnVNC Viewer"));
        FWindow = std::make_unique<TZarnVNCWnd>(IniPath().toStdString());
        FWindow->ShowMessage = [this](const QString& text) { FMessages << text; };
        FWindow->Beep = [this] { ++FBeeps; };
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
    }

    // Presses Connect and answers the connect dialog; returns once the connection flow is over.
    void ConnectTo(const QString& host, int port)
    {
        ConnectThroughDialog(*FWindow, host, port);
    }

    // No connection left; the caption may still name the desktop of one that ended by itself.
    bool Idle(const QString& caption = kTitle)
    {
        return FWindow->UpdateThread() == nullptr && FWindow->windowTitle() == caption
            && !FWindow->pnlClient->ShowingPicture() && !FWindow->Proto().IsReady();
    }

    // ---- full-screen mode ----

    // The slide timers only ever tick by hand here, so every count below is exact.
    void OpenWindowWithHandDrivenSlides()
    {
        OpenWindow();
        FWindow->tmrShowFSPanel->setInterval(24 * 3600 * 1000);
        FWindow->tmrHideFSPanel->setInterval(24 * 3600 * 1000);
    }

    // Runs a slide timer's handler until the timer stops; the ticks it took (100 means never).
    int TicksUntilStopped(QTimer* timer, void (TZarnVNCWnd::*tick)())
    {
        int ticks = 0;
        while (timer->isActive() && ticks < 100) {
            (FWindow.get()->*tick)();
            ++ticks;
        }
        return ticks;
    }
    int SlideIn() { return TicksUntilStopped(FWindow->tmrShowFSPanel, &TZarnVNCWnd::tmrShowFSPanelTimer); }
    int SlideOut() { return TicksUntilStopped(FWindow->tmrHideFSPanel, &TZarnVNCWnd::tmrHideFSPanelTimer); }

    // A pointer move over the picture, as the window system delivers it to pnlClient.
    void MoveOverPicture(int x, int y)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), FWindow->pnlClient->mapToGlobal(QPointF(x, y)),
            Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(FWindow->pnlClient, &move);
    }

    bool Sliding() { return FWindow->tmrShowFSPanel->isActive() || FWindow->tmrHideFSPanel->isActive(); }

    void EnterFullScreenWithTheBarGone()
    {
        QTest::mouseClick(FWindow->cmdFullScreen, Qt::LeftButton);
        QCOMPARE(SlideIn(), 21);
        MoveOverPicture(10, 50);
        QCOMPARE(SlideOut(), 19);
        QVERIFY(FWindow->pnlFullScreenBar->isHidden());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(CaptureApplicationErrors(FErrors));
    }

    void init()
    {
        FFolder = std::make_unique<QTemporaryDir>();
        FMessages.clear();
        FErrors.clear();
        FBeeps = 0;
    }

    void cleanup()
    {
        FWindow.reset();
        FFolder.reset();
    }

    // ---- layout ----

    void windowOpensTitledWithTheToolbarAndPanel()
    {
        OpenWindow();
        QCOMPARE(FWindow->windowTitle(), kTitle);
        QCOMPARE(ApplicationTitle(), kTitle);
        QCOMPARE(FWindow->size(), QSize(795, 645));
        QCOMPARE(FWindow->pnlToolbar->height(), 65);
        QCOMPARE(FWindow->pnlClient->size(), QSize(1024, 768));
        QCOMPARE(PanelPixel(*FWindow->pnlClient, 5, 5), QRgb(0x000020));
        QCOMPARE(FWindow->sbxClient->frameShape(), QFrame::NoFrame);
        QCOMPARE(FWindow->sbxClient->widget(), FWindow->pnlClient);
        QVERIFY(FWindow->tmrThroughput->isActive());
        QCOMPARE(FWindow->tmrThroughput->interval(), 1000);
        const QLabel* captions[] = { FWindow->lblSendRate, FWindow->lblRecvRate, FWindow->lblFrameRate };
        const QLabel* values[] = { FWindow->lblSendBPS, FWindow->lblRecvBPS, FWindow->lblRecvFPS };
        const QString texts[] = { "Send rate:", "Recv rate:", "Frame rate:" };
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(captions[i]->text(), texts[i]);
            QCOMPARE(values[i]->text(), QStringLiteral("0"));
            QVERIFY(captions[i]->x() < values[i]->x() + values[i]->width()
                && values[i]->x() < captions[i]->x() + 64);
        }
    }

    void toolbarButtons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("left");
        QTest::newRow("connect") << "cmdConnect"
                                 << "Connect" << 10;
        QTest::newRow("disconnect") << "cmdDisconnect"
                                    << "Disconnect" << 80;
        QTest::newRow("settings") << "cmdSettings"
                                  << "Settings" << 150;
        QTest::newRow("full screen") << "cmdFullScreen"
                                     << "Full Screen" << 220;
        QTest::newRow("screenshot") << "cmdScreenshot"
                                    << "Screenshot" << 290;
        QTest::newRow("about") << "cmdAbout"
                               << "About" << 720;
    }

    void toolbarButtons()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(int, left);
        OpenWindow();
        auto* button = FWindow->findChild<QToolButton*>(name);
        QVERIFY(button != nullptr);
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->geometry(), QRect(left, 4, 64, 57));
        QCOMPARE(button->iconSize(), QSize(32, 32));
        QVERIFY(!button->icon().isNull());
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QVERIFY(button->isEnabled());
    }

    void aboutButtonFollowsTheRightEdge()
    {
        OpenWindow();
        FWindow->resize(1000, 645);
        QCOMPARE(FWindow->cmdAbout->x(), 1000 - 75);
    }

    void cursorSettingChoosesThePointerOverThePicture_data()
    {
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("shape");
        QTest::addColumn<QPoint>("hotSpot");
        QTest::newRow("0 arrow") << 0 << int(Qt::ArrowCursor) << QPoint();
        QTest::newRow("1 Dot") << 1 << int(Qt::BitmapCursor) << QPoint(1, 1);
        QTest::newRow("2 Crosshair") << 2 << int(Qt::BitmapCursor) << QPoint(5, 5);
        QTest::newRow("3 hidden") << 3 << int(Qt::BlankCursor) << QPoint();
        QTest::newRow("4 Fugly, only from the file") << 4 << int(Qt::BitmapCursor) << QPoint(15, 15);
    }

    void cursorSettingChoosesThePointerOverThePicture()
    {
        QFETCH(int, setting);
        QFETCH(int, shape);
        QFETCH(QPoint, hotSpot);
        WriteIni("[VNCClient]\nCursor=" + std::to_string(setting) + "\n");
        OpenWindow();
        QCOMPARE(int(FWindow->pnlClient->cursor().shape()), shape);
        if (shape == Qt::BitmapCursor)
            QCOMPARE(FWindow->pnlClient->cursor().hotSpot(), hotSpot);
        // Only the picture: the toolbar keeps the standard pointer.
        QVERIFY(!FWindow->pnlToolbar->testAttribute(Qt::WA_SetCursor));
    }

    // ---- general error display ----

    void anExceptionFromAHandlerIsShownAndTheProgramGoesOn()
    {
        OpenWindow();
        // Handlers are connected the way the window connects its own.
        QObject::connect(FWindow->cmdScreenshot, &QToolButton::clicked, FWindow.get(),
            Guarded([] { throw std::runtime_error("Unable to write to /nowhere/ZarnVNC.ini"); }));
        QTest::mouseClick(FWindow->cmdScreenshot, Qt::LeftButton);
        QCOMPARE(FErrors, QStringList { "Unable to write to /nowhere/ZarnVNC.ini" });

        QMetaObject::invokeMethod(
            FWindow.get(), [] { throw std::runtime_error("from a queued step"); }, Qt::QueuedConnection);
        QTRY_COMPARE(FErrors.size(), 2);
        QCOMPARE(FErrors.last(), QStringLiteral("from a queued step"));

        // A send the engine could not complete is the user's own action failing.
        FWindow->Proto().Hooks.OnSendFailed("the write time-out ran out");
        QTRY_COMPARE(FErrors.size(), 3);
        QCOMPARE(FErrors.last(), QStringLiteral("Sending to the server failed: the write time-out ran out"));
        QVERIFY(FWindow->isVisible());
    }

    void inertButtonsAndIdleDisconnectAreHarmless()
    {
        OpenWindow();
        for (QToolButton* button : { FWindow->cmdFullScreen, FWindow->cmdScreenshot,
                 FWindow->cmdDisconnect, FWindow->cmdDisconnect })
            QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(Idle());
        QVERIFY(FErrors.isEmpty());
    }

    // ---- the connection flow ----

    void connectShowsTheRemotePictureAndFilesTheHost()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .width = 64, .height = 48, .name = "office" });
        server.Send(SolidUpdate32(64, 48, 0xC0, 0x20, 0x10));
        server.Start();

        WriteIni("[VNCClient]\nTargetFPS=7\n");
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());

        QCOMPARE(FWindow->windowTitle(), kTitle + QStringLiteral(" - office"));
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QCOMPARE(FWindow->UpdateThread()->FrameInterval.load(), 142u);
        QCOMPARE(FWindow->pnlClient->size(), QSize(64, 48));
        QCOMPARE(FWindow->RecentHosts().Count(), 1);
        THostItem top;
        FWindow->RecentHosts().GetItem(0, top);
        QCOMPARE(top.Host, std::string("127.0.0.1"));
        QCOMPARE(top.Port, server.Port());
        QVERIFY(FMessages.isEmpty());

        QTRY_COMPARE(PanelPixel(*FWindow->pnlClient, 63, 47), QRgb(0xC02010));
        QCOMPARE(FWindow->pnlClient->WrappedImage().constBits(),
            reinterpret_cast<const uchar*>(FWindow->Proto().Pixels32.data()));

        // After the handshake: SetEncodings, SetPixelFormat, the six modifier releases, then
        // update requests.
        QVERIFY(server.WaitForReceived(14 + 20 + 20 + 48 + 10));
        const auto messages = SplitClientMessages(server.Received(), 14);
        QVERIFY(messages.size() >= 9);
        QCOMPARE(messages[0].type, uint8_t(2));
        QCOMPARE(messages[1].type, uint8_t(0));
        QCOMPARE(messages[1].bytes[4], uint8_t(32)); // bits per pixel: the TrueColor default
        const uint16_t modifiers[] = { 0xFFE1, 0xFFE2, 0xFFE3, 0xFFE4, 0xFFE9, 0xFFEA };
        for (int i = 0; i < 6; ++i) {
            const auto& key = messages[size_t(2 + i)];
            QCOMPARE(key.type, uint8_t(4));
            QCOMPARE(key.bytes[1], uint8_t(0)); // released
            QCOMPARE(uint16_t((key.bytes[6] << 8) | key.bytes[7]), modifiers[i]);
        }
        QCOMPARE(messages[8].type, uint8_t(3));
        QCOMPARE(messages[8].bytes[1], uint8_t(0)); // the first request is for the whole screen

        QTest::mouseClick(FWindow->cmdDisconnect, Qt::LeftButton);
        QVERIFY(Idle());
        QCOMPARE(PanelPixel(*FWindow->pnlClient, 5, 5), QRgb(0x000020));
        QVERIFY(server.WaitForClientClosed());
    }

    void pictureIn256Colours()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .width = 8, .height = 4 });
        // Colour 7 := (0x11, 0x22, 0x33), then every pixel index 7.
        server.Send(ByteWriter().U8(1).U8(0).U16(7).U16(1).U16(0x1100).U16(0x2200).U16(0x3300));
        ByteWriter update;
        update.U8(0).U8(0).U16(1).U16(0).U16(0).U16(8).U16(4).S32(0);
        for (int i = 0; i < 32; ++i)
            update.U8(7);
        server.Send(update);
        server.Start();

        WriteIni("[VNCClient]\nTrueColor=0\n");
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QTRY_COMPARE(PanelPixel(*FWindow->pnlClient, 7, 3), QRgb(0x112233));
        QCOMPARE(FWindow->pnlClient->WrappedImage().format(), QImage::Format_Indexed8);
        QCOMPARE(FWindow->pnlClient->WrappedImage().constBits(), FWindow->Proto().Pixels8.data());
    }

    void emptyDesktopNameLeavesTheTitleAlone()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .name = "" });
        server.Start();
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QCOMPARE(FWindow->windowTitle(), kTitle);
    }

    void aKnownHostMovesToTheTopKeepingItsText()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, {});
        server.Start();
        const std::string port = std::to_string(server.Port());
        WriteIni("[RecentHosts]\nCount=3\nHost0=a\nPort0=1\nHost1=b\nPort1=2\nHost2=127.0.0.1\nPort2=" + port
            + "\n");
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QCOMPARE(FWindow->RecentHosts().Count(), 3);
        QCOMPARE(FWindow->RecentHosts().IndexOf("127.0.0.1", server.Port()), 0);
        QCOMPARE(FWindow->RecentHosts().IndexOf("a", 1), 1);
    }

    void largeFramebufferScrolls()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .width = 1280, .height = 1024 });
        server.Start();
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QCOMPARE(FWindow->pnlClient->size(), QSize(1280, 1024));
        QTRY_VERIFY(FWindow->sbxClient->horizontalScrollBar()->isVisible());
        QVERIFY(FWindow->sbxClient->verticalScrollBar()->isVisible());
        QCOMPARE(FWindow->sbxClient->horizontalScrollBar()->maximum(),
            1280 - FWindow->sbxClient->viewport()->width());
    }

    void passwordPromptShowsTheServerAndConnects()
    {
        ScriptedServer server;
        server.Send(Greeting38None()).Expect(12).Send({ 1, 2 }).Expect(1);
        server.Send(std::vector<uint8_t>(16, 0x5A)).Expect(16).SendU32(0).Expect(1).Send(ServerInitBytes({}));
        server.Start();
        OpenWindow();
        TVNCPasswordDlg& prompt = FWindow->VNCPasswordDlg();
        prompt.txtPassword->setText(QStringLiteral("stale"));
        // The busy pointer shows while Connect blocks, but not over the prompt.
        auto pointer = [] {
            return QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1;
        };
        int pointerWhileConnecting = -1;
        int pointerAtPrompt = -1;
        auto answer = FWindow->Proto().OnPasswordRequest;
        FWindow->Proto().OnPasswordRequest = [&] {
            pointerWhileConnecting = pointer();
            return answer();
        };
        QString shownHost;
        QString fieldOnShow = QStringLiteral("not shown");
        WhenModal(&prompt, [&] {
            pointerAtPrompt = pointer();
            shownHost = prompt.lblHostPort->text();
            fieldOnShow = prompt.txtPassword->text();
            prompt.txtPassword->setText(QStringLiteral("secret"));
            QTest::keyClick(prompt.txtPassword, Qt::Key_Return);
        });
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QCOMPARE(shownHost, QStringLiteral("127.0.0.1:") + QString::number(server.Port()));
        QCOMPARE(fieldOnShow, QString());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QCOMPARE(FWindow->Proto().Password, std::string("secret"));
        QVERIFY(FMessages.isEmpty());
        QCOMPARE(pointerWhileConnecting, int(Qt::WaitCursor));
        QCOMPARE(pointerAtPrompt, -1);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void cancelledPasswordPromptLeavesTheWindowIdle()
    {
        ScriptedServer server;
        server.Send(Greeting38None()).Expect(12).Send({ 1, 2 }).Expect(1).Send(std::vector<uint8_t>(16, 1));
        server.Start();
        OpenWindow();
        TVNCPasswordDlg& prompt = FWindow->VNCPasswordDlg();
        WhenModal(&prompt, [&] { QTest::keyClick(prompt.txtPassword, Qt::Key_Escape); });
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(Idle());
        QVERIFY(FMessages.isEmpty());
        QCOMPARE(FWindow->RecentHosts().Count(), 0);
        QVERIFY(server.WaitForClientClosed());
    }

    void wrongPasswordShowsTheServersReasonAsPlainText()
    {
        const std::string reason = "Authentication <b>failed</b>";
        ScriptedServer server;
        server.Send(Greeting38None())
            .Expect(12)
            .Send({ 1, 2 })
            .Expect(1)
            .Send(std::vector<uint8_t>(16, 1))
            .Expect(16);
        server.SendU32(1).SendU32(uint32_t(reason.size())).Send(reason);
        server.Start();
        OpenWindow();
        FWindow->ShowMessage = &TZarnVNCWnd::ShowPlainMessage; // the real message box
        TVNCPasswordDlg& prompt = FWindow->VNCPasswordDlg();
        WhenModal(&prompt, [&] {
            prompt.txtPassword->setText(QStringLiteral("wrong"));
            QTest::keyClick(prompt.txtPassword, Qt::Key_Return);
            CatchMessageBox(FSeen);
        });
        FSeen = std::make_shared<SeenMessageBox>();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FSeen->seen);
        QCOMPARE(FSeen->text, QString::fromStdString(reason));
        QCOMPARE(FSeen->format, Qt::PlainText);
        QVERIFY(Idle());
        QCOMPARE(FWindow->RecentHosts().Count(), 0);
    }

    void refusedConnectionShowsNothing()
    {
        int freePort = 0;
        {
            ScriptedServer probe; // a port that was free a moment ago and is closed now
            freePort = probe.Port();
        }
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), freePort);
        QVERIFY(Idle());
        QVERIFY(FMessages.isEmpty());
        QVERIFY(FErrors.isEmpty());
    }

    void cancellingTheConnectDialogLeavesTheConnectionAlone()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, {});
        server.Start();
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        const uint64_t running = FWindow->UpdateThread()->Id();
        TConnectDlg& dialog = FWindow->ConnectDlg();
        WhenModal(&dialog, [&dialog] { QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton); });
        QTest::mouseClick(FWindow->cmdConnect, Qt::LeftButton);
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QCOMPARE(FWindow->UpdateThread()->Id(), running);
        QVERIFY(FWindow->Proto().IsReady());
    }

    void aBellRingsThenTheServerGoesAwayAndTheWindowIdlesSilentlyKeepingTheCaption()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .name = "office" });
        server.SendU8(2); // Bell
        server.Start();
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QTRY_COMPARE(FBeeps, 1);
        server.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(Idle(kTitle + QStringLiteral(" - office")), 10000);
        QCOMPARE(PanelPixel(*FWindow->pnlClient, 5, 5), QRgb(0x000020));
        QVERIFY(FMessages.isEmpty());
        QVERIFY(FErrors.isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        // Only the user's Disconnect gives the caption back its plain title.
        QTest::mouseClick(FWindow->cmdDisconnect, Qt::LeftButton);
        QVERIFY(Idle());
    }

    void reconnectingKeepsOnlyTheNewConnectionRunning()
    {
        ServerInitFields firstInit;
        firstInit.name = "first";
        ServerInitFields secondInit;
        secondInit.name = "second";
        ScriptedServer first;
        ScriptNoneHandshake(first, firstInit);
        first.Start();
        ScriptedServer second;
        ScriptNoneHandshake(second, secondInit);
        second.Start();

        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), first.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        const uint64_t firstThread = FWindow->UpdateThread()->Id();
        ConnectTo(QStringLiteral("127.0.0.1"), second.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QVERIFY(FWindow->UpdateThread()->Id() != firstThread);
        QVERIFY(first.WaitForClientClosed());

        // Long enough for any late end notice of the first thread and two watchdog ticks.
        QTest::qWait(2500);
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QVERIFY(FWindow->Proto().IsReady());
        QCOMPARE(FWindow->windowTitle(), kTitle + QStringLiteral(" - second"));
        const size_t before = second.ReceivedCount();
        QTRY_VERIFY(second.ReceivedCount() > before); // still requesting updates
    }

    void closingWhileConnectedEndsCleanlyAndSavesTheHosts()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, {});
        server.Start();
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        FWindow->close();
        QVERIFY(FWindow->UpdateThread() == nullptr);
        FWindow.reset();
        QVERIFY(server.WaitForClientClosed());
        const std::string ini = ReadFile(IniPath());
        QVERIFY2(ini.find("Count=1") != std::string::npos, ini.c_str());
        QVERIFY2(ini.find("Host0=127.0.0.1") != std::string::npos, ini.c_str());
        QVERIFY2(ini.find("Port0=" + std::to_string(server.Port())) != std::string::npos, ini.c_str());
    }

    // ---- clipboard sharing ----

    void clipboardTextCrossesBothWaysAndServerTextIsEchoedOnce()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, {});
        server.Send(ServerCutTextBytes("from server \xe9"));
        server.Start();
        OpenWindow();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QClipboard* clipboard = QGuiApplication::clipboard();
        QTRY_COMPARE(clipboard->text(), QStringLiteral("from server \u00e9"));
        QTRY_COMPARE(ClientCutTexts(server.Received(), 14).size(), size_t(1));

        // A picture alone sends nothing: the next text is the next message.
        auto* picture = new QMimeData;
        picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
        clipboard->setMimeData(picture);
        QCoreApplication::sendPostedEvents();
        clipboard->setText(QStringLiteral("Gr\u00fc\u00dfe\r\nzwei \u20ac"));
        const std::vector<std::string> expected { "from server \xe9",
            "Gr\xfc\xdf"
            "e\r\nzwei ?" };
        QTRY_COMPARE(ClientCutTexts(server.Received(), 14), expected);
        QVERIFY(FErrors.isEmpty());
    }

    void sharingOffInTheIniKeepsBothClipboardsApart()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, {});
        server.Send(ServerCutTextBytes("from server"));
        server.Start();
        WriteIni("[VNCClient]\nSharedClipboard=0\n");
        OpenWindow();
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("local"));
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QTRY_COMPARE(FWindow->Proto().CutText, std::string("from server")); // read, not shared
        QCOMPARE(clipboard->text(), QStringLiteral("local"));
        clipboard->setText(QStringLiteral("copied while off"));
        QCoreApplication::sendPostedEvents();

        // Sharing switched on during the session: the first text the server sees is the next one.
        FWindow->Proto().ShareClipboard = true;
        clipboard->setText(QStringLiteral("marker"));
        QTRY_COMPARE(ClientCutTexts(server.Received(), 14), std::vector<std::string> { "marker" });
    }

    // ---- throughput display ----

    void formatRate_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString us = QStringLiteral("en_US");
        QTest::newRow("512") << 512 << us << "512 B/s";
        QTest::newRow("1023") << 1023 << us << "1023 B/s";
        QTest::newRow("1024") << 1024 << us << "1.0 KB/s";
        QTest::newRow("1536") << 1536 << us << "1.5 KB/s";
        QTest::newRow("61439 rounds up") << 61439 << us << "60.0 KB/s";
        QTest::newRow("61440") << 61440 << us << "60 KB/s";
        QTest::newRow("100000 drops the rest") << 100000 << us << "97 KB/s";
        QTest::newRow("1048575") << 1048575 << us << "1023 KB/s";
        QTest::newRow("1048576") << 1048576 << us << "1.00 MB/s";
        QTest::newRow("2500000") << 2500000 << us << "2.38 MB/s";
        QTest::newRow("largest, no thousands separator")
            << std::numeric_limits<int32_t>::max() << us << "2048.00 MB/s";
        QTest::newRow("negative") << -5 << us << "-5 B/s";
        QTest::newRow("decimal comma") << 1536 << QStringLiteral("de_DE") << "1,5 KB/s";
    }

    void formatRate()
    {
        QFETCH(int, bytes);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QCOMPARE(FormatRate(bytes, QLocale(locale)), expected);
    }

    void throughputLabelsShowEachTicksDifference()
    {
        OpenWindow();
        FWindow->tmrThroughput->stop();
        TVNCProto& proto = FWindow->Proto();
        struct Tick {
            uint64_t received, sent, frames;
            QString recv, send, fps;
        };
        const QString largest = FormatRate(std::numeric_limits<int32_t>::max());
        const Tick ticks[] = {
            { 100000, 512, 12, "97 KB/s", "512 B/s", "12 FPS" },
            // Reconnected: the byte counters start again at 0, the frame count goes on.
            { 300, 40, 32, "0 B/s", "0 B/s", "20 FPS" },
            // More than 32 bits in a tick does not wrap round to a small or negative rate.
            { 300 + (uint64_t(1) << 32) + 100, 40 + 1023, 32, largest, "1023 B/s", "0 FPS" },
        };
        for (const Tick& tick : ticks) {
            proto.BytesReceived = tick.received;
            proto.BytesSent = tick.sent;
            proto.FramesReceived = tick.frames;
            FWindow->tmrThroughputTimer();
            QCOMPARE(FWindow->lblRecvBPS->text(), tick.recv);
            QCOMPARE(FWindow->lblSendBPS->text(), tick.send);
            QCOMPARE(FWindow->lblRecvFPS->text(), tick.fps);
        }
    }

    void theFirstTickOfAConnectionCountsFromItsStart()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, {});
        server.Start();
        OpenWindow();
        FWindow->tmrThroughput->stop();
        FWindow->Proto().BytesReceived = 5u << 20; // an earlier, busier connection
        FWindow->tmrThroughputTimer();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->Proto().IsReady());
        const uint64_t received = FWindow->Proto().BytesReceived;
        FWindow->tmrThroughputTimer();
        QCOMPARE(FWindow->lblRecvBPS->text(), FormatRate(int32_t(received)));
    }

    void frameRateCountsTheUpdatesOfEachSecond()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .width = 4, .height = 4 });
        constexpr int kUpdates = 60;
        for (int i = 0; i < kUpdates; ++i) // about 20 a second
            server.Send(SolidUpdate32(4, 4, 1, 2, uint8_t(i))).Pause(50);
        server.Start();
        OpenWindow();
        QStringList shown;
        QObject::connect(FWindow->tmrThroughput, &QTimer::timeout, FWindow.get(),
            [&] { shown << FWindow->lblRecvFPS->text(); });
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QTRY_VERIFY_WITH_TIMEOUT(FWindow->Proto().FramesReceived == uint64_t(kUpdates), 30000);
        QTest::mouseClick(FWindow->cmdDisconnect, Qt::LeftButton);
        // The next tick may still count the last updates; the one after it has none.
        const qsizetype ticksSoFar = shown.size();
        QTRY_VERIFY(shown.size() > ticksSoFar + 1);
        QCOMPARE(shown.last(), QStringLiteral("0 FPS"));

        // Every update is counted in exactly one tick.
        int total = 0;
        for (const QString& text : shown) {
            QVERIFY2(text.endsWith(QStringLiteral(" FPS")), qPrintable(text));
            total += text.chopped(4).toInt();
        }
        QCOMPARE(total, kUpdates);
        qInfo() << "frame rates shown:" << shown;
    }

    void fullScreenBarSlidesInOnEntryAndOutAtTheFirstMoveBelowTheEdge()
    {
        OpenWindowWithHandDrivenSlides();
        TFullScreenBar& bar = *FWindow->pnlFullScreenBar;
        QTest::mouseClick(FWindow->cmdFullScreen, Qt::LeftButton);
        QVERIFY(FWindow->InFullScreenMode());
        QVERIFY(FWindow->pnlToolbar->isHidden());
        QVERIFY(bar.isHidden());

        FWindow->tmrShowFSPanelTimer();
        QVERIFY(!bar.isHidden());
        QCOMPARE(bar.y(), -bar.height());
        QCOMPARE(SlideIn(), 20);
        QCOMPARE(bar.y(), 0);
        QTRY_COMPARE(bar.x(), (FWindow->width() - bar.width()) / 2);

        MoveOverPicture(10, 4);
        QVERIFY(FWindow->tmrHideFSPanel->isActive());
        FWindow->tmrHideFSPanelTimer();
        // A slide runs to its end: a move at the top edge does not turn it round.
        MoveOverPicture(10, 0);
        QVERIFY(!FWindow->tmrShowFSPanel->isActive());
        QCOMPARE(SlideOut(), 18);
        QVERIFY(bar.isHidden());
        QCOMPARE(bar.y(), -bar.height());

        // Nor is a slide-in cut short by a move below the edge.
        MoveOverPicture(10, 3);
        FWindow->tmrShowFSPanelTimer();
        MoveOverPicture(10, 200);
        QVERIFY(!FWindow->tmrHideFSPanel->isActive());

        // Restore mid-slide: a plain window again, and the pointer leaves the bar alone.
        QTest::mouseClick(bar.jviRestore, Qt::LeftButton);
        QVERIFY(!FWindow->InFullScreenMode());
        QVERIFY(!FWindow->pnlToolbar->isHidden());
        QVERIFY(bar.isHidden());
        QVERIFY(!Sliding());
        MoveOverPicture(10, 0);
        QVERIFY(!Sliding());
    }

    void topEdgeIsTheVisibleAreaNotThePicture_data()
    {
        QTest::addColumn<int>("scrolledBy");
        QTest::addColumn<int>("pictureRow");
        QTest::addColumn<bool>("slidesIn");
        QTest::newRow("row 3") << 0 << 3 << true;
        QTest::newRow("row 4") << 0 << 4 << false;
        QTest::newRow("scrolled, visible row 3") << 300 << 303 << true;
        QTest::newRow("scrolled, visible row 4") << 300 << 304 << false;
    }

    void topEdgeIsTheVisibleAreaNotThePicture()
    {
        QFETCH(int, scrolledBy);
        QFETCH(int, pictureRow);
        QFETCH(bool, slidesIn);
        OpenWindowWithHandDrivenSlides();
        FWindow->pnlClient->resize(1280, 2000); // a framebuffer larger than any screen here
        EnterFullScreenWithTheBarGone();
        QTRY_VERIFY(FWindow->sbxClient->verticalScrollBar()->maximum() >= scrolledBy);
        FWindow->sbxClient->verticalScrollBar()->setValue(scrolledBy);
        MoveOverPicture(10, pictureRow);
        QCOMPARE(FWindow->tmrShowFSPanel->isActive(), slidesIn);
        QVERIFY(!FWindow->tmrHideFSPanel->isActive());
    }

    void barShowsTheDesktopNameOfWhenItLastSlidIn()
    {
        ScriptedServer server;
        ScriptNoneHandshake(server, { .name = "office" });
        server.Start();
        OpenWindowWithHandDrivenSlides();
        ConnectTo(QStringLiteral("127.0.0.1"), server.Port());
        QTest::mouseClick(FWindow->cmdFullScreen, Qt::LeftButton);
        SlideIn();
        QCOMPARE(FWindow->pnlFullScreenBar->lblDesktop->text(), QStringLiteral("office"));

        FWindow->cmdDisconnectClick();
        QCOMPARE(FWindow->pnlFullScreenBar->lblDesktop->text(), QStringLiteral("office"));
        MoveOverPicture(10, 50);
        SlideOut();
        MoveOverPicture(10, 0);
        SlideIn();
        QCOMPARE(FWindow->pnlFullScreenBar->lblDesktop->text(), QString());
    }

private:
    std::shared_ptr<SeenMessageBox> FSeen;
};

int main(int argc, char** argv)
{
    TZarnApplication application(argc, argv);
    MainWindowTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
