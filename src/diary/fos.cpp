#include "diary/fos.h"

#include "diary/diarystore.h"
#include "platform/codepage.h"

#include <QFile>
#include <QSaveFile>

#include <unistd.h>

FOS::FOS() = default;
FOS::~FOS() { closeAll(); }

bool FOS::opw(const QString &path) {
    closeAll();
    ++FileNo;
    m_append = std::make_unique<QFile>(path);
    if (!m_append->open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_append.reset();
        return false;
    }
    m_appendStart = m_append->size();
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
    QIODevice *dev = m_append ? static_cast<QIODevice *>(m_append.get()) : m_out.get();
    if (!dev || dev->write(bytes) != bytes.size()) m_failed = true;
    return !m_failed;
}

void FOS::fr(const QString &path) {
    ++FileNo;
    m_readPath = path;
}

std::optional<QString> FOS::getContent(const QString &key, const QString &password, int occurrence) {
    PassOK = false;
    const QString path = m_readPath;
    m_readPath.clear();
    bool ok = false;
    const qint32 k = key.toInt(&ok);
    if (!ok || path.isEmpty()) return std::nullopt;
    const diary::Content c = diary::readEntry(path, k, occurrence, password);
    if (!c.found) return std::nullopt;
    PassOK = c.PassOK;
    return c.body;
}

bool FOS::closeAll() {
    bool ok = true;
    if (m_append) {
        ok = !m_failed && m_append->flush() && ::fsync(m_append->handle()) == 0;
        if (!ok) {
            // Take a partly written entry back, so that the file lists as before.
            m_append->resize(m_appendStart);
            m_append->flush();
        }
        m_append->close();
        m_append.reset();
    }
    if (m_out) {
        if (m_failed) {
            m_out->cancelWriting();
            ok = false;
        }
        if (!m_out->commit()) ok = false;
        m_out.reset();
    }
    m_readPath.clear();
    m_failed = false;
    return ok;
}
