#pragma once
// TConnectDlg: asks which server to connect to. On OK it writes the host and port straight into
// the engine; the recent-hosts list can be picked from and pruned. Created once, shown modally
// each time; the fields keep their contents between showings except where FormShow resets them.

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QAction;
class QPushButton;

namespace zarn {

class TVNCProto;
class TRecentHosts;

class TConnectDlg : public QDialog {
    Q_OBJECT
public:
    TConnectDlg(TVNCProto& proto, TRecentHosts& recentHosts, QWidget* parent = nullptr);

    // Whether the port field lets a typed character through: letters are dropped, everything
    // else (digits, punctuation, space, editing keys) passes.
    static bool txtPortKeyPress(QChar typed);

    // Fills the server and port fields and presses OK on them, without showing the dialog: a
    // server named at start goes through the same reading of host and port as a typed one.
    void ChooseServer(const QString& server, const QString& port);

    QLabel* lblMsg;
    QLabel* lblServer;
    QLineEdit* txtServer;
    QLabel* lblPort;
    QLineEdit* txtPort;
    QLabel* lblRecentHosts;
    QListWidget* lstRecentHosts;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QMenu* mnuRecentHosts;
    QAction* mnuRemoveHost;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void FillRecentHosts();
    void SelectRecentHost(int row);
    void lstRecentHostsClick();
    void lstRecentHostsMouseDown(Qt::MouseButton button, const QPoint& position);
    void lstRecentHostsMouseUp(Qt::MouseButton button, const QPoint& position);
    void mnuRemoveHostClick();
    void cmdOKClick();

    TVNCProto& FProto;
    TRecentHosts& FRecentHosts;
    bool FSelectingInCode = false; // selection changes made here are not the user's clicks
};

} // namespace zarn
