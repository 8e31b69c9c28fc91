// Completed message downloads per second with 50 clients at once: the server mode of the hidden
// network window, beside a minimal server that only writes the same bytes and closes (the floor
// that Qt and the loopback set). And the time a user waits for a login while 200 idle clients
// hold connections to the server, beside the same login with none held (both include the
// server's quiet time, which tells it that a request is whole). Clients and server share the one
// thread, as in the program.
#include "ui/net/netservice.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "ui/net/winsock.h"
#include "ui/app/app.h"
#include "store/settings/config.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kClients = 50;
constexpr int kDownloadsPerIteration = 500;

// About a kilobyte of message, as an operator would publish.
QByteArray messageFile() {
    QByteArray text;
    for (int i = 1; i <= 12; ++i)
        text += cp936::encode(u"第"_qs + QString::number(i) +
                              u"条：今天服务器照常开放，欢迎大家来读消息。\r\n"_qs);
    return text;
}

// Keeps kClients downloads running against a port and counts the ones that arrive whole.
class Downloads : public QObject {
public:
    Downloads(quint16 port, QByteArray expected) : m_port(port), m_expected(std::move(expected)) {
        for (int i = 0; i < kClients; ++i) {
            auto *s = new QTcpSocket(this);
            auto *got = new QByteArray;
            m_buffers.emplace_back(got);
            connect(s, &QIODevice::readyRead, s, [s, got] { *got += s->readAll(); });
            connect(s, &QAbstractSocket::disconnected, s, [this, s, got] {
                if (s->isOpen()) *got += s->readAll();
                if (*got == m_expected)
                    ++m_completed;
                else
                    ++m_broken;
                got->clear();
                // Reconnect from the event loop, not from inside the socket's own signal.
                QTimer::singleShot(0, s, [this, s] { next(s); });
            });
            m_sockets.push_back(s);
        }
    }

    // Runs until count more downloads have completed; false when one came broken.
    bool run(int count) {
        m_target = m_completed + m_broken + count;
        m_running = true;
        for (QTcpSocket *s : m_sockets)
            if (s->state() == QAbstractSocket::UnconnectedState) next(s);
        QEventLoop loop;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &loop, [this, &loop] {
            if (m_completed + m_broken >= m_target) loop.quit();
        });
        watch.start(1);
        loop.exec();
        m_running = false;
        // Let the downloads under way finish before the next round.
        while (std::any_of(m_sockets.begin(), m_sockets.end(), [](QTcpSocket *s) {
            return s->state() != QAbstractSocket::UnconnectedState;
        }))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return m_broken == 0;
    }

private:
    // A reconnection posted in one round may come due after the next round has already started
    // that socket again: it must not cut that download off (the server's accept queue would
    // overflow, and the client wait a second for its SYN to be sent again).
    void next(QTcpSocket *s) {
        if (!m_running || m_completed + m_broken >= m_target) return;
        if (s->state() != QAbstractSocket::UnconnectedState) return;
        s->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
    QByteArray m_expected;
    std::vector<QTcpSocket *> m_sockets;
    std::vector<std::unique_ptr<QByteArray>> m_buffers;
    qint64 m_completed = 0;
    qint64 m_broken = 0;
    qint64 m_target = 0;
    bool m_running = false;
};

void runDownloads(benchmark::State &state, quint16 port, const QByteArray &expected) {
    Downloads downloads(port, expected);
    for (auto _ : state) {
        if (!downloads.run(kDownloadsPerIteration)) {
            state.SkipWithError("a download arrived broken");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kDownloadsPerIteration);
    state.SetLabel("items = completed downloads, 50 clients");
}

// A program folder set up for server mode with the message file.
void writeServerFolder(const QString &dir) {
    QString config = settings::defaultConfigText();
    config.replace(u"Server=0\r\n"_qs, u"Server=1\r\n"_qs);
    QFile c(dir + u"/Config.ini"_qs);
    c.open(QIODevice::WriteOnly);
    c.write(cp936::encode(config));
    c.close();
    QFile m(dir + u"/Message.txt"_qs);
    m.open(QIODevice::WriteOnly);
    m.write(messageFile());
    m.close();
}

void BM_ForNullMessageService(benchmark::State &state) {
    QTemporaryDir dir;
    writeServerFolder(dir.path());
    App app(dir.path(), Ports{0, 0, 0});
    app.index(); // the load sequence starts the network service in server mode
    NetService *fn = &app.net();
    if (fn->svr->State() != Winsock::sckListening) {
        state.SkipWithError("the message service did not start");
        return;
    }
    runDownloads(state, quint16(fn->svr->LocalPort()), cp936::encode(fn->MessageSended));
}

void BM_MinimalServer(benchmark::State &state) {
    // The same bytes the message service sends for the same file.
    QByteArray bytes;
    for (const QByteArray &line : messageFile().split('\n'))
        if (!line.isEmpty()) bytes += "\r\n  " + line.chopped(1);

    QTcpServer server;
    server.listen(QHostAddress::AnyIPv4, 0);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &bytes] {
        while (QTcpSocket *s = server.nextPendingConnection()) {
            QObject::connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QIODevice::bytesWritten, s, [s] {
                if (s->bytesToWrite() == 0) s->disconnectFromHost();
            });
            s->write(bytes);
        }
    });
    runDownloads(state, server.serverPort(), bytes);
}

// One login as a user makes it: connect, send the request, wait for the reply. True on "200".
bool logIn(quint16 port, const QByteArray &request) {
    QTcpSocket s;
    QByteArray reply;
    QEventLoop loop;
    QObject::connect(&s, &QAbstractSocket::connected, &s, [&] { s.write(request); });
    QObject::connect(&s, &QIODevice::readyRead, &s, [&] {
        reply += s.readAll();
        if (reply.size() >= 3) loop.quit();
    });
    QObject::connect(&s, &QAbstractSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    s.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    return reply == "200";
}

void BM_LoginWhileHeld(benchmark::State &state) {
    const int held = int(state.range(0));
    QTemporaryDir dir;
    writeServerFolder(dir.path());
    App app(dir.path(), Ports{0, 0, 0});
    app.index();
    NetService *fn = &app.net();
    if (fn->LogSvr->State() != Winsock::sckListening) {
        state.SkipWithError("the login service did not start");
        return;
    }
    app.setRandomSource([] { return 0.5; });
    UserInfo account(app.folder());
    account.setID();
    account.setPassword(u"口令"_qs);
    if (!account.Save()) {
        state.SkipWithError("the account could not be saved");
        return;
    }
    const QByteArray request =
        cp936::encode(QString::number(account.getID()) + QChar(0) + u"口令"_qs);

    // Idle clients on the login and registration ports, under the server's connection bound.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    const quint16 ports[] = {quint16(fn->LogSvr->LocalPort()), quint16(fn->RegSvr->LocalPort())};
    for (int i = 0; i < held; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, ports[i % 2]);
    }
    while (std::any_of(idle.begin(), idle.end(), [](const auto &s) {
        return s->state() != QAbstractSocket::ConnectedState;
    }))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    for (int i = 0; i < 20; ++i) // let the server take them all in
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    for (auto _ : state) {
        if (!logIn(ports[0], request)) {
            state.SkipWithError("a login was not accepted");
            break;
        }
    }
    state.SetLabel("one login, connect to reply");
}

} // namespace

// Runs of a fixed, equal length, so that both servers meet the same conditions: compare medians
// of --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true.
BENCHMARK(BM_ForNullMessageService)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_MinimalServer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_LoginWhileHeld)->Arg(0)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
