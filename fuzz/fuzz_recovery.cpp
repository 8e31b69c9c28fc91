// The recovery draft's reader, on any bytes, and drafts built from the input's choices:
//  - a draft read from any bytes writes to bytes that read back as the same draft, and its rich
//    text is exactly the bytes after the header's empty line, as UTF-8;
//  - bytes that do not begin with the draft's first line are never a draft;
//  - a draft of any kind, date (entries only), title (any characters, line breaks and '%'
//    included) and rich text reads back as itself, its header laid out as built here.
#include "fuzzsupport.h"

#include "store/diary/recovery.h"

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;
using fuzzsupport::Choices;

namespace {

// Any character but a lone surrogate: the title box and the editor hold whole characters only.
QString characters(Choices &c, unsigned maxLength) {
    static const QString common = u"晴窗日记 a%\r\n=:/\\{}"_qs;
    QString s;
    const unsigned n = c.below(maxLength + 1);
    for (unsigned i = 0; i < n; ++i) {
        if (c.below(2)) {
            s += common.at(qsizetype(c.below(unsigned(common.size()))));
            continue;
        }
        char32_t u = c.integer<quint32>() % 0x110000;
        if (u >= 0xd800 && u <= 0xdfff) u = 0xfffd;
        s += QString::fromUcs4(&u, 1);
    }
    return s;
}

QByteArray header(const recovery::Draft &d) {
    static const char *kinds[] = {"entry", "home", "collection"};
    QByteArray h = "QCDRAFT 1\r\nkind " + QByteArray(kinds[int(d.kind)]) + "\r\n";
    if (d.kind == recovery::Kind::Entry)
        h += "date " + QByteArray::number(d.date.year()).rightJustified(4, '0') + '-' +
             QByteArray::number(d.date.month()).rightJustified(2, '0') + '-' +
             QByteArray::number(d.date.day()).rightJustified(2, '0') + "\r\n";
    return h;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    const QByteArrayView bytes(data, qsizetype(size));

    if (const std::optional<recovery::Draft> read = recovery::fromBytes(bytes)) {
        check(bytes.startsWith("QCDRAFT 1\r\n"),
              "bytes without the draft's first line read as a draft");
        const qsizetype blank = bytes.indexOf("\r\n\r\n");
        check(read->richText == QString::fromUtf8(bytes.sliced(blank + 4)),
              "the draft's rich text is not the bytes after its header");
        const std::optional<recovery::Draft> again = recovery::fromBytes(recovery::toBytes(*read));
        check(again && *again == *read, "a draft read does not read back as itself once written");
    }

    Choices c(data, size);
    recovery::Draft d;
    d.kind = recovery::Kind(c.below(3));
    if (d.kind == recovery::Kind::Entry)
        d.date = QDate(100 + int(c.integer<quint16>() % 9900), 1, 1).addDays(c.below(365));
    d.title = characters(c, 12);
    d.richText = characters(c, 40);
    const QByteArray written = recovery::toBytes(d);
    check(written.startsWith(header(d) + "title "), "a draft's header is laid out otherwise",
          [&] { return fuzzsupport::escaped(written.left(80)); });
    check(written.endsWith("\r\n\r\n" + d.richText.toUtf8()),
          "a draft's rich text is not at its end");
    const std::optional<recovery::Draft> back = recovery::fromBytes(written);
    check(back && *back == d, "a draft does not read back as itself", [&] {
        return fuzzsupport::escaped(written) + u"\n-- read --\n"_qs +
               (back ? back->title + u" | "_qs + back->richText : u"(no draft)"_qs);
    });
    return 0;
}
