#pragma once

#include <QMainWindow>
#include <QString>

class App;
class QAction;
class QPushButton;
class QTimer;
class RichTextBox;

// The connection and message window, with two faces chosen once at load.
// Client mode: the message reader. 连接 downloads the published message from the server's
// message service on the client socket Wsk; the state timer tmState follows the socket in the
// status line HostIP and closes it once the server has finished.
// Server mode: the operator's console. The pane shows the connection log, 消息发布 and 保 存
// publish a new \Message.txt, 保存列表 appends the log to \LogFile\<date>.txt and 刷新消息 shows
// the message with the three listening services.
// Controls carry their names as object names.
class ConnectMe : public QMainWindow {
    Q_OBJECT
public:
    explicit ConnectMe(App &app, QWidget *parent = nullptr);

    // The load steps; App::connectMe() runs them once, right after creating the window.
    void load();

    // The server's connection log: one line per accepted connection, each beginning with CR LF.
    // The hidden network window adds to it through logConnection; nothing here clears it.
    QString ClientList;

    // The log keeps the newest entries of at most this many characters, so that a flood of
    // connections cannot grow the server without bound; older entries go a quarter at a time.
    static constexpr qsizetype kMaxClientList = 4 << 20;
    void logConnection(const QString &entry);

    // What the hidden network window does to this window:
    // server mode at start-up: connect and cancel disabled, caption " 服务器模式".
    void enterServerMode();
    // data on the message/registration socket: the pane holds the reply so far (piece, after
    // what it held when continued), connect disabled, cancel enabled, status " 开始接收数据...".
    void showReceived(const QString &piece, bool continued = false);
    // a socket error: the report is added to the end of the pane.
    void appendToContent(const QString &text);

    RichTextBox *content() const { return Content; }
    RichTextBox *hostIP() const { return HostIP; }
    QTimer *stateTimer() const { return tmState; }

protected:
    // The close box hides the window, as "返回" does without showing the diary; App::windowLeft
    // brings the diary back where nothing else could.
    void closeEvent(QCloseEvent *event) override;

private:
    void bt_connect_Click();
    void bt_cancel_Click();
    void bt_save_Click();
    void bt_back_Click();
    void m_thanks_Click();
    void m_reg_Click();
    void m_update_Click();
    void m_issuance_Click();
    void m_seeList_Click();
    void m_save_Click();
    void tmState_Timer();
    void setBusy(bool busy);

    App &m_app;
    RichTextBox *Content = nullptr;
    RichTextBox *HostIP = nullptr;
    QPushButton *bt_connect = nullptr;
    QPushButton *bt_cancel = nullptr;
    QPushButton *bt_save = nullptr;
    QPushButton *bt_back = nullptr;
    QAction *m_thanks = nullptr;
    QAction *m_reg = nullptr;
    QAction *m_update = nullptr;
    QAction *m_issuance = nullptr;
    QAction *m_seeList = nullptr;
    QAction *m_save = nullptr;
    QTimer *tmState = nullptr;
};
