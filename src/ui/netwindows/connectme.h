#pragma once

#include <QMainWindow>
#include <QString>

class NetService;
struct ProgramFolder;
struct Settings;
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
    // service: the sockets it drives and shows; settings: the mode, the server's address and the
    // message socket's local port (reset when it cannot be had); folder: where the log is saved.
    ConnectMe(NetService &service, Settings &settings, const ProgramFolder &folder,
              QWidget *parent = nullptr);

    // The load steps; run once, right after creating the window.
    void load();

    // The server's connection log: one line per accepted connection, each beginning with CR LF.
    // The network service's connectionLogged adds to it through logConnection; nothing clears it.
    QString ClientList;

    // The log keeps the newest entries of at most this many characters, so that a flood of
    // connections cannot grow the server without bound; older entries go a quarter at a time.
    static constexpr qsizetype kMaxClientList = 4 << 20;
    void logConnection(const QString &entry);

    // What the network service's signals do to this window:
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

signals:
    // "返 回": the window has hidden itself; the diary is to show with its editor focused.
    void backRequested();
    // "注册": the window has hidden itself; the registration window is to show.
    void registrationRequested();
    // The close box hid the window, as "返回" does without showing the diary.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onConnect();
    void onCancel();
    void onSave();
    void onBack();
    void onThanks();
    void onRegister();
    void onUpdate();
    void onIssuance();
    void onSeeList();
    void onSaveList();
    void onStateTimer();
    void setBusy(bool busy);

    NetService &m_service;
    Settings &m_settings;
    const ProgramFolder &m_folder;
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
