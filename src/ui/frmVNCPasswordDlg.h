#pragma once
// TVNCPasswordDlg: asks for the password of the server being connected to. The caller fills
// lblHostPort and empties txtPassword before each showing, and reads txtPassword after OK.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zarn {

class TVNCPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TVNCPasswordDlg(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* lblServer;
    QLabel* lblHostPort;
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
