#pragma once
// TCertificateDlg: a server's certificate did not verify (unknown authority, self-signed, another
// name, expired) or is not the one trusted before for that server. It shows who the certificate
// names, who signed it, how long it is valid and its SHA-256 fingerprint, and lets the user
// connect this once, trust it for this host and port from now on, or cancel. When the certificate
// CHANGED it says so plainly, and Cancel is the default.

#include <QDialog>

#include "protocol/VeNCrypt.h"

class QLabel;
class QPushButton;

namespace zarn {

class TCertificateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCertificateDlg(QWidget* parent = nullptr);

    // Shows the certificate and waits for the user's answer; closing the dialog cancels.
    TCertificateDecision Ask(const TCertificateInfo& info);

    QLabel* lblWarning;
    QLabel* lblServer;
    QLabel* lblSubject;
    QLabel* lblIssuer;
    QLabel* lblValidity;
    QLabel* lblFingerprint;
    QLabel* lblProblem;
    QPushButton* cmdConnectOnce;
    QPushButton* cmdAlwaysTrust;
    QPushButton* cmdCancel;

private:
    void Fill(const TCertificateInfo& info);
    TCertificateDecision FDecision = TCertificateDecision::Cancel;
};

} // namespace zarn
