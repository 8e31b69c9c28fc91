// The plain text that search reads, on any bytes: where the fast path answers it must show what
// the editor shows (rtf::plainText of rtf::read), and the text search uses (find::plainText) is
// always the text the editor shows for the same body, which it is handed decoded from code page
// 936 and encoded again.
#include "fuzzsupport.h"

#include "store/common/codepage.h"
#include "store/find/rtftext.h"
#include "store/rtf/rtf.h"

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
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString searched = find::plainText(bytes);
    const QByteArray body = cp936::encode(cp936::decode(bytes));
    if (rtf::looksLikeRtf(body)) {
        QTextDocument edited;
        if (rtf::read(body, &edited)) {
            const QString shown = rtf::plainText(&edited);
            check(searched == shown, "search's text is not the editor's", [&] {
                return u"-- search --\n"_qs + escaped(searched.toUtf8()) + u"\n-- editor --\n"_qs + escaped(shown.toUtf8());
            });
        }
    }
    const std::optional<QString> quick = find::fastPlainText(bytes);
    if (!quick) return 0;
    QTextDocument doc;
    check(rtf::read(bytes, &doc), "the fast path read RTF the reader refuses");
    const QString shown = rtf::plainText(&doc);
    check(*quick == shown, "the fast path's text is not the editor's", [&] {
        return u"-- fast --\n"_qs + escaped(quick->toUtf8()) + u"\n-- editor --\n"_qs + escaped(shown.toUtf8());
    });
    return 0;
}
