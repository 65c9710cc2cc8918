#include "ui/ZarnApplication.h"

#include <cstdio>
#include <exception>

#include <QMessageBox>

#include "ui/ZarnUtils.h"

namespace zarn {

TZarnApplication::TZarnApplication(int& argc, char** argv)
    : QApplication(argc, argv)
    , FErrorDisplay(&TZarnApplication::ShowErrorBox)
{
}

bool TZarnApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowError(QStringLiteral("An unknown error occurred."));
    }
    return false;
}

void TZarnApplication::SetErrorDisplay(TErrorDisplay display)
{
    FErrorDisplay = std::move(display);
}

void TZarnApplication::ShowError(const QString& text)
{
    // The message box runs a nested event loop. An error raised again and again while it is up
    // (a failing paint, say) must not stack boxes without end: those go to standard error.
    if (FShowingError) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    FShowingError = true;
    try {
        FErrorDisplay(text);
    } catch (...) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    FShowingError = false;
}

void ShowApplicationError(const QString& text)
{
    if (auto* application = qobject_cast<TZarnApplication*>(QCoreApplication::instance())) {
        application->ShowError(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TZarnApplication::ShowErrorBox(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace zarn
