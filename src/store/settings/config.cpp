#include "store/settings/config.h"

#include "store/common/codepage.h"
#include "store/common/programfolder.h"
#include "store/common/savefile.h"
#include "store/common/textlines.h"

#include <QFile>
#include <QStringList>

#include <cmath>
#include <optional>

namespace settings {

namespace {

const char16_t kCrLf[] = u"\r\n";

// The reader's only exception: any error ends the reading on the failure path.
struct ConfigError {};

class LineReader {
public:
    explicit LineReader(const QString &text) : m_text(text), m_lines(splitLines(QStringView(m_text))) {}

    bool atEnd() const { return m_next >= m_lines.size(); }

    // Reading past the end is an error of the file.
    QString next() {
        if (atEnd()) throw ConfigError{};
        return m_lines.at(m_next++).toString();
    }

private:
    QString m_text;
    QList<QStringView> m_lines;
    qsizetype m_next = 0;
};

struct ValueLine {
    QString key;
    QString value;
};

// Key before the first "=", value up to the second "=".
ValueLine split(const QString &line) {
    const QStringList parts = line.split(QLatin1Char('='));
    if (parts.size() < 2) throw ConfigError{};
    return {parts.at(0), parts.at(1)};
}

// The key of a line in a keyed section. A line that names one of the section's keys but has no
// "=" has no value to give: an error like a value line without "=". Other lines without "=" are
// no keys and are skipped.
QString keyOf(const QString &line, const QStringList &keys) {
    if (!line.contains(QLatin1Char('='))) {
        if (keys.contains(line)) throw ConfigError{};
        return QString();
    }
    return line.section(QLatin1Char('='), 0, 0);
}

QString valueOf(const QString &line) {
    const QStringList parts = line.split(QLatin1Char('='));
    return parts.size() < 2 ? QString() : parts.at(1);
}

// A whole number as the settings file writes it: blanks around it allowed, a decimal fraction
// rounded to nearest with halves to even; anything else, or a value out of range, is an error.
qint64 readNumber(const QString &text, qint64 min, qint64 max) {
    const QString t = text.trimmed();
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || t.contains(QLatin1Char('e'), Qt::CaseInsensitive) || !std::isfinite(d))
        throw ConfigError{};
    const double r = std::nearbyint(d);
    if (r < double(min) || r > double(max)) throw ConfigError{};
    return qint64(r);
}

void apply(LineReader &in, Settings &s) {
    while (!in.atEnd()) {
        const QString line = in.next();
        if (!line.startsWith(QLatin1Char('[')) || !line.endsWith(QLatin1Char(']')) || line.size() < 2)
            continue;
        const QString name = line.mid(1, line.size() - 2);
        static const QStringList singleLine = {u"index"_qs, u"Host"_qs,      u"Message"_qs,
                                               u"Server"_qs, u"PassCheck"_qs, u"LocPort"_qs};
        if (singleLine.contains(name)) {
            const QString v = in.next();
            if (v.isEmpty()) continue;
            const QString value = split(v).value;
            // The home page is written there: a name leading out of the program folder is none.
            if (name == u"index")
                s.FirstPage = store::staysInside(value) ? value : s.FirstPage;
            else if (name == u"Host") s.ConnectIP = value;
            else if (name == u"Message") SetNewMessage(s, value);
            else if (name == u"Server") { if (value == u"1") s.IsServer = true; }
            else if (name == u"PassCheck") { if (value == u"1") s.Passme = true; }
            else s.LocPort = qint32(readNumber(value, INT32_MIN, INT32_MAX));
        } else if (name == u"About" || name == u"Lover") {
            s.AboutText += QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) +
                           (name == u"About" ? u"  = 关于自己 ="_qs : u"  = 关于最爱 ="_qs);
            for (;;) {
                const QString l = in.next();
                if (l.isEmpty()) {
                    s.AboutText += QString::fromUtf16(kCrLf);
                    break;
                }
                const ValueLine kv = split(l);
                s.AboutText += QString::fromUtf16(kCrLf) + u"  "_qs + kv.key + u": "_qs + kv.value;
            }
        } else if (name == u"Deletion") {
            static const QStringList keys = {u"Diary"_qs, u"Love"_qs};
            for (QString l = in.next(); !l.isEmpty(); l = in.next()) {
                const QString key = keyOf(l, keys);
                if (key == u"Diary") s.DiaryDeletion = valueOf(l);
                else if (key == u"Love") s.LoveDeletion = valueOf(l);
            }
        } else if (name == u"Security") {
            for (QString l = in.next(); !l.isEmpty(); l = in.next())
                if (keyOf(l, {}) == u"Encrypt") s.Encrypt = valueOf(l);
        } else if (name == u"Backup") {
            // The backup's own section (keep/backup reads its counts): a setting, not shown.
            while (!in.next().isEmpty()) {
            }
        } else if (name == u"ImagePath") {
            static const QStringList keys = {u"ImagesPath"_qs, u"PicSavePath"_qs, u"noLogo"_qs};
            for (QString l = in.next(); !l.isEmpty(); l = in.next()) {
                const QString key = keyOf(l, keys);
                if (key == u"ImagesPath") s.ImagesPath = valueOf(l);
                else if (key == u"PicSavePath") s.oPicSavePath = valueOf(l);
                else if (key == u"noLogo") s.noLogo = qint16(readNumber(valueOf(l), INT16_MIN, INT16_MAX));
            }
        } else {
            s.AboutText += QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) + u"  = "_qs + name + u" ="_qs;
            for (QString l = in.next(); !l.isEmpty(); l = in.next()) {
                const ValueLine kv = split(l);
                s.AboutText += QString::fromUtf16(kCrLf) + u"  "_qs + kv.key + u": "_qs + kv.value;
            }
            s.AboutText += QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf);
        }
    }
}

} // namespace

