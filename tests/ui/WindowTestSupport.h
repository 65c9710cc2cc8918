#pragma once
// What the window and dialog tests share: answering a modal dialog from inside its exec, the
// scripted server's RFB 3.8 handshake and updates, and reading back what the client sent.

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <QToolButton>
#include <QWidget>

#include "support/RfbBytes.h"
#include "support/RfbScripts.h"
#include "support/ScriptedServer.h"
#include "ui/ZarnApplication.h"
#include "ui/frmConnectDlg.h"
#include "ui/frmZarnVNCWnd.h"

namespace zarn::test {

// Runs `act` once `dialog` has become the active modal widget (inside the caller's exec).
inline void WhenModal(QWidget* dialog, std::function<void()> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, dialog, act, tries] {
        if (QApplication::activeModalWidget() == dialog) {
            timer->stop();
            timer->deleteLater();
            act();
        } else if (++*tries > 2000) { // never shown: let the test fail on its own checks
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Sends what the general error display would show to `errors`; false when the program's own
// application object is not the one running.
inline bool CaptureApplicationErrors(QStringList& errors)
{
    auto* application = qobject_cast<TZarnApplication*>(QCoreApplication::instance());
    if (!application)
        return false;
    application->SetErrorDisplay([&errors](const QString& text) { errors << text; });
    return true;
}

// Presses Connect and answers the connect dialog; returns once the connection flow is over.
inline void ConnectThroughDialog(TZarnVNCWnd& window, const QString& host, int port)
{
    TConnectDlg& dialog = window.ConnectDlg();
    WhenModal(&dialog, [&dialog, host, port] {
        dialog.txtServer->setText(host);
        dialog.txtPort->setText(QString::number(port));
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    });
    QTest::mouseClick(window.cmdConnect, Qt::LeftButton);
}

// What the client sends during the handshake of ScriptNoneHandshake.
constexpr size_t kHandshakeBytes = kNoneHandshakeClientBytes;

// A FramebufferUpdate with one Raw rectangle of one colour over the whole screen.
inline std::vector<uint8_t> SolidUpdate32(int width, int height, uint8_t red, uint8_t green, uint8_t blue)
{
    ByteWriter update;
    update.U8(0).U8(0).U16(1).U16(0).U16(0).U16(uint16_t(width)).U16(uint16_t(height)).S32(0);
    for (int i = 0; i < width * height; ++i)
        update.U8(blue).U8(green).U8(red).U8(0);
    return update;
}

inline std::string ReadFile(const QString& path)
{
    std::ifstream in(path.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace zarn::test
