#pragma once

// Helpers of the network window tests: a server copy and client copies of the program in this
// process, each in its own folder, the windows' controls by name, and a scripted peer.

#include "../net/netcopy.h"

#include "ui/net/netservice.h"
#include "ui/net/winsock.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace netwindows {

using namespace netcopy;

template <typename T> T *child(QObject *window, const char *name) {
    return window->findChild<T *>(QString::fromLatin1(name));
}
inline QPushButton *button(QObject *w, const char *name) { return child<QPushButton>(w, name); }
inline QAction *action(QObject *w, const char *name) { return child<QAction>(w, name); }
inline RichTextBox *box(QObject *w, const char *name) { return child<RichTextBox>(w, name); }
inline QLabel *label(QObject *w, const char *name) { return child<QLabel>(w, name); }

inline std::unique_ptr<Copy> serverCopy(const QByteArray &message = {}) {
    Options o;
    o.server = true;
    o.message = message;
    return std::make_unique<Copy>(o);
}

// The settings of a client copy that talks to server, with the windows' timers running.
inline Options clientOf(Copy &server, bool passme = false) {
    Options o;
    o.passme = passme;
    o.stateTimer = true;
    o.ports = {quint16(server.fn->svr->LocalPort()), quint16(server.fn->RegSvr->LocalPort()),
               quint16(server.fn->LogSvr->LocalPort())};
    return o;
}

// A port with nothing listening on it.
inline quint16 closedPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// A peer on loopback that keeps every connection, records what it receives and answers only when
// told to.
struct Peer {
    QTcpServer server;
    QTcpSocket *socket = nullptr; // the latest connection
    QByteArray received;
    int connections = 0;
    bool peerClosed = false;

    Peer() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            socket = server.nextPendingConnection();
            ++connections;
            QObject::connect(socket, &QIODevice::readyRead, socket,
                             [this, s = socket] { received += s->readAll(); });
            QObject::connect(socket, &QAbstractSocket::disconnected, socket,
                             [this] { peerClosed = true; });
        });
    }
    quint16 port() const { return server.serverPort(); }
    bool waitReceived(qsizetype bytes) {
        return QTest::qWaitFor([&] { return received.size() >= bytes; }, kWait);
    }
    void send(const QByteArray &bytes) {
        socket->write(bytes);
        socket->flush();
    }
    void closeConnection() { socket->disconnectFromHost(); }
};

// Types text into w one character at a time, as a keyboard with an input method would.
inline void typeText(QWidget *w, const QString &text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &release);
    }
}

inline bool waitState(Winsock *w, int state) {
    return QTest::qWaitFor([w, state] { return w->State() == state; }, kWait);
}

} // namespace netwindows
