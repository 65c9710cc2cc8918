#include "ui/frmConnectDlg.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/RfbConstants.h"
#include "protocol/VNCProto.h"
#include "settings/RecentHosts.h"
#include "settings/TextToInt.h"
#include "ui/DialogFrame.h"
#include "ui/HostPortText.h"

namespace zarn {

namespace {

// A recent line hands at most this many characters after its ":" to the port field.
constexpr int kPortTextFromList = 10;

} // namespace

TConnectDlg::TConnectDlg(TVNCProto& proto, TRecentHosts& recentHosts, QWidget* parent)
    : QDialog(parent)
    , lblMsg(Named(new QLabel(QStringLiteral("Which computer do you want to connect to?"), this), "lblMsg"))
    , lblServer(Named(new QLabel(QStringLiteral("&Host:"), this), "lblServer"))
    , txtServer(Named(new QLineEdit(this), "txtServer"))
    , lblPort(Named(new QLabel(QStringLiteral("&Port:"), this), "lblPort"))
    , txtPort(Named(new QLineEdit(QString::number(kDefaultRfbPort), this), "txtPort"))
    , lblRecentHosts(Named(new QLabel(QStringLiteral("Recent Hosts:"), this), "lblRecentHosts"))
    , lstRecentHosts(Named(new QListWidget(this), "lstRecentHosts"))
    , cmdOK(Named(new QPushButton(QStringLiteral("OK"), this), "cmdOK"))
    , cmdCancel(Named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel"))
    , mnuRecentHosts(Named(new QMenu(this), "mnuRecentHosts"))
    , mnuRemoveHost(Named(new QAction(QStringLiteral("&Remove"), this), "mnuRemoveHost"))
    , FProto(proto)
    , FRecentHosts(recentHosts)
{
    setObjectName(QStringLiteral("ConnectDlg"));
    SetupFixedDialog(*this, QStringLiteral("Connect"));

    QFont bold = lblMsg->font();
    bold.setBold(true);
    lblMsg->setFont(bold);
    lblServer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblPort->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblServer->setBuddy(txtServer);
    lblPort->setBuddy(txtPort);

    lstRecentHosts->setSelectionMode(QAbstractItemView::SingleSelection);
    lstRecentHosts->setContextMenuPolicy(Qt::NoContextMenu);
    lstRecentHosts->viewport()->installEventFilter(this);
    connect(lstRecentHosts, &QListWidget::currentRowChanged, this, [this] {
        if (!FSelectingInCode)
            lstRecentHostsClick();
    });
    mnuRecentHosts->addAction(mnuRemoveHost);
    connect(mnuRemoveHost, &QAction::triggered, this, &TConnectDlg::mnuRemoveHostClick);

    txtPort->installEventFilter(this);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &TConnectDlg::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(lblServer, 0, 0);
    fields->addWidget(txtServer, 0, 1);
    fields->addWidget(lblPort, 1, 0);
    fields->addWidget(txtPort, 1, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMsg);
    layout->addLayout(fields);
    layout->addWidget(lblRecentHosts);
    layout->addWidget(lstRecentHosts, 1);
    layout->addLayout(buttons);

    setTabOrder(txtServer, txtPort);
    setTabOrder(txtPort, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, lstRecentHosts);
    FixDialogSize(*this, 286, 246);
}

bool TConnectDlg::txtPortKeyPress(QChar typed)
{
    const char16_t c = typed.unicode();
    return !((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'));
}

void TConnectDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

bool TConnectDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtPort && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Control combinations (Ctrl+V pastes) type no character, whatever text they carry.
        if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
            return false;
        const QString text = key->text();
        return text.size() == 1 && !txtPortKeyPress(text.front());
    }
    if (watched == lstRecentHosts->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            lstRecentHostsMouseDown(mouse->button(), mouse->position().toPoint());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            lstRecentHostsMouseUp(mouse->button(), mouse->position().toPoint());
            return true;
        }
        case QEvent::MouseMove:
            return true; // no drag-selection: a line is chosen by the press alone
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TConnectDlg::FormShow()
{
    FillRecentHosts();
    txtServer->clear();
    txtServer->setFocus(Qt::OtherFocusReason);
}

void TConnectDlg::FillRecentHosts()
{
    FSelectingInCode = true;
    lstRecentHosts->clear();
    for (int i = 0; i < FRecentHosts.Count(); ++i) {
        THostItem item;
        FRecentHosts.GetItem(i, item);
        lstRecentHosts->addItem(HostPortLine(item.Host, item.Port));
    }
    lstRecentHosts->setCurrentRow(-1);
    FSelectingInCode = false;
}

void TConnectDlg::SelectRecentHost(int row)
{
    FSelectingInCode = true;
    if (row < 0) {
        lstRecentHosts->clearSelection();
        lstRecentHosts->setCurrentRow(-1);
    } else {
        lstRecentHosts->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    FSelectingInCode = false;
}

void TConnectDlg::lstRecentHostsClick()
{
    const QListWidgetItem* selected = lstRecentHosts->currentItem();
    if (selected == nullptr || !selected->isSelected())
        return;
    THostPortText parts;
    if (!SplitHostPortLine(selected->text(), parts))
        return; // every line the list builds has a ":"; a line without it is left alone
    txtServer->setText(parts.host);
    txtPort->setText(parts.port.left(kPortTextFromList));
}

void TConnectDlg::lstRecentHostsMouseDown(Qt::MouseButton button, const QPoint& position)
{
    const int row = lstRecentHosts->indexAt(position).row();
    lstRecentHosts->setFocus(Qt::MouseFocusReason);
    SelectRecentHost(row);
    // A left click is the user choosing a line; any other button only points at one.
    if (button == Qt::LeftButton)
        lstRecentHostsClick();
}

void TConnectDlg::lstRecentHostsMouseUp(Qt::MouseButton button, const QPoint& position)
{
    if (button != Qt::RightButton || lstRecentHosts->count() == 0
        || lstRecentHosts->selectedItems().isEmpty())
        return;
    mnuRecentHosts->popup(lstRecentHosts->viewport()->mapToGlobal(position));
}

void TConnectDlg::mnuRemoveHostClick()
{
    const QList<QListWidgetItem*> selected = lstRecentHosts->selectedItems();
    if (selected.isEmpty())
        return;
    FRecentHosts.Delete(lstRecentHosts->row(selected.front()));
    FillRecentHosts();
}

void TConnectDlg::ChooseServer(const QString& server, const QString& port)
{
    txtServer->setText(server);
    txtPort->setText(port);
    cmdOKClick();
}

void TConnectDlg::cmdOKClick()
{
    FProto.Host = HostFromTyped(txtServer->text());
    // Text that does not convert (letters cannot be typed, but "59-00" can) means the default.
    FProto.SetPort(TryTextToInt(txtPort->text().toStdString()).value_or(kDefaultRfbPort));
    accept();
}

} // namespace zarn
