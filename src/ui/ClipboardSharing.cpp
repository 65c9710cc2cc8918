#include "ui/ClipboardSharing.h"

#include <QClipboard>
#include <QMimeData>

#include "protocol/VNCProto.h"
#include "ui/ZarnApplication.h"
#include "ui/ZarnUtils.h"

namespace zarn {

TClipboardSharing::TClipboardSharing(TVNCProto& proto, QClipboard& clipboard, QObject* parent)
    : QObject(parent)
    , FProto(proto)
    , FClipboard(clipboard)
{
    connect(&FClipboard, &QClipboard::dataChanged, this, Guarded([this] { WMDrawClipboard(); }),
        Qt::QueuedConnection);
    FProto.Hooks.OnServerCutText = [this](const std::string& text) { PutServerText(text); };
}

TClipboardSharing::~TClipboardSharing()
{
    FProto.Hooks.OnServerCutText = nullptr;
}

void TClipboardSharing::WMDrawClipboard()
{
    if (!FProto.ShareClipboard)
        return;
    const QMimeData* data = FClipboard.mimeData(QClipboard::Clipboard);
    if (data == nullptr || !data->hasText())
        return;
    FProto.SendClientCutText(ToRfbText(data->text()));
}

void TClipboardSharing::PutServerText(const std::string& text)
{
    FClipboard.setText(FromRfbText(text), QClipboard::Clipboard);
}

} // namespace zarn
