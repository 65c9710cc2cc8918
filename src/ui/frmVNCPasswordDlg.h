#pragma once
// TVNCPasswordDlg: asks for the password of the server being connected to. The caller fills
// lblHostPort and empties txtPassword before each showing, and reads txtPassword after OK. For
// servers that want a user name too (VeNCrypt's Plain), ShowUserName(true) adds its field above
// the password; otherwise the dialog is the classic one.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zarn {

class TVNCPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TVNCPasswordDlg(QWidget* parent = nullptr);

    // Shows or hides the user name field (hidden at first), sizing the dialog to match.
    void ShowUserName(bool shown);

    QLabel* Label1;
    QLabel* lblServer;
    QLabel* lblHostPort;
    QLabel* lblUserName;
    QLineEdit* txtUserName;
    QLabel* lblPassword;
    QLineEdit* txtPassword;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

} // namespace zarn
