// The settings dialog, opened from the window's Settings button and answered as a user would:
// what it shows from the ini file, what Cancel and OK leave behind, and what a live connection
// to a scripted server receives.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include "protocol/FrameUpdateThrd.h"
#include "protocol/VNCProto.h"
#include "settings/RegSettings.h"
#include "ui/ClientPanel.h"
#include "ui/ZarnApplication.h"
#include "ui/frmSettingsDlg.h"
#include "ui/frmZarnVNCWnd.h"
#include "WindowTestSupport.h"

using namespace zarn;
using namespace zarn::test;

namespace {

size_t CountOfType(const std::vector<ClientMessage>& messages, uint8_t type)
{
    return size_t(std::count_if(messages.begin(), messages.end(), [type](const auto& m) { return m.type == type; }));
}

} // namespace

class SettingsDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FFolder;
    std::unique_ptr<TZarnVNCWnd> FWindow;
    QStringList FErrors;

    QString IniPath() const { return FFolder->filePath(QStringLiteral("ZarnVNC.ini")); }

    void OpenWindow(const std::string& settings, const QString& iniPath = {})
    {
        if (!settings.empty()) {
            std::ofstream out(IniPath().toStdString());
            out << "[VNCClient]\n" << settings;
        }
        FWindow = std::make_unique<TZarnVNCWnd>((iniPath.isEmpty() ? IniPath() : iniPath).toStdString());
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
    }

    // Presses Settings and runs `act` inside the dialog; a dialog `act` left open is cancelled.
    void InDialog(std::function<void(TSettingsDlg&)> act)
    {
        TSettingsDlg& dialog = FWindow->SettingsDlg();
        WhenModal(&dialog, [&dialog, act] {
            act(dialog);
            if (dialog.isVisible())
                dialog.reject();
        });
        QTest::mouseClick(FWindow->cmdSettings, Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(CaptureApplicationErrors(FErrors));
    }

    void init()
    {
        FFolder = std::make_unique<QTemporaryDir>();
        FErrors.clear();
    }

    void cleanup()
    {
        FWindow.reset();
        FFolder.reset();
    }

    void opensWithTheStoredValues_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<bool>("trueColour");
        QTest::addColumn<bool>("rre");
        QTest::addColumn<bool>("share");
        QTest::newRow("no file") << "" << 20 << "20 updates per second" << 0 << true << true << true;
        // The track bar starts at 1: a label that only follows changes would still read 0.
        QTest::newRow("one per second") << "TargetFPS=1\n" << 1 << "1 update per second" << 0 << true << true << true;
        QTest::newRow("fifty, 256 colours, no RRE, no sharing, Dot")
            << "TargetFPS=50\nTrueColor=0\nEncRRE=0\nSharedClipboard=0\nCursor=1\n" << 50 << "50 updates per second"
            << 1 << false << false << false;
        QTest::newRow("Fugly has no line") << "Cursor=4\n" << 20 << "20 updates per second" << -1 << true << true << true;
    }

    void neverLossyIsKeptUntilTheSliderMoves()
    {
        OpenWindow("JPEGQuality=-1\nEncTight=0\n");
        InDialog([](TSettingsDlg& dialog) {
            QCOMPARE(dialog.lblJPEGQuality->text(), QStringLiteral("JPEG quality: never (lossless only)"));
            QVERIFY(!dialog.tbrJPEGQuality->isEnabled()); // Tight is off
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        });
        QCOMPARE(FWindow->Settings().JPEGQuality(), -1);
        InDialog([](TSettingsDlg& dialog) {
            dialog.chkTight->setChecked(true);
            QVERIFY(dialog.tbrJPEGQuality->isEnabled());
            QTest::keyClick(dialog.tbrJPEGQuality, Qt::Key_Right);
            QCOMPARE(dialog.lblJPEGQuality->text(), QStringLiteral("JPEG quality: 1"));
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        });
        QCOMPARE(FWindow->Settings().JPEGQuality(), 1);
        QVERIFY(FWindow->Settings().EncTight());
    }

    void opensWithTheStoredValues()
    {
        QFETCH(QString, ini);
        QFETCH(int, rate);
        QFETCH(QString, label);
        QFETCH(int, cursor);
        QFETCH(bool, trueColour);
        QFETCH(bool, rre);
        QFETCH(bool, share);
        OpenWindow(ini.toStdString());
        bool shown = false;
        InDialog([&](TSettingsDlg& dialog) {
            shown = true;
            QCOMPARE(dialog.tbrFrameRate->value(), rate);
            QCOMPARE(dialog.lblFrameRate->text(), label);
            QCOMPARE(dialog.cboCursor->currentIndex(), cursor);
            QCOMPARE(dialog.optTrueColor->isChecked(), trueColour);
            QCOMPARE(dialog.opt256Color->isChecked(), !trueColour);
            QCOMPARE(dialog.chkRRE->isChecked(), rre);
            QVERIFY(dialog.chkCopyRect->isChecked() && dialog.chkHextile->isChecked());
            QCOMPARE(dialog.chkShareClipboard->isChecked(), share);
            QCOMPARE(dialog.focusWidget(), dialog.cmdOK);
            // Moving the track bar rewrites the label.
            QTest::keyClick(dialog.tbrFrameRate, Qt::Key_Home);
            QCOMPARE(dialog.lblFrameRate->text(), QStringLiteral("1 update per second"));
            QTest::keyClick(dialog.tbrFrameRate, Qt::Key_End);
            QCOMPARE(dialog.lblFrameRate->text(), QStringLiteral("50 updates per second"));
        });
        QVERIFY(shown);
    }

    void cancelLeavesStoreAndFileAlone()
    {
        OpenWindow("TargetFPS=20\nCursor=2\n");
        const std::string before = ReadFile(IniPath());
        for (const auto close : { Qt::Key_unknown, Qt::Key_Escape }) {
            InDialog([close](TSettingsDlg& dialog) {
                QCOMPARE(dialog.tbrFrameRate->value(), 20);
                QCOMPARE(dialog.cboCursor->currentIndex(), 2);
                dialog.tbrFrameRate->setValue(5);
                dialog.opt256Color->setChecked(true);
                dialog.chkHextile->setChecked(false);
                dialog.cboCursor->setCurrentIndex(3);
                if (close == Qt::Key_Escape)
                    QTest::keyClick(&dialog, Qt::Key_Escape);
                else
                    QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
            });
            QCOMPARE(FWindow->Settings().TargetFPS(), 20);
            QVERIFY(FWindow->Settings().TrueColor() && FWindow->Settings().EncHextile());
            QVERIFY(!FWindow->Settings().Modified());
            QCOMPARE(ReadFile(IniPath()), before);
        }
    }

    void okWithoutAConnectionSavesAndSetsThePointer()
    {
        OpenWindow("Cursor=4\n");
        InDialog([](TSettingsDlg& dialog) {
            dialog.tbrFrameRate->setValue(7);
            dialog.opt256Color->setChecked(true);
            dialog.chkHextile->setChecked(false);
            QVERIFY(dialog.chkDesktopResize->isChecked() && !dialog.chkRemoteResize->isChecked());
            dialog.chkDesktopResize->setChecked(false);
            dialog.chkRemoteResize->setChecked(true);
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton); // the list has no selection: Cursor stays 4
        });
        QVERIFY(!FWindow->SettingsDlg().isVisible());
        const std::string ini = ReadFile(IniPath());
        for (const char* line : { "TargetFPS=7", "Cursor=4", "EncHextile=0", "TrueColor=0", "EncRRE=1", "DesktopResize=0",
                 "RemoteResize=1" })
            QVERIFY2(ini.find(line) != std::string::npos, ini.c_str());
        QCOMPARE(FWindow->pnlClient->cursor().hotSpot(), QPoint(15, 15)); // Fugly
        // Nothing reached the engine: the next connection takes the stored values.
        QVERIFY(!FWindow->Proto().UseCopyRect && FWindow->Proto().TrueColor == false);

        InDialog([](TSettingsDlg& dialog) {
            dialog.cboCursor->setCurrentIndex(2);
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
        QCOMPARE(FWindow->Settings().Cursor(), 2);
        QCOMPARE(FWindow->pnlClient->cursor().hotSpot(), QPoint(5, 5)); // Crosshair
    }

    void aFailedSaveKeepsTheDialogOpenAndShowsTheError()
    {
        // The ini's folder is a plain file: every write fails.
        const QString blocker = FFolder->filePath(QStringLiteral("not-a-folder"));
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        OpenWindow("", blocker + QStringLiteral("/ZarnVNC.ini"));
        bool stayedOpen = false;
        InDialog([&](TSettingsDlg& dialog) {
            dialog.cboCursor->setCurrentIndex(3);
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
            stayedOpen = QApplication::activeModalWidget() == &dialog;
            dialog.reject();
        });
        QVERIFY(stayedOpen);
        QCOMPARE(FErrors.size(), 1);
        QVERIFY2(FErrors.front().startsWith(QStringLiteral("Unable to write to ")), qPrintable(FErrors.front()));
        QCOMPARE(FWindow->pnlClient->cursor().shape(), Qt::ArrowCursor); // not applied
    }

    void cancelAfterAFailedSaveRestoresWhatTheNextConnectionUses()
    {
        QVERIFY(QFile(FFolder->filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
        OpenWindow("", FFolder->filePath(QStringLiteral("file/ZarnVNC.ini"))); // every save fails
        InDialog([](TSettingsDlg& dialog) {
            dialog.chkRRE->setChecked(false);
            dialog.chkDesktopResize->setChecked(false);
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton); // "Unable to write to ..."
            QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
        });
        QVERIFY(FErrors.size() == 1 && !FWindow->Settings().Modified()); // the exit has nothing to save
        ScriptedServer server;
        ScriptNoneHandshake(server, { .width = 8, .height = 4 }).Start();
        ConnectThroughDialog(*FWindow, QStringLiteral("127.0.0.1"), server.Port());
        // Tight, ZRLE, Hextile, RRE, CopyRect, Raw, compress level 2 and the size encodings, as before the dialog.
        const std::vector<uint8_t> all { 2, 0, 0, 10, 0, 0, 0, 7, 0, 0, 0, 16, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 1, 0,
            0, 0, 0, 255, 255, 255, 2, 0xFF, 0xFF, 0xFF, 0x21, 0xFF, 0xFF, 0xFE, 0xCC, 0xFF, 0xFF, 0xFF, 0x20 };
        QTRY_COMPARE(CountOfType(SplitClientMessages(server.Received(), kHandshakeBytes), 2), size_t(1));
        QCOMPARE(SplitClientMessages(server.Received(), kHandshakeBytes).front().bytes, all);
    }

    void aColourSwitchTheServerLeavesUnansweredIsReportedAndNotStored()
    {
        ScriptedServer server; // answers no update request at all
        ScriptNoneHandshake(server, { .width = 8, .height = 4 }).Start();
        OpenWindow("TrueColor=1\n");
        QStringList messages;
        FWindow->ShowMessage = [&messages](const QString& text) { messages << text; };
        ConnectThroughDialog(*FWindow, QStringLiteral("127.0.0.1"), server.Port());
        InDialog([](TSettingsDlg& dialog) {
            dialog.opt256Color->setChecked(true);
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        });
        QVERIFY(messages.size() == 1 && FWindow->Proto().IsReady() && FWindow->Proto().TrueColor
            && FWindow->Settings().TrueColor());
        QVERIFY(ReadFile(IniPath()).find("TrueColor=1") != std::string::npos);
        QCOMPARE(CountOfType(SplitClientMessages(server.Received(), kHandshakeBytes), 0), size_t(1));
    }

    void okOnALiveConnectionAppliesItWithoutReconnecting_data()
    {
        QTest::addColumn<bool>("switchTo256");
        QTest::newRow("same colours") << false;
        QTest::newRow("256 colours") << true;
    }

    void okOnALiveConnectionAppliesItWithoutReconnecting()
    {
        QFETCH(bool, switchTo256);
        ScriptedServer server;
        ScriptNoneHandshake(server, { .width = 8, .height = 4 });
        // Empty updates read the same in either pixel mode; they answer the requests.
        for (int i = 0; i < 40; ++i)
            server.Send({ 0, 0, 0, 0 }).Pause(100);
        server.Start();

        OpenWindow("TargetFPS=20\n");
        ConnectThroughDialog(*FWindow, QStringLiteral("127.0.0.1"), server.Port());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        const uint64_t thread = FWindow->UpdateThread()->Id();

        InDialog([switchTo256](TSettingsDlg& dialog) {
            QVERIFY(dialog.chkTight->isChecked() && dialog.chkZRLE->isChecked() && dialog.chkAutoQuality->isChecked());
            QCOMPARE(dialog.lblJPEGQuality->text(), QStringLiteral("JPEG quality: 8"));
            // Lossy always, at quality 6.
            dialog.chkAutoQuality->setChecked(false);
            QTest::keyClick(dialog.tbrJPEGQuality, Qt::Key_Left);
            QTest::keyClick(dialog.tbrJPEGQuality, Qt::Key_Left);
            QCOMPARE(dialog.lblJPEGQuality->text(), QStringLiteral("JPEG quality: 6"));
            dialog.chkRRE->setChecked(false);
            dialog.chkShareClipboard->setChecked(false);
            dialog.tbrFrameRate->setValue(10);
            if (switchTo256)
                dialog.opt256Color->setChecked(true);
            dialog.chkScaleToWindow->setChecked(true);
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        });
        QCOMPARE(FWindow->pnlClient->size(), FWindow->sbxClient->size()); // scaled at once
        QVERIFY(FErrors.isEmpty());
        QVERIFY(FWindow->UpdateThread() != nullptr);
        QCOMPARE(FWindow->UpdateThread()->Id(), thread); // the same connection
        QCOMPARE(FWindow->UpdateThread()->FrameInterval.load(), 100u);
        QVERIFY(!FWindow->Proto().ShareClipboard);
        QCOMPARE(FWindow->Proto().TrueColor, !switchTo256);

        // The connection's own SetEncodings and SetPixelFormat, then those of the OK.
        std::vector<ClientMessage> messages;
        auto lastPixelFormat = messages.end();
        QTRY_VERIFY([&] {
            messages = SplitClientMessages(server.Received(), kHandshakeBytes);
            auto found = std::find_if(messages.rbegin(), messages.rend(), [](const auto& m) { return m.type == 0; });
            lastPixelFormat = found.base() - 1;
            return std::any_of(lastPixelFormat, messages.end(), [](const auto& m) { return m.type == 3; })
                && CountOfType(messages, 2) == 2 && CountOfType(messages, 0) == (switchTo256 ? 2u : 1u);
        }());
        QCOMPARE(CountOfType(messages, 2), size_t(2));
        const auto setEncodings = std::find_if(messages.rbegin(), messages.rend(), [](const auto& m) { return m.type == 2; });
        // Tight, ZRLE, Hextile, CopyRect, Raw, JPEG quality 6, compress level 2, the size encodings.
        QCOMPARE(setEncodings->bytes,
            (std::vector<uint8_t> { 2, 0, 0, 10, 0, 0, 0, 7, 0, 0, 0, 16, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 0, 255, 255,
                255, 256 - 32 + 6, 255, 255, 255, 2, 0xFF, 0xFF, 0xFF, 0x21, 0xFF, 0xFF, 0xFE, 0xCC, 0xFF, 0xFF, 0xFF, 0x20 }));
        QCOMPARE(CountOfType(messages, 0), size_t(switchTo256 ? 2 : 1));
        if (switchTo256) {
            QCOMPARE(lastPixelFormat->bytes[4], uint8_t(8)); // bits per pixel
            QCOMPARE(lastPixelFormat->bytes[7], uint8_t(0)); // through the colour map
            const auto request = std::find_if(lastPixelFormat, messages.end(), [](const auto& m) { return m.type == 3; });
            QCOMPARE(request->bytes[1], uint8_t(0)); // non-incremental
        }
        const std::string ini = ReadFile(IniPath());
        QVERIFY2(ini.find(switchTo256 ? "TrueColor=0" : "TrueColor=1") != std::string::npos, ini.c_str());
        for (const char* line : { "AutoQuality=0", "JPEGQuality=6" })
            QVERIFY2(ini.find(line) != std::string::npos, ini.c_str());
    }
};

int main(int argc, char** argv)
{
    TZarnApplication application(argc, argv);
    SettingsDlgTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "SettingsDlgTest.moc"
