#include "ui/frmCertificateDlg.h"

#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/TlsTransport.h"
#include "ui/DialogFrame.h"
#include "ui/HostPortText.h"

namespace zarn {

namespace {

QLabel* PlainLabel(QWidget* parent, const char* name)
{
    // Everything shown comes from the server: never interpreted as markup.
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString DateText(std::time_t when)
{
    return QDateTime::fromSecsSinceEpoch(qint64(when)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

TCertificateDlg::TCertificateDlg(QWidget* parent)
    : QDialog(parent)
    , lblWarning(PlainLabel(this, "lblWarning"))
    , lblServer(PlainLabel(this, "lblServer"))
    , lblSubject(PlainLabel(this, "lblSubject"))
    , lblIssuer(PlainLabel(this, "lblIssuer"))
    , lblValidity(PlainLabel(this, "lblValidity"))
    , lblFingerprint(PlainLabel(this, "lblFingerprint"))
    , lblProblem(PlainLabel(this, "lblProblem"))
    , cmdConnectOnce(new QPushButton(QStringLiteral("Connect once"), this))
    , cmdAlwaysTrust(new QPushButton(QStringLiteral("Always trust"), this))
    , cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("CertificateDlg"));
    SetupFixedDialog(*this, QStringLiteral("Server certificate"));
    cmdConnectOnce->setObjectName(QStringLiteral("cmdConnectOnce"));
    cmdAlwaysTrust->setObjectName(QStringLiteral("cmdAlwaysTrust"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    QFont bold = lblWarning->font();
    bold.setBold(true);
    lblWarning->setFont(bold);
    QFont fixed(QStringLiteral("monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    lblFingerprint->setFont(fixed);

    const auto answer = [this](TCertificateDecision decision) {
        return [this, decision] {
            FDecision = decision;
            accept();
        };
    };
    connect(cmdConnectOnce, &QPushButton::clicked, this, answer(TCertificateDecision::ConnectOnce));
    connect(cmdAlwaysTrust, &QPushButton::clicked, this, answer(TCertificateDecision::AlwaysTrust));
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Server:"), lblServer);
    fields->addRow(QStringLiteral("Issued to:"), lblSubject);
    fields->addRow(QStringLiteral("Issued by:"), lblIssuer);
    fields->addRow(QStringLiteral("Valid:"), lblValidity);
    fields->addRow(QStringLiteral("SHA-256:"), lblFingerprint);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdConnectOnce);
    buttons->addWidget(cmdAlwaysTrust);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblWarning);
    layout->addLayout(fields);
    layout->addWidget(lblProblem);
    layout->addStretch(1);
    layout->addLayout(buttons);
    lblFingerprint->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(47, QLatin1Char('0'))));
    FixDialogSize(*this, 520, 260);
}

void TCertificateDlg::Fill(const TCertificateInfo& info)
{
    lblServer->setText(HostPortLine(info.Host, info.Port));
    lblSubject->setText(QString::fromStdString(info.Subject));
    lblIssuer->setText(QString::fromStdString(info.Issuer));
    lblValidity->setText(DateText(info.NotBefore) + QStringLiteral(" to ") + DateText(info.NotAfter));
    // Two lines of 16 byte pairs: easy to compare with what the server's owner reads out.
    const QString colons = QString::fromStdString(ColonSha256(info.Sha256));
    lblFingerprint->setText(colons.left(47) + QLatin1Char('\n') + colons.mid(48));
    if (info.Changed) {
        lblWarning->setText(QStringLiteral(
            "WARNING: this server's certificate has CHANGED since you chose to trust it. Someone may be "
            "intercepting the connection. Do not connect unless you know why it changed."));
        lblProblem->setText(QStringLiteral("The certificate trusted before has the SHA-256 fingerprint ")
            + QString::fromStdString(ColonSha256(info.StoredSha256)) + QLatin1Char('.'));
    } else {
        lblWarning->setText(QStringLiteral(
            "The server's certificate could not be verified. Connect only if you know this is the right "
            "certificate, for example by comparing its fingerprint with the one the server's owner gives you."));
        lblProblem->setText(QString::fromStdString(info.Problem));
    }
    cmdConnectOnce->setDefault(!info.Changed);
    cmdCancel->setDefault(info.Changed);
    (info.Changed ? cmdCancel : cmdConnectOnce)->setFocus(Qt::OtherFocusReason);
}

TCertificateDecision TCertificateDlg::Ask(const TCertificateInfo& info)
{
    FDecision = TCertificateDecision::Cancel;
    Fill(info);
    if (exec() != QDialog::Accepted)
        return TCertificateDecision::Cancel;
    return FDecision;
}

} // namespace zarn
