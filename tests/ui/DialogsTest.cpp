// The connect, password and about dialogs, driven through their controls as a user would.

#include <cstdint>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "protocol/Inflater.h"
#include "protocol/VNCProto.h"
#include "settings/RecentHosts.h"
#include "ui/ZarnUtils.h"
#include "ui/frmAboutDlg.h"
#include "ui/frmConnectDlg.h"
#include "ui/frmVNCPasswordDlg.h"

using namespace zarn;

namespace {

// The dialog is shown (not exec'd) so that the test keeps the event loop; results are read
// from the dialog afterwards.
void ShowActive(QDialog& dialog)
{
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
}

// Keys go to whatever holds the focus, as the keyboard's would.
void Type(const QString& text)
{
    for (const QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

QStringList Lines(const QListWidget& list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

QPoint CentreOfLine(const QListWidget& list, int row)
{
    return list.visualItemRect(list.item(row)).center();
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir FFolder;
    std::unique_ptr<TVNCProto> FProto;
    std::unique_ptr<TRecentHosts> FHosts;
    std::unique_ptr<TConnectDlg> FDialog;

    // Recent hosts, most recent first.
    void UseHosts(const std::vector<THostItem>& hosts)
    {
        for (auto it = hosts.rbegin(); it != hosts.rend(); ++it)
            FHosts->Add(it->Host, it->Port);
    }

private slots:
    void init()
    {
        FProto = std::make_unique<TVNCProto>();
        FProto->SetPort(1234);
        FHosts
            = std::make_unique<TRecentHosts>(FFolder.filePath(QStringLiteral("ZarnVNC.ini")).toStdString());
        FDialog = std::make_unique<TConnectDlg>(*FProto, *FHosts);
    }

    void cleanup()
    {
        FDialog.reset();
        FHosts.reset();
        FProto.reset();
    }

    // ---- connect dialog ----

    void connectShowsRecentHostsAndFocusesAnEmptyHost()
    {
        UseHosts({ { "office-pc", 5901 }, { "10.0.0.5", 5900 } });
        FDialog->txtServer->setText(QStringLiteral("left over"));
        ShowActive(*FDialog);
        QCOMPARE(Lines(*FDialog->lstRecentHosts), QStringList({ "office-pc:5901", "10.0.0.5:5900" }));
        QCOMPARE(FDialog->txtServer->text(), QString());
        QCOMPARE(FDialog->txtPort->text(), QStringLiteral("5900"));
        QCOMPARE(QApplication::focusWidget(), FDialog->txtServer);
        QVERIFY(FDialog->lstRecentHosts->selectedItems().isEmpty());
    }

    void connectTabOrder()
    {
        ShowActive(*FDialog);
        const QWidget* expected[] = { FDialog->txtPort, FDialog->cmdOK, FDialog->cmdCancel,
            FDialog->lstRecentHosts, FDialog->txtServer };
        for (const QWidget* next : expected) {
            Press(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void clickingALineFillsHostAndPort_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("hostField");
        QTest::addColumn<QString>("portField");
        QTest::newRow("name") << "office-pc" << 5901 << "office-pc"
                              << "5901";
        QTest::newRow("IPv4 address") << "10.0.0.5" << 5900 << "10.0.0.5"
                                      << "5900";
        // An address with colons of its own is shown and handed back in brackets.
        QTest::newRow("IPv6 address") << "2001:db8::1" << 5901 << "[2001:db8::1]"
                                      << "5901";
        QTest::newRow("IPv6 loopback") << "::1" << 5900 << "[::1]"
                                       << "5900";
        QTest::newRow("port field takes 10 characters") << "h" << int(INT32_MIN) << "h"
                                                        << "-214748364";
        QTest::newRow("empty host") << "" << 5900 << ""
                                    << "5900";
    }

    void clickingALineFillsHostAndPort()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, hostField);
        QFETCH(QString, portField);
        UseHosts({ { "first", 1 }, { host.toStdString(), port } });
        ShowActive(*FDialog);
        QTest::mouseClick(FDialog->lstRecentHosts->viewport(), Qt::LeftButton, {},
            CentreOfLine(*FDialog->lstRecentHosts, 1));
        QCOMPARE(FDialog->lstRecentHosts->currentRow(), 1);
        QCOMPARE(FDialog->txtServer->text(), hostField);
        QCOMPARE(FDialog->txtPort->text(), portField);
    }

    void movingThroughTheListWithKeysFillsTheFields()
    {
        UseHosts({ { "alpha", 5901 }, { "beta", 5902 } });
        ShowActive(*FDialog);
        FDialog->lstRecentHosts->setFocus();
        Press(Qt::Key_Down);
        Press(Qt::Key_Down);
        QCOMPARE(FDialog->txtServer->text(), QStringLiteral("beta"));
        QCOMPARE(FDialog->txtPort->text(), QStringLiteral("5902"));
    }

    void rightClickSelectsWithoutCopyingAndOffersRemove()
    {
        UseHosts({ { "alpha", 5901 }, { "beta", 5902 }, { "gamma", 5903 } });
        ShowActive(*FDialog);
        FDialog->txtServer->setText(QStringLiteral("typed"));
        QListWidget& list = *FDialog->lstRecentHosts;
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, CentreOfLine(list, 1));
        QCOMPARE(list.currentRow(), 1);
        QCOMPARE(FDialog->txtServer->text(), QStringLiteral("typed"));
        QTRY_VERIFY(FDialog->mnuRecentHosts->isVisible());
        QCOMPARE(FDialog->mnuRemoveHost->text(), QStringLiteral("&Remove"));

        FDialog->mnuRemoveHost->trigger();
        FDialog->mnuRecentHosts->hide();
        QCOMPARE(Lines(list), QStringList({ "alpha:5901", "gamma:5903" }));
        QCOMPARE(FHosts->Count(), 2);
        QCOMPARE(FDialog->txtServer->text(), QStringLiteral("typed"));
        QCOMPARE(FDialog->txtPort->text(), QStringLiteral("5900"));
    }

    void removingTheOnlyEntryLeavesAnEmptyListAndNoMenu()
    {
        UseHosts({ { "only", 5900 } });
        ShowActive(*FDialog);
        QListWidget& list = *FDialog->lstRecentHosts;
        const QPoint line = CentreOfLine(list, 0);
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, line);
        QTRY_VERIFY(FDialog->mnuRecentHosts->isVisible());
        FDialog->mnuRemoveHost->trigger();
        FDialog->mnuRecentHosts->hide();
        QCOMPARE(list.count(), 0);
        QCOMPARE(FHosts->Count(), 0);

        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, line);
        QTest::qWait(50);
        QVERIFY(!FDialog->mnuRecentHosts->isVisible());
    }

    void rightClickBelowTheLinesSelectsNothingAndOpensNoMenu()
    {
        UseHosts({ { "alpha", 5901 } });
        ShowActive(*FDialog);
        QListWidget& list = *FDialog->lstRecentHosts;
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, CentreOfLine(list, 0));
        QTRY_VERIFY(FDialog->mnuRecentHosts->isVisible());
        FDialog->mnuRecentHosts->hide();
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, QPoint(5, list.viewport()->height() - 3));
        QTest::qWait(50);
        QVERIFY(list.selectedItems().isEmpty());
        QVERIFY(!FDialog->mnuRecentHosts->isVisible());
        // With nothing selected, Remove removes nothing.
        FDialog->mnuRemoveHost->trigger();
        QCOMPARE(FHosts->Count(), 1);
    }

    void portFieldDropsTypedLetters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("field");
        QTest::newRow("letter in the middle") << "59a00"
                                              << "5900";
        QTest::newRow("capitals") << "Z5X9"
                                  << "59";
        QTest::newRow("punctuation passes") << "59-00"
                                            << "59-00";
        QTest::newRow("space and dollar pass") << " $1F"
                                               << " $1";
        QTest::newRow("just past either end of the letters") << "azAZ@[`{"
                                                             << "@[`{";
    }

    void portFieldDropsTypedLetters()
    {
        QFETCH(QString, typed);
        QFETCH(QString, field);
        ShowActive(*FDialog);
        FDialog->txtPort->clear();
        FDialog->txtPort->setFocus();
        Type(typed);
        QCOMPARE(FDialog->txtPort->text(), field);
        Press(Qt::Key_Backspace);
        QCOMPARE(FDialog->txtPort->text(), field.chopped(1));
    }

    void pastedTextIsNotFiltered()
    {
        ShowActive(*FDialog);
        QApplication::clipboard()->setText(QStringLiteral("59ab"));
        FDialog->txtPort->clear();
        FDialog->txtPort->setFocus();
        Press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(FDialog->txtPort->text(), QStringLiteral("59ab"));
    }

    void okStoresHostAndPortInTheEngine_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("enginePort");
        QTest::newRow("plain") << "office-pc"
                               << "5901" << 5901;
        QTest::newRow("59-00 does not convert") << "h"
                                                << "59-00" << 5900;
        QTest::newRow("empty port") << "h"
                                    << "" << 5900;
        QTest::newRow("hexadecimal") << "h"
                                     << "$190" << 400;
        QTest::newRow("leading spaces") << "h"
                                        << "  5902" << 5902;
        QTest::newRow("70000 refused, old port kept") << "h"
                                                      << "70000" << 1234;
        QTest::newRow("negative refused") << "h"
                                          << "-1" << 1234;
        QTest::newRow("host untrimmed, even empty") << "  spaced "
                                                    << "5900" << 5900;
        QTest::newRow("empty host") << ""
                                    << "0" << 0;
    }

    void okStoresHostAndPortInTheEngine()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(int, enginePort);
        ShowActive(*FDialog);
        FDialog->txtServer->setText(host);
        FDialog->txtPort->setText(port);
        Press(Qt::Key_Return);
        QCOMPARE(FDialog->result(), int(QDialog::Accepted));
        QVERIFY(!FDialog->isVisible());
        QCOMPARE(QString::fromStdString(FProto->Host), host);
        QCOMPARE(FProto->Port, enginePort);
    }

    // What the user types reaches the engine, is filed as a recent host, comes back from the
    // file as a line and, clicked, fills the fields so that OK gives the same server again.
    void aHostSurvivesTheRecentListAndTheFile_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("engineHost");
        QTest::newRow("name") << "office-pc"
                              << "office-pc";
        QTest::newRow("IPv4") << "10.0.0.5"
                              << "10.0.0.5";
        QTest::newRow("IPv6 in brackets") << "[2001:db8::1]"
                                          << "2001:db8::1";
        QTest::newRow("IPv6 loopback in brackets") << "[::1]"
                                                   << "::1";
        QTest::newRow("IPv6 without brackets") << "fe80::1"
                                               << "fe80::1";
    }

    void aHostSurvivesTheRecentListAndTheFile()
    {
        QFETCH(QString, typed);
        QFETCH(QString, engineHost);
        ShowActive(*FDialog);
        FDialog->txtServer->setText(typed);
        FDialog->txtPort->setText(QStringLiteral("5901"));
        Press(Qt::Key_Return);
        QCOMPARE(QString::fromStdString(FProto->Host), engineHost);
        FHosts->Add(FProto->Host, FProto->Port);
        FHosts->SaveToIni();
        FHosts->LoadFromIni();

        FProto->Host.clear();
        FProto->SetPort(1);
        ShowActive(*FDialog);
        QTest::mouseClick(FDialog->lstRecentHosts->viewport(), Qt::LeftButton, {},
            CentreOfLine(*FDialog->lstRecentHosts, 0));
        QCOMPARE(FDialog->txtPort->text(), QStringLiteral("5901"));
        QTest::mouseClick(FDialog->cmdOK, Qt::LeftButton);
        QCOMPARE(QString::fromStdString(FProto->Host), engineHost);
        QCOMPARE(FProto->Port, 5901);
    }

    void cancelAndEscapeChangeNothing()
    {
        FProto->Host = "before";
        ShowActive(*FDialog);
        FDialog->txtServer->setText(QStringLiteral("after"));
        FDialog->txtPort->setText(QStringLiteral("6000"));
        Press(Qt::Key_Escape);
        QCOMPARE(FDialog->result(), int(QDialog::Rejected));
        ShowActive(*FDialog);
        FDialog->txtServer->setText(QStringLiteral("after"));
        QTest::mouseClick(FDialog->cmdCancel, Qt::LeftButton);
        QCOMPARE(FDialog->result(), int(QDialog::Rejected));
        QCOMPARE(FProto->Host, std::string("before"));
        QCOMPARE(FProto->Port, 1234);
    }

    void reopeningKeepsThePortAndEmptiesTheHost()
    {
        ShowActive(*FDialog);
        FDialog->txtServer->setText(QStringLiteral("office-pc"));
        FDialog->txtPort->setText(QStringLiteral("5901"));
        QTest::mouseClick(FDialog->cmdOK, Qt::LeftButton);
        QCOMPARE(FProto->Port, 5901);
        ShowActive(*FDialog);
        QCOMPARE(FDialog->txtServer->text(), QString());
        QCOMPARE(FDialog->txtPort->text(), QStringLiteral("5901"));
    }

    // ---- password dialog ----

    void passwordEnterGivesTheEmptyPassword()
    {
        TVNCPasswordDlg dialog;
        ShowActive(dialog);
        QCOMPARE(QApplication::focusWidget(), dialog.txtPassword);
        Press(Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.txtPassword->text(), QString());
    }

    void passwordIsTypedHiddenAndKept()
    {
        TVNCPasswordDlg dialog;
        ShowActive(dialog);
        Type(QStringLiteral("s3cret"));
        QCOMPARE(dialog.txtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.txtPassword->displayText(), QStringLiteral("******"));
        Press(Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.txtPassword->text(), QStringLiteral("s3cret"));
    }

    void passwordEscapeCancels()
    {
        TVNCPasswordDlg dialog;
        ShowActive(dialog);
        Type(QStringLiteral("abc"));
        Press(Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }

    // ---- about dialog ----

    void aboutShowsTitleAndVersion()
    {
        SetApplicationTitle(QStringLiteral("ZarnVNC Viewer (Portable Edition)"));
        TAboutDlg dialog;
        QCOMPARE(dialog.lblVersionInfo->text(), QStringLiteral("Version ?.??.??"));
        ShowActive(dialog);
        QCOMPARE(dialog.lblAppTitle->text(), QStringLiteral("ZarnVNC Viewer (Portable Edition)"));
        QCOMPARE(dialog.lblVersionInfo->text(), QStringLiteral("Version ") + GetVersionString());
        QCOMPARE(dialog.Label1->text(), QStringLiteral("A VNC client for Linux."));
    }

    void aboutListsTheLibrariesInUse()
    {
        TAboutDlg dialog;
        const QString text = dialog.lblLibraries->text();
        QVERIFY2(text.contains(QStringLiteral("Qt ") + QLatin1String(qVersion())), qPrintable(text));
        const QString isal = IsalVersion().empty() ? QString() : QStringLiteral(", ISA-L [0-9.]+");
        const QRegularExpression list(
            QStringLiteral("^Qt [0-9.]+, libjpeg-turbo [0-9.]+, giflib [0-9.]+, zlib [0-9.]+, GnuTLS [0-9.]+")
            + isal + QLatin1Char('$'));
        QVERIFY2(list.match(text).hasMatch(), qPrintable(text));
    }

    void aboutClosesWithOkOnEnterAndEscape_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void aboutClosesWithOkOnEnterAndEscape()
    {
        QFETCH(int, key);
        TAboutDlg dialog;
        ShowActive(dialog);
        Press(Qt::Key(key));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void aboutCloseBoxGivesCancel()
    {
        TAboutDlg dialog;
        ShowActive(dialog);
        dialog.close();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void dialogsHaveTheirCaptionsAndFixedSizes()
    {
        TAboutDlg about;
        TVNCPasswordDlg password;
        const struct {
            QDialog* dialog;
            QString caption;
            QSize size;
        } expected[] = {
            { FDialog.get(), "Connect", { 286, 246 } },
            { &password, "Password", { 324, 117 } },
            { &about, "About", { 354, 250 } },
        };
        for (const auto& e : expected) {
            QCOMPARE(e.dialog->windowTitle(), e.caption);
            // Fixed, at least the designed size (more only where the font needs it).
            QCOMPARE(e.dialog->minimumSize(), e.dialog->maximumSize());
            QVERIFY(
                e.dialog->minimumWidth() >= e.size.width() && e.dialog->minimumHeight() >= e.size.height());
            QVERIFY(e.dialog->minimumWidth() < e.size.width() * 3 / 2);
            QVERIFY(!(e.dialog->windowFlags() & Qt::WindowMinMaxButtonsHint));
        }
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
