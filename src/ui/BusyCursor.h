#pragma once
// The busy pointer over the whole program while the GUI thread is blocked by work such as a
// connection's set-up, so that the user sees it working rather than frozen. A prompt shown in
// the middle of that work lifts it for as long as the prompt is open.

#include <QApplication>
#include <QCursor>

namespace zarn {

class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

class TBusyCursorLifted {
public:
    TBusyCursorLifted()
        : FLifted(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
    {
        if (FLifted)
            QApplication::restoreOverrideCursor();
    }
    ~TBusyCursorLifted()
    {
        if (FLifted)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    TBusyCursorLifted(const TBusyCursorLifted&) = delete;
    TBusyCursorLifted& operator=(const TBusyCursorLifted&) = delete;

private:
    bool FLifted;
};

} // namespace zarn
