#pragma once

#include <QString>
#include <QWidget>

class App;
class QLabel;
class QPushButton;
class QTimer;
class RichTextBox;

// The login window. While it is up, AutoConnect keeps the login socket UserCheck connected to the
// server's login service and shows its state in MsgShow; 登 录 sends the account, NUL and the
// password. The answer is handled by the hidden network window: acceptance closes this window,
// refusal comes back here through ForNull::loginRefused. Controls carry their names as object
// names.
class Login : public QWidget {
    Q_OBJECT
public:
    explicit Login(App &app, QWidget *parent = nullptr);

    // The load steps; App::login() runs them right after creating the window.
    void load();

    // The last request sent: the account text, NUL, the password text.
    QString loginInfo() const { return m_loginInfo; }
    QTimer *autoConnect() const { return AutoConnect; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void AutoConnect_Timer();
    void btLogin_Click();
    void btRegNewUser_Click();
    void btCancel_Click();
    void onRefused();
    void onConnectionLost();

    App &m_app;
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
