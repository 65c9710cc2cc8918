// The program-wide key hook without a server: Alt combinations do nothing in the program's own
// windows, dialogs included.

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/ZarnUtils.h"
#include "ui/frmConnectDlg.h"
#include "ui/frmZarnVNCWnd.h"

using namespace zarn;

class InputCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void altAcceleratorsDoNothingInDialogs()
    {
        QTemporaryDir folder;
        SetApplicationTitle(QStringLiteral("ZarnVNC Viewer"));
        TZarnVNCWnd window(folder.filePath(QStringLiteral("ZarnVNC.ini")).toStdString());
        window.show();
        TConnectDlg& dialog = window.ConnectDlg();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.txtServer->setFocus();
        QTest::keyClick(&dialog, Qt::Key_P, Qt::AltModifier); // "&Port:" would take the focus
        QCOMPARE(QApplication::focusWidget(), dialog.txtServer);
        dialog.hide();
    }
};

QTEST_MAIN(InputCaptureTest)
#include "InputCaptureTest.moc"
