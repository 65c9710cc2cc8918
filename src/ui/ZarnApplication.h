#pragma once
// TZarnApplication: the application object with the viewer's general error display. An
// exception that escapes any event handler (a click, a timer, a hand-over from the frame update
// thread) is caught and its text shown in a message box; the program carries on.
//
// The window's own handlers are connected through Guarded, which catches right at the handler:
// Qt's frames are not built to pass exceptions on (their locals would leak). notify() is the net
// for whatever is not guarded.

#include <exception>
#include <functional>
#include <utility>

#include <QApplication>

namespace zarn {

class TZarnApplication : public QApplication {
    Q_OBJECT
public:
    TZarnApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // How an error text reaches the user; tests replace the message box.
    using TErrorDisplay = std::function<void(const QString& text)>;
    void SetErrorDisplay(TErrorDisplay display);

    void ShowError(const QString& text);

private:
    static void ShowErrorBox(const QString& text);

    TErrorDisplay FErrorDisplay;
    bool FShowingError = false;
};

// Shows an error text through the general error display; without a TZarnApplication, in a
// plain message box.
void ShowApplicationError(const QString& text);

template <typename Handler> auto Guarded(Handler handler)
{
    return [handler = std::move(handler)]() {
        try {
            handler();
        } catch (const std::exception& error) {
            ShowApplicationError(QString::fromUtf8(error.what()));
        } catch (...) {
            ShowApplicationError(QStringLiteral("An unknown error occurred."));
        }
    };
}

} // namespace zarn