QString defaultConfigText() {
    static const char16_t *const lines[] = {
        u"[index]",
        u"path=index.KAV",
        u"",
        u"[Host]",
        u"host=127.0.0.1",
        u"",
        u"[About]",
        u"Nick= 晴窗",
        u"Name= 林晓舟",
        u"Sex= 男",
        u"Birthday= 1988-03-15(农历：戊辰年正月廿八)",
        u"Address= 浙江省杭州市西湖区",
        u"HomePage= http://www.qingchuang.example/(晴窗小筑)",
        u"Tel= 0571-88886666",
        u"Email= xiaozhou@qingchuang.example",
        u"",
        u"[Lover]",
        u"Name= 苏映雪",
        u"Nick= 雪儿 小雪",
        u"Birthday= 1990-08-27(农历：庚午年七月初八)",
        u"",
        u"[Message]",
        u"Msg=  I LOVE YOU! Forever ...",
        u"",
        u"[Server]",
        u"Server=0",
        u"",
        u"[PassCheck]",
        u"Passme=1",
        u"",
        u"[LocPort]",
        u"LocalPort=9233",
        u"",
        u"[Deletion]",
        u"Diary=1",
        u"Love=1",
        u"",
        u"[ImagePath]",
        u"ImagesPath=C:\\Images\\",
        u"PicSavePath=C:\\PicSave\\",
        u"noLogo=0",
        u"",
    };
    QString text;
    for (const char16_t *line : lines)
        text += QString::fromUtf16(line) + QString::fromUtf16(kCrLf);
    return text;
}

void SetNewMessage(Settings &settings, const QString &message) {
    settings.NewMessage = QString::fromUtf16(kCrLf) + u"  "_qs + message;
}

bool parseConfigData(QByteArrayView data, Settings &settings) {
    settings.AboutText.clear();
    settings.ConfigUnreadable = false;
    LineReader in(cp936::decode(data));
    try {
        apply(in, settings);
    } catch (const ConfigError &) {
        settings.AboutText.clear();
        settings.ConfigUnreadable = true;
        return false;
    }
    return true;
}

bool ParseConfig(const QString &path, Settings &settings) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        settings.AboutText.clear();
        settings.ConfigUnreadable = true;
        return false;
    }
    return parseConfigData(f.readAll(), settings);
}

void LoadConfig(const QString &programDir, Settings &settings) {
    const QString path = programDir + u"/Config.ini"_qs;
    if (!QFile::exists(path)) {
        if (!store::saveFile(path, cp936::encode(defaultConfigText()))) return;
    }
    ParseConfig(path, settings);
}

} // namespace settings
