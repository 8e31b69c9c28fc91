#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

class NetService;
struct Settings;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class RichTextBox;

// The registration window. Its load connects the client socket Wsk to the server's registration
// service (dropping any message download on it); AutoConnect shows the connection in MsgShow and
// enables 注册 once connected. 注册 checks the name and the password, fills the empty optional
// boxes with "-", locks the form and sends one registration record. The confirmation is handled
// by the network service; whoever shows the windows closes this one on its reply. Moving the mouse
// over a box shows its hint. Controls carry their names as object names.
class NewUser : public QWidget {
    Q_OBJECT
public:
    // service: the client socket Wsk and the session's flags; settings: the mode and the server's
    // address.
    NewUser(NetService &service, const Settings &settings, QWidget *parent = nullptr);

    // The load steps; run right after creating the window.
    void load();

    QTimer *autoConnect() const { return AutoConnect; }

signals:
    // "取消": this window is to go and the diary to show.
    void backRequested();
    // The close box closed the window.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void onAutoConnect();
    void onRegister();
    // Closes Wsk and connects it to the registration service.
    void connectToServer();
    void SubmitRegInfo();
    void onCancel();
    void onConnectionLost();

    NetService &m_service;
    const Settings &m_settings;
    bool regSent = false;
    QHash<QObject *, QString> m_hints;

    QGroupBox *frmUser = nullptr;
    RichTextBox *UserName = nullptr;
    QRadioButton *SexBoy = nullptr;
    QRadioButton *SexGirl = nullptr;
    RichTextBox *PassWord = nullptr;
    RichTextBox *Email = nullptr;
    RichTextBox *Address = nullptr;
    RichTextBox *About = nullptr;
    QList<QWidget *> m_locked; // what a submission disables, in order
    QPushButton *Reg = nullptr;
    QPushButton *bt_cancel = nullptr;
    QLabel *MsgShow = nullptr;
    QTimer *AutoConnect = nullptr;
};
