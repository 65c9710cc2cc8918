// Full-screen mode of the main window: the toolbar goes, the window takes the whole screen
// without decoration, and a small bar slides down from the top edge while the pointer touches
// the top of the picture. Kept apart from frmZarnVNCWnd.cpp because it is a feature of its own
// with its own controls and timers; the handlers are still the window's.
//
// The bar moves one pixel per 20 ms tick: sliding in takes one tick to appear at -height, one
// per pixel and one to stop; sliding out one per pixel, the last one hiding it. A slide runs to
// its end: pointer moves start nothing while either timer runs.

#include <cstdlib>
#include <functional>

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QTimer>

#ifdef ZARN_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "protocol/VNCProto.h"
#include "ui/ClientPanel.h"
#include "ui/FullScreenBar.h"
#include "ui/FullScreenKeyboardGrab.h"
#include "ui/PictureButton.h"
#include "ui/QtXcbConnection.h"
#include "ui/ZarnApplication.h"
#include "ui/ZarnUtils.h"
#include "ui/frmZarnVNCWnd.h"

namespace zarn {

namespace {

constexpr int kSlideTickMs = 20;
// Pointer rows at the top of the visible picture that call the bar in.
constexpr int kTopEdgeRows = 4;

// Asks an X11 window manager to iconify the window and nothing else (ICCCM's WM_CHANGE_STATE).
// False without X11.
bool AskToIconify(QWidget& window)
{
#ifdef ZARN_HAVE_XCB
    xcb_connection_t* connection = QtXcbConnection();
    if (!connection || !window.windowHandle())
        return false;
    const char name[] = "WM_CHANGE_STATE";
    auto* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return false;
    constexpr uint32_t kIconicState = 3;
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window.winId());
    event.type = atom->atom;
    event.data.data32[0] = kIconicState;
    std::free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
    return true;
#else
    (void)window;
    return false;
#endif
}

} // namespace

void TZarnVNCWnd::BuildFullScreenBar()
{
    pnlFullScreenBar = new TFullScreenBar(this);
    pnlFullScreenBar->move(pnlFullScreenBar->x(), -pnlFullScreenBar->height());
    connect(pnlFullScreenBar->jviMinimize, &QAbstractButton::clicked, this,
        Guarded([this] { jviMinimizeClick(); }));
    connect(pnlFullScreenBar->jviRestore, &QAbstractButton::clicked, this,
        Guarded([this] { jviRestoreClick(); }));
    connect(
        pnlFullScreenBar->jviClose, &QAbstractButton::clicked, this, Guarded([this] { jviCloseClick(); }));

    tmrShowFSPanel = new QTimer(this);
    tmrShowFSPanel->setObjectName(QStringLiteral("tmrShowFSPanel"));
    tmrShowFSPanel->setInterval(kSlideTickMs);
    connect(tmrShowFSPanel, &QTimer::timeout, this, Guarded([this] { tmrShowFSPanelTimer(); }));

    tmrHideFSPanel = new QTimer(this);
    tmrHideFSPanel->setObjectName(QStringLiteral("tmrHideFSPanel"));
    tmrHideFSPanel->setInterval(kSlideTickMs);
    connect(tmrHideFSPanel, &QTimer::timeout, this, Guarded([this] { tmrHideFSPanelTimer(); }));

    new TFullScreenKeyboardGrab(*this);
}

bool TZarnVNCWnd::InFullScreenMode() const
{
    return isFullScreen();
}

void TZarnVNCWnd::cmdFullScreenClick()
{
    // The window manager's full-screen state is what covers panels and docks; it replaces the
    // normal state in one step.
    showFullScreen();
    pnlToolbar->hide();
    RoomForPictureChanged();
    // Once on entry, so the user sees where the bar lives even if the pointer never goes there.
    tmrShowFSPanel->start();
}

void TZarnVNCWnd::FormResize()
{
    pnlFullScreenBar->move((width() - pnlFullScreenBar->width()) / 2, pnlFullScreenBar->y());
}

void TZarnVNCWnd::FullScreenPointerMoved(const QPoint& panelPosition)
{
    if (!InFullScreenMode())
        return;
    if (tmrShowFSPanel->isActive() || tmrHideFSPanel->isActive())
        return;
    // Rows of the visible area, not of the picture: a scrolled picture's row 0 may be far above.
    const int y = pnlClient->mapTo(sbxClient, panelPosition).y();
    if (y < kTopEdgeRows)
        tmrShowFSPanel->start();
    else if (!pnlFullScreenBar->isHidden())
        tmrHideFSPanel->start();
}

void TZarnVNCWnd::tmrShowFSPanelTimer()
{
    TFullScreenBar& bar = *pnlFullScreenBar;
    if (bar.isHidden()) {
        bar.lblDesktop->setText(FromRfbText(FProto->DesktopName));
        bar.move(bar.x(), -bar.height());
        bar.show();
        bar.raise();
        return;
    }
    if (bar.y() < 0)
        bar.move(bar.x(), bar.y() + 1);
    else
        tmrShowFSPanel->stop();
}

void TZarnVNCWnd::tmrHideFSPanelTimer()
{
    TFullScreenBar& bar = *pnlFullScreenBar;
    if (!bar.isHidden())
        bar.move(bar.x(), bar.y() - 1);
    if (bar.y() <= -bar.height()) {
        bar.hide();
        tmrHideFSPanel->stop();
    }
}

void TZarnVNCWnd::jviMinimizeClick()
{
    // The full-screen state stays set under the minimised one, so the window comes back in it.
    // On X11 the window manager is only asked to iconify: Qt's way of adding the minimised state
    // takes full screen off and puts it back around the request, and the window manager would
    // show the window at its normal size, then make it full screen again behind its icon. Qt
    // learns the new state from the window manager.
    if (!AskToIconify(*this))
        setWindowState(windowState() | Qt::WindowMinimized);
}

void TZarnVNCWnd::jviRestoreClick()
{
    showNormal();
    pnlToolbar->show();
    RoomForPictureChanged();
    tmrHideFSPanel->stop();
    tmrShowFSPanel->stop();
    pnlFullScreenBar->hide();
}

void TZarnVNCWnd::jviCloseClick()
{
    CloseConnection(TCaptionAfterClose::Keep);
    close();
}

} // namespace zarn
