#include "store/keep/export.h"

#include "store/diary/diarystore.h"
#include "store/diary/weekday.h"
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "store/common/savefile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <memory>

namespace keep {

using store::Code;
using store::Result;

namespace {

const QString kImages = u"images"_qs;

// The folders of the program folder that hold the diary's data or our own.
const QStringList &dataFolders() {
    static const QStringList names = {u"DB"_qs,      u"Love"_qs,   u"UserInfo"_qs,
                                      u"LogFile"_qs, u"Backup"_qs, u"Recovery"_qs};
    return names;
}

// The absolute path with links resolved as far as it exists.
QString resolved(const QString &path) {
    QString existing = QFileInfo(path).absoluteFilePath();
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo fi(existing);
        rest = u'/' + fi.fileName() + rest;
        if (fi.absolutePath() == existing) break;
        existing = fi.absolutePath();
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool isInsideData(const QString &programDir, const QString &outDir) {
    const QString program = resolved(programDir);
    const QString out = resolved(outDir);
    if (out == program) return true;
    if (!out.startsWith(program + u'/')) return false;
    const QString first = out.sliced(program.size() + 1).section(u'/', 0, 0);
    for (const QString &name : dataFolders())
        if (first.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString longDate(const QDate &d) {
    return QString::number(d.year()) + u'年' + QString::number(d.month()) + u'月' +
           QString::number(d.day()) + u'日';
}

// The date of a date file's name (20040908.KAV), if it is one.
std::optional<QDate> dateOfFile(const QFileInfo &fi) {
    if (fi.suffix().compare(u"KAV"_qs, Qt::CaseInsensitive) != 0) return std::nullopt;
    const QString key = fi.completeBaseName();
    if (key.size() < 7 || key.size() > 8) return std::nullopt;
    for (QChar c : key)
        if (c < u'0' || c > u'9') return std::nullopt;
    const QDate d(key.first(key.size() - 4).toInt(), key.sliced(key.size() - 4, 2).toInt(),
                  key.last(2).toInt());
    if (!d.isValid() || diary::DateKey(d) != key) return std::nullopt;
    return d;
}

QString folderNamed(const QString &programDir, const QString &name) {
    if (QFileInfo(programDir + u'/' + name).isDir()) return programDir + u'/' + name;
    for (const QString &n : QDir(programDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (n.compare(name, Qt::CaseInsensitive) == 0) return programDir + u'/' + n;
    return QString();
}

bool writeWhole(const QString &path, const QByteArray &bytes, QString *error) {
    const store::Result saved = store::saveFile(path, bytes);
    if (!saved) *error = saved.detail;
    return saved.ok();
}

// One output document, built up entry by entry.
class Book {
public:
    Book(const ExportOptions &options, int *pictureCount)
        : m_options(options), m_pictures(pictureCount) {
        m_doc.setMetaInformation(QTextDocument::DocumentTitle, u"晴窗日记"_qs);
        m_cursor = QTextCursor(&m_doc);
    }

    bool isEmpty() const { return m_doc.isEmpty(); }

    void heading(int level, const QString &text) {
        QTextBlockFormat block;
        block.setHeadingLevel(level);
        QTextCharFormat chars;
        chars.setFontWeight(QFont::Bold);
        chars.setFontPointSize(level == 1 ? 18 : level == 2 ? 14 : 12);
        startBlock(block, chars);
        m_cursor.insertText(text, chars);
    }

    void line(const QString &text) {
        startBlock(QTextBlockFormat(), QTextCharFormat());
        m_cursor.insertText(text, QTextCharFormat());
    }

    // The rich text of an entry or an item; its pictures are written as files of their own.
    bool richText(const QByteArray &bytes, QString *error) {
        QTextDocument body;
        if (!rtf::looksLikeRtf(bytes) || !rtf::read(bytes, &body)) {
            line(cp936::decode(bytes));
            return true;
        }
        if (m_options.format != Format::Text && !exportPictures(body, error)) return false;
        startBlock(QTextBlockFormat(), QTextCharFormat());
        m_cursor.insertFragment(QTextDocumentFragment(&body));
        return true;
    }

    QByteArray bytes() const {
        switch (m_options.format) {
        case Format::Html:
            return m_doc.toHtml().toUtf8();
        case Format::Markdown:
            return m_doc.toMarkdown().toUtf8();
        case Format::Text:
            return rtf::plainText(&m_doc).toUtf8() + '\n';
        }
        return {};
    }

private:
    void startBlock(const QTextBlockFormat &block, const QTextCharFormat &chars) {
        if (m_doc.isEmpty() && m_cursor.position() == 0) {
            m_cursor.setBlockFormat(block);
            m_cursor.setBlockCharFormat(chars);
        } else {
            m_cursor.insertBlock(block, chars);
        }
    }

    // Saves every picture of doc as images/N.png beside the output and points it there.
    bool exportPictures(QTextDocument &doc, QString *error) {
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (!fragment.charFormat().isImageFormat()) continue;
                QTextImageFormat format = fragment.charFormat().toImageFormat();
                const QVariant resource =
                    doc.resource(QTextDocument::ImageResource, QUrl(format.name()));
                const QImage image = resource.value<QImage>();
                if (image.isNull()) continue;
                const QString name = kImages + u'/' + QString::number(++*m_pictures) + u".png"_qs;
                const QString path = m_options.outDir + u'/' + name;
                QByteArray png;
                QBuffer buffer(&png);
                if (!QDir().mkpath(m_options.outDir + u'/' + kImages)) {
                    *error = m_options.outDir + u'/' + kImages + u": cannot create the folder"_qs;
                    return false;
                }
                if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
                    *error = path + u": the picture cannot be encoded"_qs;
                    return false;
                }
                if (!writeWhole(path, png, error)) return false;
                format.setName(name);
                QTextCursor c(&doc);
                c.setPosition(fragment.position());
                c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
                c.setCharFormat(format);
            }
        }
        return true;
    }

    const ExportOptions &m_options;
    int *m_pictures;
    QTextDocument m_doc;
    QTextCursor m_cursor;
};

struct DateFile {
    QDate date;
    QString path;
};

QList<DateFile> dateFiles(const QString &programDir, const ExportOptions &options) {
    QList<DateFile> files;
    const QString db = folderNamed(programDir, u"DB"_qs);
    if (db.isEmpty()) return files;
    for (const QFileInfo &fi : QDir(db).entryInfoList(QDir::Files)) {
        const std::optional<QDate> d = dateOfFile(fi);
        if (!d || (options.from.isValid() && *d < options.from) ||
            (options.to.isValid() && *d > options.to))
            continue;
        files.append({*d, fi.filePath()});
    }
    std::sort(files.begin(), files.end(),
              [](const DateFile &a, const DateFile &b) { return a.date < b.date; });
    return files;
}

bool addDateFile(Book &book, const DateFile &file, QString *error) {
    book.heading(2, longDate(file.date) + u' ' + diary::WeekdayText(file.date));
    QFile f(file.path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = file.path + u": "_qs + f.errorString();
        return false;
    }
    const QByteArray data = f.readAll();
    // A locked entry is known by its password line alone: its body is never opened, so an
    // enciphered one costs no key derivation.
    for (const diary::EntryRecord &r : diary::readRecords(data)) {
        book.heading(3, diary::decodeTitle(r.title));
        if (!r.complete)
            book.line(u"（这篇日记无法读出。）"_qs);
        else if (r.passwordLine != QByteArrayView("\x07", 1))
            book.line(lockedBodyText());
        else if (!book.richText(r.body.toByteArray(), error))
            return false;
    }
    return true;
}

bool addCollection(Book &book, const QString &programDir, QString *error) {
    const QString love = folderNamed(programDir, u"Love"_qs);
    const QStringList names =
        love.isEmpty() ? QStringList() : QDir(love).entryList(QDir::Files, QDir::Name);
    if (names.isEmpty()) return true;
    book.heading(1, u"珍藏"_qs);
    for (const QString &name : names) {
        QFile f(love + u'/' + name);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = f.fileName() + u": "_qs + f.errorString();
            return false;
        }
        book.heading(2, name);
        if (!book.richText(f.readAll(), error)) return false;
    }
    return true;
}

} // namespace

std::optional<Format> formatNamed(const QString &name) {
    if (name == u"html") return Format::Html;
    if (name == u"markdown") return Format::Markdown;
    if (name == u"text") return Format::Text;
    return std::nullopt;
}

QString exportMarkName() {
    return u".qingchuang-export"_qs;
}

QString lockedBodyText() {
    return u"（这篇日记已加密，正文不导出。）"_qs;
}

Result exportDiary(const QString &programDir, const ExportOptions &options) {
    if (options.outDir.isEmpty() || isInsideData(programDir, options.outDir))
        return Result::failure(Code::BadInput, options.outDir);
    ExportOptions o = options;
    o.outDir = QFileInfo(options.outDir).absoluteFilePath();
    const QString mark = o.outDir + u'/' + exportMarkName();
    if (QFileInfo(o.outDir).isDir() && !QFileInfo::exists(mark) &&
        !QDir(o.outDir)
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
             .isEmpty())
        return Result::failure(Code::NotEmpty, o.outDir);
    if (!QDir().mkpath(o.outDir)) return Result::failure(Code::IoError, o.outDir + u": cannot create the folder"_qs);
    QString error;
    // The mark comes first: a folder an export stopped half way in is still known as its own.
    if (!QFileInfo::exists(mark) &&
        !writeWhole(mark, "晴窗 exported the diary into this folder.\n", &error))
        return Result::failure(Code::IoError, error);

    int pictures = 0;
    // Markdown gets a file per year; the others one file for everything.
    QMap<QString, std::shared_ptr<Book>> books;
    const QString single = o.format == Format::Html ? u"index.html"_qs : u"diary.txt"_qs;
    auto bookFor = [&](const QString &file) -> Book & {
        std::shared_ptr<Book> &b = books[file];
        if (!b) {
            b = std::make_shared<Book>(o, &pictures);
            b->heading(1, u"晴窗日记"_qs);
        }
        return *b;
    };
    for (const DateFile &file : dateFiles(programDir, o)) {
        const QString name =
            o.format == Format::Markdown ? QString::number(file.date.year()) + u".md"_qs : single;
        if (!addDateFile(bookFor(name), file, &error)) return Result::failure(Code::IoError, error);
    }
    Book &rest = bookFor(o.format == Format::Markdown ? u"collection.md"_qs : single);
    if (!addCollection(rest, programDir, &error)) return Result::failure(Code::IoError, error);
    for (auto it = books.cbegin(); it != books.cend(); ++it)
        if (!writeWhole(o.outDir + u'/' + it.key(), it.value()->bytes(), &error))
            return Result::failure(Code::IoError, error);
    return Result::success(o.outDir);
}

} // namespace keep
