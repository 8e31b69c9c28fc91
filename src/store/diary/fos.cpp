#include "store/diary/fos.h"

#include "store/diary/diarystore.h"
#include "store/common/codepage.h"
#include "store/common/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

FOS::FOS() = default;
FOS::~FOS() { closeAll(); }

bool FOS::opw(const QString &path) {
    closeAll();
    ++FileNo;
    // Appending in place could leave half an entry behind a crash, and the next entry would be
    // glued to it. The file is written anew instead, its old bytes first.
    QByteArray old;
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isFile()) return false;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return false;
        old = f.readAll();
        if (f.error() != QFileDevice::NoError) return false;
    }
    m_out = std::make_unique<QSaveFile>(path);
    if (!m_out->open(QIODevice::WriteOnly) || m_out->write(old) != old.size()) {
        m_out.reset();
        return false;
    }
    m_failed = false;
    return true;
}

bool FOS::opout(const QString &path) {
    closeAll();
    ++FileNo;
    m_out = std::make_unique<QSaveFile>(path);
    if (!m_out->open(QIODevice::WriteOnly)) {
        m_out.reset();
        return false;
    }
    m_failed = false;
    return true;
}

bool FOS::fw(const QString &text) {
    const QByteArray bytes = cp936::encode(text) + "\r\n";
    if (!m_out || m_out->write(bytes) != bytes.size()) m_failed = true;
    return !m_failed;
}

void FOS::fr(const QString &path) {
    ++FileNo;
    m_readPath = path;
}

std::optional<QString> FOS::getContent(const QString &key, const QString &password, int occurrence) {
    PassOK = false;
    Locked = false;
    LastResult = {cipher::Code::NotFound, {}};
    const QString path = m_readPath;
    m_readPath.clear();
    bool ok = false;
    const qint32 k = key.toInt(&ok);
    if (!ok || path.isEmpty()) return std::nullopt;
    const diary::Content c = diary::readEntry(path, k, occurrence, password);
    if (!c.found) return std::nullopt;
    PassOK = c.PassOK;
    Locked = c.locked;
    LastResult = c.result;
    return c.body;
}

store::Result FOS::closeAll() {
    store::Result result;
    if (m_out) {
        if (m_failed) {
            result = store::fileError(*m_out);
            m_out->cancelWriting();
            m_out->commit();
        } else {
            result = store::commitSaveFile(*m_out);
        }
        m_out.reset();
    }
    m_readPath.clear();
    m_failed = false;
    return result;
}
