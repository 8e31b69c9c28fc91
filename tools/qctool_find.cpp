// qingchuang-tool find PROGRAMDIR WORDS: the search of the window, one hit a line:
// date (YYYY-MM-DD, or 珍藏 for a collection item), tab, title, tab, snippet.
#include "tools/qctool.h"

#include "store/find/engine.h"

#include <cstdio>

namespace qctool {

namespace {

// One field of a line: tabs and line breaks of titles and snippets become blanks.
QString field(QString s) {
    for (QChar &c : s)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    return s;
}

} // namespace

int find(const QStringList &args) {
    const QString query = args.mid(1).join(QLatin1Char(' '));
    if (args.size() < 2 || find::queryWords(query).isEmpty()) {
        std::fprintf(stderr, "usage: qingchuang-tool find PROGRAMDIR WORDS\n");
        return 2;
    }
    find::Engine engine(args.first());
    if (!engine.readable()) {
        std::fprintf(stderr, "qingchuang-tool find: cannot read %s\n", qPrintable(args.first()));
        return 1;
    }
    engine.search(query, {}, [](const find::Hit &hit) {
        const QString line = find::dateText(hit) + QLatin1Char('\t') + field(hit.title) + QLatin1Char('\t') +
                             field(hit.snippet) + QLatin1Char('\n');
        std::fputs(line.toLocal8Bit().constData(), stdout);
    });
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace qctool
