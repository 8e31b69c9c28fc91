// The window-state file, on any bytes, and states built from the input's choices:
//  - any bytes read to a state within the file's bounds (a zoom from 50 to 400 %, a size of at
//    least one pixel), which writes to a file that reads back as the same state;
//  - a state built here, in the form the window stores it, writes and reads back as itself, its
//    file laid out line by line as built here;
//  - the zoom steps stay within 50 to 400 %, and from a level one step up and one down come back.
#include "fuzzsupport.h"

#include "store/settings/windowstate.h"

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;
using fuzzsupport::Choices;

namespace {

QString describe(const windowstate::State &s) {
    return QStringLiteral("%1,%2 %3x%4 positioned=%5 maximized=%6 zoom=%7")
        .arg(s.geometry.x())
        .arg(s.geometry.y())
        .arg(s.geometry.width())
        .arg(s.geometry.height())
        .arg(s.positioned)
        .arg(s.maximized)
        .arg(s.zoom);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    using windowstate::State;

    const State read = windowstate::parse(QByteArrayView(data, qsizetype(size)));
    check(read.zoom >= windowstate::kMinZoom && read.zoom <= windowstate::kMaxZoom,
          "a zoom out of bounds was read");
    check(read.geometry.isNull() || (read.geometry.width() >= 1 && read.geometry.height() >= 1),
          "a size below one pixel was read");
    check(read.positioned <= !read.geometry.isNull(), "a place without a size was read");
    const State again = windowstate::parse(windowstate::serialize(read));
    check(again == read, "a state read does not read back as itself once written",
          [&] { return describe(read) + u" / "_qs + describe(again); });

    Choices c(data, size);
    State s;
    QByteArray expected = "[Window]\r\n";
    if (c.below(3)) {
        const int width = 1 + int(c.integer<quint32>() % (1u << 20));
        const int height = 1 + int(c.integer<quint32>() % (1u << 20));
        s.positioned = c.below(2);
        const int left = s.positioned ? int(c.integer<quint32>() % (1u << 21)) - (1 << 20) : 0;
        const int top = s.positioned ? int(c.integer<quint32>() % (1u << 21)) - (1 << 20) : 0;
        s.geometry = QRect(left, top, width, height);
        if (s.positioned)
            expected +=
                "Left=" + QByteArray::number(left) + "\r\nTop=" + QByteArray::number(top) + "\r\n";
        expected += "Width=" + QByteArray::number(width) +
                    "\r\nHeight=" + QByteArray::number(height) + "\r\n";
    }
    s.maximized = c.below(2);
    s.zoom =
        windowstate::kMinZoom + int(c.below(windowstate::kMaxZoom - windowstate::kMinZoom + 1));
    expected += "Maximized=" + QByteArray(s.maximized ? "1" : "0") +
                "\r\nZoom=" + QByteArray::number(s.zoom) + "\r\n";
    const QByteArray written = windowstate::serialize(s);
    check(written == expected, "a state's file is laid out otherwise", [&] {
        return fuzzsupport::escaped(written) + u"\n-- expected --\n"_qs +
               fuzzsupport::escaped(expected);
    });
    const State back = windowstate::parse(written);
    check(back == s, "a state does not read back as itself",
          [&] { return describe(s) + u" / "_qs + describe(back); });

    const int percent = int(c.integer<qint32>());
    const int steps = int(c.integer<qint8>());
    const int stepped = windowstate::zoomStep(percent, steps);
    check(stepped >= windowstate::kMinZoom && stepped <= windowstate::kMaxZoom,
          "a zoom step left the bounds");
    // The step up from any zoom is a level; from a level, one step down and one up come back.
    const int up = windowstate::zoomStep(s.zoom, 1);
    if (up != s.zoom)
        check(windowstate::zoomStep(windowstate::zoomStep(up, -1), 1) == up,
              "one step down and one up go elsewhere");
    return 0;
}
