#pragma once

#include <QString>
#include <QWidget>

class App;
class QPushButton;
class RichTextBox;

// The connection and message window. Its controls carry their names as object names: Content
// (the pane), HostIP (the status line), bt_connect, bt_cancel.
class ConnectMe : public QWidget {
    Q_OBJECT
public:
    explicit ConnectMe(App &app, QWidget *parent = nullptr);

    // The server's connection log: one line per accepted connection, each beginning with CR LF.
    // It only grows; the hidden network window appends to it.
    QString ClientList;

    // What the hidden network window does to this window:
    // server mode at start-up: connect and cancel disabled, caption " 服务器模式".
    void enterServerMode();
    // data on the message/registration socket: the pane holds text (all of the reply so far),
    // connect disabled, cancel enabled, status " 开始接收数据...".
    void showReceived(const QString &text);
    // a socket error: the report is added to the end of the pane.
    void appendToContent(const QString &text);

    RichTextBox *content() const { return Content; }
    RichTextBox *hostIP() const { return HostIP; }

private:
    App &m_app;
    RichTextBox *Content = nullptr;
    RichTextBox *HostIP = nullptr;
    QPushButton *bt_connect = nullptr;
    QPushButton *bt_cancel = nullptr;
};
