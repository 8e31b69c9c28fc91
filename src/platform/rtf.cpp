#include "platform/rtf.h"

#include "platform/codepage.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace rtf {

namespace {

const char kHeader[] = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052"
                       "{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}";
const char kParagraph[] = "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18";

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

QString emptyDocument() { return documentWithBody(QString()); }

QString documentWithBody(const QString &escapedBody) {
    return QLatin1String(kHeader) + QLatin1String("\r\n") + QLatin1String(kParagraph) +
           escapedBody + QLatin1String("\\par\r\n}");
}

QString escapeText(const QString &text) {
    QString out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u < 0x80) {
            out += c;
        } else {
            const QByteArray bytes = cp936::encode(QStringView(&c, 1));
            for (char b : bytes)
                out += QStringLiteral("\\'%1").arg(static_cast<unsigned char>(b), 2, 16, QLatin1Char('0'));
        }
    }
    return out;
}

bool looksLikeRtf(QByteArrayView data) {
    qsizetype i = 0;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\r' || data[i] == '\n' || data[i] == '\t'))
        ++i;
    return data.sliced(i).startsWith("{\\rtf");
}

// A small reader for plain paragraphs; formatting and pictures are skipped.
bool read(QByteArrayView data, QTextDocument *doc, QString *error) {
    doc->clear();
    if (!looksLikeRtf(data)) {
        if (error) *error = QStringLiteral("not RTF");
        return false;
    }
    struct Group {
        bool skip = false;
        int uc = 1;
    };
    QList<Group> stack{Group{}};
    QString text;
    QByteArray pending; // \'hh bytes waiting to be decoded together
    int skipChars = 0;
    auto flush = [&] {
        if (!pending.isEmpty()) {
            text += cp936::decode(pending);
            pending.clear();
        }
    };
    auto put = [&](QChar c) {
        if (skipChars > 0) {
            --skipChars;
            return;
        }
        if (!stack.last().skip) text += c;
    };
    qsizetype i = 0;
    const qsizetype n = data.size();
    while (i < n) {
        const char c = data[i];
        if (c == '{') {
            flush();
            if (stack.size() > 1000) {
                if (error) *error = QStringLiteral("nested too deep");
                return false;
            }
            stack.append(stack.last());
            skipChars = 0;
            ++i;
        } else if (c == '}') {
            flush();
            if (stack.size() > 1) stack.removeLast();
            skipChars = 0;
            ++i;
        } else if (c == '\\') {
            ++i;
            if (i >= n) break;
            const char d = data[i];
            if (d == '\'') {
                if (i + 2 < n + 0 && hexValue(data[i + 1]) >= 0 && hexValue(data[i + 2]) >= 0) {
                    const char byte = char(hexValue(data[i + 1]) * 16 + hexValue(data[i + 2]));
                    i += 3;
                    if (skipChars > 0) {
                        --skipChars;
                    } else if (!stack.last().skip) {
                        pending += byte;
                    }
                } else {
                    ++i;
                }
                continue;
            }
            if (!isLetter(d)) {
                flush();
                ++i;
                if (d == '\\' || d == '{' || d == '}') put(QChar(d));
                else if (d == '~') put(QChar(0xa0));
                else if (d == '*') stack.last().skip = true;
                else if (d == '\r' || d == '\n') put(QChar('\n'));
                continue;
            }
            qsizetype start = i;
            while (i < n && isLetter(data[i]))
                ++i;
            const QByteArray word = data.sliced(start, i - start).toByteArray();
            bool hasParam = false;
            long param = 0;
            bool negative = false;
            if (i < n && data[i] == '-') {
                negative = true;
                ++i;
            }
            int digits = 0;
            while (i < n && isDigit(data[i])) {
                if (digits < 10) param = param * 10 + (data[i] - '0');
                ++digits;
                ++i;
                hasParam = true;
            }
            if (negative) param = -param;
            if (i < n && data[i] == ' ') ++i;
            if (word != "u" || !hasParam) flush();
            if (word == "par" || word == "line") {
                put(QChar('\n'));
            } else if (word == "tab") {
                put(QChar('\t'));
            } else if (word == "u" && hasParam) {
                flush();
                if (skipChars == 0 && !stack.last().skip) text += QChar(char16_t(param & 0xffff));
                skipChars = stack.last().uc;
            } else if (word == "uc" && hasParam) {
                stack.last().uc = int(qBound(0L, param, 100L));
            } else if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" ||
                       word == "info" || word == "pict" || word == "object" ||
                       word == "header" || word == "footer") {
                stack.last().skip = true;
            }
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else {
            flush();
            put(QChar(c));
            ++i;
        }
    }
    flush();
    // RichEdit ends every document with \par; the final paragraph mark is not text.
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    doc->setPlainText(text);
    return true;
}

QByteArray write(const QTextDocument *doc) {
    QString body;
    bool first = true;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (!first) body += QLatin1String("\\par\r\n");
        QString t = escapeText(b.text());
        t.replace(QLatin1Char('\t'), QLatin1String("\\tab "));
        // Only the control word before the first paragraph needs a blank to end it.
        if (first && !t.isEmpty() && (isLetter(t.at(0).toLatin1()) || isDigit(t.at(0).toLatin1()) || t.at(0) == QLatin1Char(' ')))
            body += QLatin1Char(' ');
        first = false;
        body += t;
    }
    return documentWithBody(body).toLatin1();
}

} // namespace rtf
