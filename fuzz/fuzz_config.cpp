// The settings reader, two ways on every input.
//  - The input itself as a file: the reader never crashes, fails exactly when it says so, and
//    reading the file again over what it applied changes nothing.
//  - The input as choices that build a well-formed file (sections in any order and number, keys,
//    values with blanks, line feeds, extra "=" and Chinese, ignored lines between sections, and
//    now and then a fault at the end): every setting must equal what the file says, worked out
//    here from what was written, not from the reader. That includes [Security] Encrypt and the
//    backup's counts of [Backup], which the backup reads from the same file on its own.
#include "fuzzsupport.h"

#include "store/keep/backup.h"
#include "store/settings/config.h"

#include <QStringEncoder>
#include <QStringList>

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;
using fuzzsupport::Choices;

namespace {

bool same(const Settings &a, const Settings &b) {
    return a.AboutText == b.AboutText && a.ConfigUnreadable == b.ConfigUnreadable &&
           a.Passme == b.Passme && a.Encrypt == b.Encrypt && a.DiaryDeletion == b.DiaryDeletion &&
           a.LoveDeletion == b.LoveDeletion && a.ImagesPath == b.ImagesPath &&
           a.noLogo == b.noLogo && a.FirstPage == b.FirstPage && a.NewMessage == b.NewMessage &&
           a.IsServer == b.IsServer && a.ConnectIP == b.ConnectIP && a.LocPort == b.LocPort &&
           a.oPicSavePath == b.oPicSavePath;
}

QString describe(const Settings &s) {
    return u"AboutText=["_qs + s.AboutText + u"] ConfigUnreadable="_qs +
           QString::number(s.ConfigUnreadable) + u" Encrypt=["_qs + s.Encrypt + u"] Passme="_qs +
           QString::number(s.Passme) + u" DiaryDeletion=["_qs + s.DiaryDeletion +
           u"] LoveDeletion=["_qs + s.LoveDeletion + u"] ImagesPath=["_qs + s.ImagesPath +
           u"] noLogo="_qs + QString::number(s.noLogo) + u" FirstPage=["_qs + s.FirstPage +
           u"] NewMessage=["_qs + s.NewMessage + u"] IsServer="_qs + QString::number(s.IsServer) +
           u" ConnectIP=["_qs + s.ConnectIP + u"] LocPort="_qs + QString::number(s.LocPort) +
           u" oPicSavePath=["_qs + s.oPicSavePath + u"]"_qs;
}

const QStringList kSingleLine = {u"index"_qs, u"Host"_qs,      u"Message"_qs,
                                 u"Server"_qs, u"PassCheck"_qs, u"LocPort"_qs};
const QStringList kKnown = kSingleLine + QStringList{u"Deletion"_qs, u"ImagePath"_qs,
                                                     u"About"_qs, u"Lover"_qs};

// Text of a line: no CR (it would end the line) and no "=" (it would split it); a line feed is
// part of the text.
QString text(Choices &c, int maxLength = 10) {
    static const QString alphabet = u"abzAZ09 .-_:/\\()[]晴窗日记\n"_qs;
    QString s;
    const unsigned n = c.below(unsigned(maxLength) + 1);
    for (unsigned i = 0; i < n; ++i)
        s += alphabet.at(qsizetype(c.below(unsigned(alphabet.size()))));
    return s;
}

// A value as the reader takes it, and the way it is written: now and then with a second "=" and
// text after it, which the reader drops.
QString valueText(Choices &c, QString *written) {
    const QString v = text(c);
    *written = v;
    if (c.below(4) == 0) *written += u'=' + text(c, 4);
    return v;
}

// A key that is none of the given ones.
QString otherKey(Choices &c, const QStringList &taken) {
    QString k = text(c, 6);
    while (taken.contains(k))
        k += u'x';
    return k;
}

struct Generated {
    QStringList lines;
    Settings expected;
    keep::Rotation rotation; // the counts of the first [Backup] section
    bool ok = true;
};

// Builds a file from the choices and, beside it, the settings reading it must give.
Generated generate(Choices &c) {
    Generated g;
    Settings &e = g.expected;
    QStringList &out = g.lines;
    auto number = [](qint64 v) { return QString::number(v); };
    const unsigned sections = c.below(12);
    bool backupSeen = false;
    for (unsigned i = 0; i < sections && c.more(); ++i) {
        const unsigned kind = c.below(14);
        QString written;
        if (kind < 6) { // a single-line section, its key not looked at
            const QString name = kSingleLine.at(kind);
            out << u'[' + name + u']';
            QString value;
            if (name == u"Server" || name == u"PassCheck") {
                value = c.below(2) ? u"1"_qs : valueText(c, &written);
                if (written.isEmpty()) written = value;
            } else if (name == u"LocPort") {
                value = number(c.integer<qint32>());
                written = value;
            } else {
                value = valueText(c, &written);
            }
            out << text(c, 6) + u'=' + written;
            // A home page named through "." or ".." could lead out of the program folder: ignored.
            if (name == u"index") {
                bool inside = true;
                for (const QString &part : QString(value).replace(u'\\', u'/').split(u'/'))
                    inside = inside && part != u"." && part != u"..";
                if (inside) e.FirstPage = value;
            }
            if (name == u"Host") e.ConnectIP = value;
            if (name == u"Message") e.NewMessage = u"\r\n  "_qs + value;
            if (name == u"Server" && value == u"1") e.IsServer = true;
            if (name == u"PassCheck" && value == u"1") e.Passme = true;
            if (name == u"LocPort") e.LocPort = value.toInt();
        } else if (kind == 6) { // a single-line section whose next line is empty: skipped
            out << u'[' + kSingleLine.at(c.below(6)) + u']' << QString();
        } else if (kind == 7 || kind == 8) { // keyed sections
            const bool deletion = kind == 7;
            const QStringList keys = deletion ? QStringList{u"Diary"_qs, u"Love"_qs}
                                              : QStringList{u"ImagesPath"_qs, u"PicSavePath"_qs,
                                                            u"noLogo"_qs};
            out << (deletion ? u"[Deletion]"_qs : u"[ImagePath]"_qs);
            const unsigned n = c.below(5);
            for (unsigned j = 0; j < n; ++j) {
                const unsigned k = c.below(unsigned(keys.size()) + 1);
                if (k == unsigned(keys.size())) { // another key, with or without "="
                    const QString key = otherKey(c, keys);
                    out << (c.below(2) ? key + u'=' + text(c) : key);
                    if (out.last().isEmpty()) out.last() = u"="_qs;
                    continue;
                }
                const QString &key = keys.at(k);
                QString value;
                if (key == u"noLogo") {
                    value = number(c.integer<qint16>());
                    written = value;
                } else {
                    value = valueText(c, &written);
                }
                out << key + u'=' + written;
                if (key == u"Diary") e.DiaryDeletion = value;
                if (key == u"Love") e.LoveDeletion = value;
                if (key == u"ImagesPath") e.ImagesPath = value;
                if (key == u"PicSavePath") e.oPicSavePath = value;
                if (key == u"noLogo") e.noLogo = qint16(value.toInt());
            }
            out << QString();
        } else if (kind == 9 || kind == 10) { // display sections
            QString name;
            if (kind == 9) {
                name = c.below(2) ? u"About"_qs : u"Lover"_qs;
            } else {
                name = otherKey(c, kKnown);
                name.replace(u'\n', u' ');
            }
            out << u'[' + name + u']';
            e.AboutText += name == u"About"   ? u"\r\n\r\n  = 关于自己 ="_qs
                           : name == u"Lover" ? u"\r\n\r\n  = 关于最爱 ="_qs
                                              : u"\r\n\r\n  = "_qs + name + u" ="_qs;
            const unsigned n = c.below(4);
            for (unsigned j = 0; j < n; ++j) {
                const QString key = text(c, 6);
                const QString value = valueText(c, &written);
                out << key + u'=' + written;
                e.AboutText += u"\r\n  "_qs + key + u": "_qs + value;
            }
            out << QString();
            e.AboutText += kind == 9 ? u"\r\n"_qs : u"\r\n\r\n\r\n"_qs;
        } else if (kind == 12) { // [Security]: Encrypt, other keys, lines without "="
            out << u"[Security]"_qs;
            const unsigned n = c.below(4);
            for (unsigned j = 0; j < n; ++j) {
                switch (c.below(3)) {
                case 0: {
                    const QString value = valueText(c, &written);
                    out << u"Encrypt="_qs + written;
                    e.Encrypt = value;
                    break;
                }
                case 1:
                    out << otherKey(c, {u"Encrypt"_qs}) + u'=' + text(c);
                    if (out.last() == u"=") out.last() = u"x="_qs;
                    break;
                default:
                    out << (c.below(2) ? u"Encrypt"_qs : u"x"_qs + text(c, 4));
                    break;
                }
            }
            out << QString();
        } else if (kind == 13) { // [Backup]: only the first section's counts count
            out << u"[Backup]"_qs;
            const unsigned n = c.below(4);
            for (unsigned j = 0; j < n; ++j) {
                const unsigned k = c.below(3);
                const QString key = k == 0 ? u"Daily"_qs : k == 1 ? u"Weekly"_qs : u"Monthly"_qs;
                static const QStringList notNumbers = {u""_qs, u"x"_qs, u"1.5"_qs, u"七"_qs, u"0x10"_qs, u"1e3"_qs, u"2=3"_qs};
                QString value;
                int count = -1;
                if (c.below(2)) {
                    const qint32 v = c.integer<qint32>();
                    value = QString(qsizetype(c.below(3)), u' ') + QString::number(v) + QString(qsizetype(c.below(3)), u' ');
                    count = v;
                } else {
                    value = notNumbers.at(c.below(unsigned(notNumbers.size())));
                }
                out << key + u'=' + value;
                if (!backupSeen && count >= 0) {
                    if (k == 0) g.rotation.daily = count;
                    if (k == 1) g.rotation.weekly = count;
                }
            }
            out << QString();
            backupSeen = true;
        } else { // a line between sections that no reader looks at
            out << (c.below(3) ? u";"_qs + text(c) : QString());
        }
    }

    // Now and then a fault at the end: what was applied before it stays, AboutText is emptied.
    switch (c.below(8)) {
    case 0: // a number that cannot be read, or is out of range
        if (c.below(2))
            out << u"[LocPort]"_qs << u"LocalPort=x"_qs << QString();
        else
            out << u"[ImagePath]"_qs << u"noLogo=32768"_qs << QString();
        g.ok = false;
        break;
    case 1: // a value line without "="
        out << u'[' + kSingleLine.at(c.below(6)) + u']' << u"no equals"_qs;
        g.ok = false;
        break;
    case 2: { // the file ends inside a keyed section, after a value that already counts
        QString written;
        e.LoveDeletion = valueText(c, &written);
        out << u"[Deletion]"_qs << u"Love="_qs + written;
        g.ok = false;
        break;
    }
    default:
        break;
    }
    if (!g.ok) {
        e.AboutText.clear();
        e.ConfigUnreadable = true;
    }
    return g;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    const QByteArrayView bytes(data, qsizetype(size));

    Settings once;
    const bool ok = settings::parseConfigData(bytes, once);
    check(ok != once.ConfigUnreadable, "the result and ConfigUnreadable disagree");
    check(!once.ConfigUnreadable || once.AboutText.isEmpty(),
          "an unreadable file keeps an AboutText");
    // Everything a reading sets comes from the file alone: a second reading over the result of
    // the first finds nothing to change.
    Settings twice = once;
    const bool okAgain = settings::parseConfigData(bytes, twice);
    check(okAgain == ok, "a second reading of the same bytes ends differently");
    check(same(once, twice), "a second reading of the same bytes changes the settings");

    Choices choices(data, size);
    const Generated g = generate(choices);
    QString file;
    for (const QString &line : g.lines)
        file += line + u"\r\n"_qs;
    const QByteArray encoded = QStringEncoder("GBK").encode(file);
    Settings read;
    const bool readOk = settings::parseConfigData(encoded, read);
    check(readOk == g.ok, "a generated file is read with another outcome",
          [&] { return file + u"\n-- read --\n"_qs + describe(read); });
    check(same(read, g.expected), "a generated file is read into other settings", [&] {
        return file + u"\n-- read --\n"_qs + describe(read) + u"\n-- expected --\n"_qs +
               describe(g.expected);
    });
    static const QString folder = fuzzsupport::scratchDir();
    fuzzsupport::writeFile(folder + u"/Config.ini"_qs, encoded);
    const keep::Rotation rotation = keep::readRotation(folder);
    check(rotation.daily == g.rotation.daily && rotation.weekly == g.rotation.weekly,
          "the backup reads other counts from a generated file", [&] {
              return file + u"\n-- read --\nDaily="_qs + QString::number(rotation.daily) + u" Weekly="_qs +
                     QString::number(rotation.weekly) + u"\n-- expected --\nDaily="_qs +
                     QString::number(g.rotation.daily) + u" Weekly="_qs + QString::number(g.rotation.weekly);
          });
    return 0;
}
