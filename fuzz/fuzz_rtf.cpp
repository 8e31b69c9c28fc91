// The RTF reader on any bytes, and the promise the diary lives on: what the writer makes of a
// document it read comes back the same. read -> write -> read shows the same text, and the second
// writing is byte for byte the first. Pasting (insert) must survive the same bytes.
#include "fuzzsupport.h"

#include "store/rtf/rtf.h"

#include <QTextCursor>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;
using fuzzsupport::escaped;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    QTextDocument doc;
    QString error;
    const bool ok = rtf::read(bytes, &doc, &error);
    check(ok || doc.isEmpty(), "a refused document left text behind");
    const QString shown = rtf::plainText(&doc);
    const QByteArray written = rtf::write(&doc);
    const auto first = [&] { return u"-- written --\n"_qs + escaped(written); };
    for (char c : written) {
        const auto b = static_cast<unsigned char>(c);
        check((b >= 0x20 && b < 0x7f) || c == '\r' || c == '\n',
              "the writer wrote a byte that is not printable ASCII", first);
    }

    QTextDocument again;
    check(rtf::read(written, &again, &error), "the writer's own RTF cannot be read",
          [&] { return first() + u"\n"_qs + error; });
    const QString shownAgain = rtf::plainText(&again);
    check(shownAgain == shown, "read -> write -> read shows another text", [&] {
        return first() + u"\n-- text of the first reading --\n"_qs + shown +
               u"\n-- text of the second --\n"_qs + shownAgain;
    });
    const QByteArray writtenAgain = rtf::write(&again);
    check(writtenAgain == written, "read -> write -> read -> write writes other bytes",
          [&] { return first() + u"\n-- written again --\n"_qs + escaped(writtenAgain); });

    // A paste of the same bytes into a document that has text.
    QTextDocument pasted;
    QTextCursor cursor(&pasted);
    cursor.insertText(u"ab"_qs);
    cursor.setPosition(1);
    const bool inserted = rtf::insert(bytes, cursor);
    check(inserted == ok, "pasting and reading disagree on whether the bytes are RTF");
    if (!inserted)
        check(rtf::plainText(&pasted) == u"ab"_qs, "a refused paste changed the document");
    return 0;
}
