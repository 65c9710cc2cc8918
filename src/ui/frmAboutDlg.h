#pragma once
// TAboutDlg: the application's title and version, and the libraries it runs with and their
// versions. OK, Enter and Escape close it.

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
    QLabel* lblLibraries; // LinkedLibrariesText(), below the classic controls
    QPushButton* cmdOK;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
};

} // namespace zarn
