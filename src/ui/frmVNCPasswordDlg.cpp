#include "ui/frmVNCPasswordDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/DialogFrame.h"

namespace zarn {

TVNCPasswordDlg::TVNCPasswordDlg(QWidget* parent)
    : QDialog(parent)
    , Label1(Named(
          new QLabel(QStringLiteral("A password is required to connect to this computer."), this), "Label1"))
    , lblServer(Named(new QLabel(QStringLiteral("&Host:"), this), "lblServer"))
    , lblHostPort(Named(new QLabel(QStringLiteral("lblHostPort"), this), "lblHostPort"))
    , lblUserName(Named(new QLabel(QStringLiteral("&User name:"), this), "lblUserName"))
    , txtUserName(Named(new QLineEdit(this), "txtUserName"))
    , lblPassword(Named(new QLabel(QStringLiteral("&Password:"), this), "lblPassword"))
    , txtPassword(Named(new QLineEdit(this), "txtPassword"))
    , cmdOK(Named(new QPushButton(QStringLiteral("OK"), this), "cmdOK"))
    , cmdCancel(Named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel"))
{
    setObjectName(QStringLiteral("VNCPasswordDlg"));
    SetupFixedDialog(*this, QStringLiteral("Password"));

    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    lblServer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblPassword->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The host comes from the user or the recent list: never interpret it as markup.
    lblHostPort->setTextFormat(Qt::PlainText);
    lblHostPort->setFixedWidth(220);
    lblPassword->setBuddy(txtPassword);
    // The host line has nothing to focus; as its buddy the host text turns "&H" into an
    // underlined accelerator that, like the original's, leads nowhere.
    lblServer->setBuddy(lblHostPort);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(lblServer, 0, 0);
    fields->addWidget(lblHostPort, 0, 1);
    fields->addWidget(lblUserName, 1, 0);
    fields->addWidget(txtUserName, 1, 1);
    fields->addWidget(lblPassword, 2, 0);
    fields->addWidget(txtPassword, 2, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(fields);
    layout->addStretch(1);
    layout->addLayout(buttons);

    lblUserName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblUserName->setBuddy(txtUserName);
    lblUserName->hide();
    txtUserName->hide();

    setTabOrder(txtUserName, txtPassword);
    setTabOrder(txtPassword, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    FixDialogSize(*this, 324, 117);
}

void TVNCPasswordDlg::ShowUserName(bool shown)
{
    lblUserName->setVisible(shown);
    txtUserName->setVisible(shown);
    // Hidden rows take no room: the classic size comes back with them hidden.
    layout()->activate();
    FixDialogSize(*this, 324, 117);
}

void TVNCPasswordDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TVNCPasswordDlg::FormShow()
{
    (txtUserName->isVisible() && txtUserName->text().isEmpty() ? txtUserName : txtPassword)
        ->setFocus(Qt::OtherFocusReason);
}

} // namespace zarn
