#pragma once
// TClipboardSharing: keeps the desktop clipboard (the one Ctrl+C and Ctrl+V use) and the
// server's cut text in step while the engine's ShareClipboard is on, in both directions.
//
// Text crosses as Latin-1, one byte per character, line ends untouched; a local character that
// Latin-1 cannot hold goes to the server as "?". Putting the server's text on the clipboard is a
// clipboard change like any other, so that text goes back to the server once: servers do not
// return a client's own text, so the echo cannot ping-pong.
//
// Change notices are handled queued, after the engine's update cycle has returned. The echo
// then never writes to the server from inside the engine's message handling, and a send that
// fails on a broken connection reaches the general error display from here instead of ending
// the cycle that delivered the server's text.

#include <string>

#include <QObject>

class QClipboard;

namespace zarn {

class TVNCProto;

class TClipboardSharing : public QObject {
    Q_OBJECT
public:
    // Installs the engine's server-text hook; the engine must outlive this object.
    TClipboardSharing(TVNCProto& proto, QClipboard& clipboard, QObject* parent = nullptr);
    ~TClipboardSharing() override;

    // The local clipboard changed: while sharing is on, its text (if it offers any) goes to the
    // engine, which sends it when connected. May throw when the send fails.
    void WMDrawClipboard();

    // The server's text (Latin-1 bytes) goes on the local clipboard.
    void PutServerText(const std::string& text);

private:
    TVNCProto& FProto;
    QClipboard& FClipboard;
};

} // namespace zarn
