#include "store/net/userinfo.h"

#include "store/net/protocol.h"
#include "store/common/codepage.h"
#include "store/common/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace {

void putInt32(QByteArray &out, qint32 value) {
    char bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    out.append(bytes, 4);
}

void putText(QByteArray &out, const QString &text) {
    const QByteArray bytes = cp936::encode(text).left(UserInfo::kMaxTextBytes);
    char count[2];
    qToLittleEndian<quint16>(quint16(bytes.size()), count);
    out.append(count, 2);
    out.append(bytes);
}

// Reads from a byte view front to back; every read fails once the bytes run out.
class Reader {
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

    bool int32(qint32 &value) {
        if (m_bytes.size() - m_pos < 4) return false;
        value = qFromLittleEndian<qint32>(m_bytes.data() + m_pos);
        m_pos += 4;
        return true;
    }

    bool text(QString &value) {
        if (m_bytes.size() - m_pos < 2) return false;
        const quint16 n = qFromLittleEndian<quint16>(m_bytes.data() + m_pos);
        if (m_bytes.size() - m_pos - 2 < n) return false;
        value = cp936::decode(m_bytes.sliced(m_pos + 2, n));
        m_pos += 2 + n;
        return true;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

} // namespace

UserInfo::UserInfo(const ProgramFolder &folder) : m_folder(folder) {}

void UserInfo::setID() {
    m_recordMark = kRecordMark;
    m_id = qint32(m_folder.random(kIdBound));
}

QString UserInfo::fitText(const QString &text) {
    // Code page 936 takes at most two bytes a character: short texts need no look.
    if (text.size() <= kMaxTextBytes / 2) return text;
    const QByteArray bytes = cp936::encode(text);
    if (bytes.size() <= kMaxTextBytes) return text;
    // Walk the characters: a lead byte 0x81..0xFE starts a two-byte character.
    qsizetype end = 0;
    while (end < bytes.size()) {
        const uchar b = uchar(bytes.at(end));
        const qsizetype len = (b >= 0x81 && b <= 0xFE && end + 1 < bytes.size()) ? 2 : 1;
        if (end + len > kMaxTextBytes) break;
        end += len;
    }
    return cp936::decode(QByteArrayView(bytes).first(end));
}

void UserInfo::setPassword(const QString &text) {
    m_password = fitText(text);
}
void UserInfo::setName(const QString &text) {
    m_name = fitText(text);
}
void UserInfo::setSex(const QString &text) {
    m_sex = fitText(text);
}
void UserInfo::setAddress(const QString &text) {
    m_address = fitText(text);
}
void UserInfo::setEmail(const QString &text) {
    m_email = fitText(text);
}
void UserInfo::setAbout(const QString &text) {
    m_about = fitText(text);
}
void UserInfo::setIP(const QString &text) {
    m_ip = fitText(text);
}

QString UserInfo::fileName(qint32 id) {
    return QString::number(id) + u".usr"_qs;
}

QString UserInfo::filePath(qint32 id) const {
    return folderPath() + fileName(id);
}

QString UserInfo::folderPath() const {
    // Only the folder's name is looked up without regard to case: the account files are named
    // by digits and ".usr" as this program writes them, so a request never lists the folder.
    return m_folder.path(u"\\UserInfo"_qs) + QLatin1Char('/');
}

QByteArray UserInfo::toBytes() const {
    QByteArray out;
    putInt32(out, m_recordMark);
    putInt32(out, m_id);
    for (const QString *t : {&m_password, &m_name, &m_sex, &m_address, &m_email, &m_about, &m_ip})
        putText(out, *t);
    return out;
}

bool UserInfo::fromBytes(QByteArrayView bytes) {
    m_recordMark = 0;
    m_id = 0;
    QString *texts[] = {&m_password, &m_name, &m_sex, &m_address, &m_email, &m_about, &m_ip};
    for (QString *t : texts)
        t->clear();
    Reader r(bytes);
    if (!r.int32(m_recordMark) || !r.int32(m_id)) return false;
    for (QString *t : texts)
        if (!r.text(*t)) return false;
    return true;
}

store::Result UserInfo::Save() const {
    return store::saveFile(filePath(m_id), toBytes());
}

bool UserInfo::getInfo(const QString &id) {
    // Ids come from the network: nothing else becomes a file name.
    if (!protocol::isAccountId(id)) return false;
    QFile file(folderPath() + id + u".usr"_qs);
    if (!file.exists()) return false;
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.read(kMaxRecordBytes);
    return fromBytes(bytes);
}
