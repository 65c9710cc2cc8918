#pragma once
// TAboutDlg: the application's title and version. OK, Enter and Escape close it.

#include <QDialog>

class QLabel;
class QPushButton;

namespace zarn {

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget* parent = nullptr);

    QLabel* lblAppTitle;
    QLabel* lblVersionInfo;
    QLabel* Label1;
    QLabel* lblNotice;
    QLabel* lblCredits;
    QPushButton* cmdOK;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
};

} // namespace zarn
