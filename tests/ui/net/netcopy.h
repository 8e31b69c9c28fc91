#pragma once

// Helpers of the network tests: a copy of the program in a folder of its own, started the way
// the program starts (settings file, main window's load sequence, network service), and a
// raw TCP client.

#include "ui/diary/index.h"
#include "ui/netwindows/connectme.h"
#include "store/common/codepage.h"
#include "ui/widgets/richtextbox.h"
#include "ui/app/app.h"
#include "store/settings/config.h"
#include "testsupport.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace netcopy {

constexpr int kWait = 15000;

inline QByteArray gbk(const QString &text) {
    return cp936::encode(text);
}

struct Options {
    bool server = false;
    bool passme = false;               // [PassCheck] Passme=1
    std::optional<QByteArray> message; // \Message.txt
    std::optional<QDateTime> clock;
    Ports ports{0, 0, 0};
    // The connection window's state timer closes the message socket once the server has
    // finished; tests that watch the socket itself stop it.
    bool stateTimer = false;
};

// The settings file with the switches of options.
inline QString configText(const Options &o) {
    QString text = settings::defaultConfigText();
    text.replace(u"Server=0\r\n"_qs, o.server ? u"Server=1\r\n"_qs : u"Server=0\r\n"_qs);
    text.replace(u"Passme=1\r\n"_qs, o.passme ? u"Passme=1\r\n"_qs : u"Passme=0\r\n"_qs);
    text.replace(u"LocalPort=9233\r\n"_qs, u"LocalPort=0\r\n"_qs);
    return text;
}

struct Copy {
    QTemporaryDir dir;
    std::unique_ptr<App> app;
    NetService *fn = nullptr;

    explicit Copy(const Options &o = {}) {
        testsupport::writeFile(dir.path() + u"/Config.ini"_qs, gbk(configText(o)));
        if (o.message) testsupport::writeFile(dir.path() + u"/Message.txt"_qs, *o.message);
        app = std::make_unique<App>(dir.path(), o.ports);
        if (o.clock) app->setClock([t = *o.clock] { return t; });
        app->index(); // its load sequence reads the settings and starts the network service
        fn = &app->net();
        if (!o.stateTimer) app->connectMe()->stateTimer()->stop();
    }
    ConnectMe *cm() { return app->connectMe(); }
    QString content() { return cm()->content()->text(); }
    QString path(const QString &relative) const { return dir.path() + u"/"_qs + relative; }
};

// A plain TCP client that gathers everything it receives. Its waits run the event loop.
struct Client {
    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
    quint16 localPort = 0;

    explicit Client(quint16 port) {
        QObject::connect(&socket, &QIODevice::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QAbstractSocket::connected, &socket,
                         [this] { localPort = socket.localPort(); });
        QObject::connect(&socket, &QAbstractSocket::disconnected, &socket, [this] {
            if (socket.isOpen()) received += socket.readAll();
            closed = true;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool connected() {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                               kWait);
    }
    void send(const QByteArray &bytes) {
        socket.write(bytes);
        socket.flush();
    }
    bool waitFor(qsizetype bytes) {
        return QTest::qWaitFor([this, bytes] { return received.size() >= bytes || closed; }, kWait);
    }
    bool waitClosed() {
        return QTest::qWaitFor([this] { return closed; }, kWait);
    }
};

} // namespace netcopy
