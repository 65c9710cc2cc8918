#pragma once
// TZarnApplication: the application object with the viewer's general error display. An
// exception that escapes any event handler (a click, a timer, a hand-over from the frame update
// thread) is caught here and its text shown in a message box; the program carries on.

#include <functional>

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

} // namespace zarn
