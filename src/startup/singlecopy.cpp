#include "startup/singlecopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QString idOf(const QString &programDir) {
    const QByteArray id = QCryptographicHash::hash(QDir(programDir).canonicalPath().toUtf8(),
                                                   QCryptographicHash::Sha1).toHex().left(16);
    return u"qingchuang-"_qs + QString::fromLatin1(id);
}

constexpr int kAnswerMs = 2000;

} // namespace

SingleCopy::SingleCopy(const QString &programDir, QObject *parent)
    : QObject(parent), m_name(idOf(programDir)), m_lock(QDir::tempPath() + u'/' + idOf(programDir) + u".lock"_qs) {
    m_lock.setStaleLockTime(0);
}

SingleCopy::~SingleCopy() = default;

bool SingleCopy::acquire() {
    if (m_lock.tryLock(0)) {
        // The lock proves that no copy is alive: a socket left by one that crashed can go.
        QLocalServer::removeServer(m_name);
        listen();
        return true;
    }
    if (m_lock.error() == QLockFile::LockFailedError) return false;
    // The lock cannot be taken at all: that is no proof of another copy. One that answers on
    // the socket is one; otherwise this copy runs.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(kAnswerMs)) return false;
    listen();
    return true;
}

void SingleCopy::listen() {
    m_server = new QLocalServer(this);
    if (!m_server->listen(m_name)) return; // best effort: the copy runs without being called
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            s->disconnectFromServer();
            s->deleteLater();
            emit showRequested();
        }
    });
}

bool SingleCopy::tellRunningCopy() {
    QLocalSocket s;
    s.connectToServer(m_name);
    if (!s.waitForConnected(kAnswerMs)) return false;
    s.write("show\n");
    s.waitForBytesWritten(kAnswerMs);
    s.disconnectFromServer();
    return true;
}
