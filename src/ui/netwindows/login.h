#pragma once

#include <QString>
#include <QWidget>

class NetService;
struct Settings;
class QLabel;
class QPushButton;
class QTimer;
class RichTextBox;

// The login window. While it is up, AutoConnect keeps the login socket UserCheck connected to the
// server's login service and shows its state in MsgShow; 登 录 sends the account, NUL and the
// password. The answer is handled by the network service: on acceptance (loginAccepted) whoever
// shows the windows closes this one, refusal comes back here through NetService::loginRefused.
// Controls carry their names as object names.
class Login : public QWidget {
    Q_OBJECT
public:
    // service: the login socket and the answers; settings: the mode and the server's address.
    Login(NetService &service, const Settings &settings, QWidget *parent = nullptr);

    // The load steps; run right after creating the window.
    void load();

    // The last request sent: the account text, NUL, the password text.
    QString loginInfo() const { return m_loginInfo; }
    QTimer *autoConnect() const { return AutoConnect; }

signals:
    // "注册新用户": the login socket is closed; this window is to go and the registration window
    // to show.
    void registrationRequested();
    // "取消": this window is to go and the diary to show.
    void backRequested();
    // The close box closed the window.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onAutoConnect();
    void onLogin();
    void onRegister();
    void onCancel();
    void onRefused();
    void onConnectionLost();

    NetService &m_service;
    const Settings &m_settings;
    bool loginSent = false;
    QString m_loginInfo;

    QLabel *MsgShow = nullptr;
    RichTextBox *UserName = nullptr;
    RichTextBox *PassWord = nullptr;
    QPushButton *btLogin = nullptr;
    QPushButton *btRegNewUser = nullptr;
    QPushButton *btCancel = nullptr;
    QTimer *AutoConnect = nullptr;
};
