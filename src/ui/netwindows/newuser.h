#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

class App;
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
// by the hidden network window, which closes this window. Moving the mouse over a box shows its
// hint. Controls carry their names as object names.
class NewUser : public QWidget {
    Q_OBJECT
public:
    explicit NewUser(App &app, QWidget *parent = nullptr);

    // The load steps; App::newUser() runs them right after creating the window.
    void load();

    QTimer *autoConnect() const { return AutoConnect; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void AutoConnect_Timer();
    void Reg_Click();
    // Closes Wsk and connects it to the registration service.
    void connectToServer();
    void SubmitRegInfo();
    void bt_cancel_Click();
    void onConnectionLost();

    App &m_app;
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
