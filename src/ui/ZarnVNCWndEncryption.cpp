// The main window's share of encrypted sessions: the Encryption setting, the trust store and the
// two prompts (certificate, user name) handed to the engine before each Connect, and the message
// when the encrypted set-up fails.

#include <QLabel>
#include <QLineEdit>
#include <QString>

#include "protocol/VNCProto.h"
#include "settings/RegSettings.h"
#include "settings/TrustedServers.h"
#include "ui/BusyCursor.h"
#include "ui/HostPortText.h"
#include "ui/frmCertificateDlg.h"
#include "ui/frmVNCPasswordDlg.h"
#include "ui/frmZarnVNCWnd.h"

namespace zarn {

namespace {

// The trust store and the certificate prompt, as the engine's encrypted set-up asks for them
// (the Encryption setting itself comes with the session's settings).
void ArmCertificateChecks(TVNCProto& proto, const std::filesystem::path& iniPath,
    std::function<TCertificateDecision(const TCertificateInfo&)> ask)
{
    proto.Hooks.OnTrustedFingerprint = [iniPath](const std::string& host, int32_t port) {
        return TTrustedServers(iniPath).Fingerprint(host, port);
    };
    proto.Hooks.OnTrustCertificate = [iniPath](const std::string& host, int32_t port, const std::string& sha256) {
        TTrustedServers(iniPath).Trust(host, port, sha256);
    };
    proto.Hooks.OnCertificateCheck = std::move(ask);
}

bool IsEncryptionFailure(const std::string& error)
{
    for (const char* mark : { "TLS ", "certificate", "VeNCrypt", "encryption" }) {
        if (error.find(mark) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

TCertificateDlg& TZarnVNCWnd::CertificateDlg()
{
    if (!FCertificateDlg)
        FCertificateDlg = std::make_unique<TCertificateDlg>();
    return *FCertificateDlg;
}

void TZarnVNCWnd::PrepareEncryption()
{
    FCertificateRefused = false;
    FProto->UserName.clear();
    ArmCertificateChecks(*FProto, FSettings->IniPath(),
        [this](const TCertificateInfo& info) { return AskCertificate(info); });
    FProto->Hooks.OnCredentialsRequest
        = [this](std::string& userName, std::string& password) { return RequestCredentials(userName, password); };
}

TCertificateDecision TZarnVNCWnd::AskCertificate(const TCertificateInfo& info)
{
    const TBusyCursorLifted whileAsking;
    const TCertificateDecision decision = CertificateDlg().Ask(info);
    FCertificateRefused = decision == TCertificateDecision::Cancel;
    return decision;
}

bool TZarnVNCWnd::RequestCredentials(std::string& userName, std::string& password)
{
    TVNCPasswordDlg& dialog = *FVNCPasswordDlg;
    dialog.lblHostPort->setText(HostPortLine(FProto->Host, FProto->Port));
    dialog.txtUserName->setText(QString::fromStdString(userName));
    dialog.txtPassword->clear();
    dialog.ShowUserName(true);
    const TBusyCursorLifted whileAsking;
    const bool given = dialog.exec() == QDialog::Accepted;
    dialog.ShowUserName(false);
    if (!given)
        return false;
    // Plain's user name and password go inside TLS to the server's own login, which reads UTF-8.
    userName = dialog.txtUserName->text().toUtf8().toStdString();
    password = dialog.txtPassword->text().toUtf8().toStdString();
    return true;
}

void TZarnVNCWnd::ShowEncryptionFailure()
{
    const std::string& error = FProto->LastError;
    if (FCertificateRefused || !IsEncryptionFailure(error))
        return;
    ShowMessage(QStringLiteral("The encrypted connection could not be set up: ") + QString::fromStdString(error));
}

} // namespace zarn
