// qingchuang-tool export PROGRAMDIR --format html|markdown|text --out DIR [--from YYYY-MM-DD]
// [--to YYYY-MM-DD]: the diary in that range and the collection, written into DIR.
#include "tools/qctool.h"

#include "store/keep/export.h"

#include <QDate>
#include <QFileInfo>

#include <cstdio>

namespace qctool {

namespace {

int wrongUse() {
    std::fprintf(stderr,
                 "usage: qingchuang-tool export PROGRAMDIR --format html|markdown|text --out DIR "
                 "[--from YYYY-MM-DD] [--to YYYY-MM-DD]\n");
    return 2;
}

} // namespace

int exportDiary(const QStringList &args) {
    if (args.isEmpty()) return wrongUse();
    keep::ExportOptions options;
    bool haveFormat = false;
    for (qsizetype i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return wrongUse();
        const QString &option = args.at(i);
        const QString &value = args.at(i + 1);
        if (option == u"--format") {
            const std::optional<keep::Format> f = keep::formatNamed(value);
            if (!f) return wrongUse();
            options.format = *f;
            haveFormat = true;
        } else if (option == u"--out") {
            options.outDir = value;
        } else if (option == u"--from" || option == u"--to") {
            const QDate d = QDate::fromString(value, u"yyyy-MM-dd"_qs);
            if (!d.isValid()) return wrongUse();
            (option == u"--from" ? options.from : options.to) = d;
        } else {
            return wrongUse();
        }
    }
    if (!haveFormat || options.outDir.isEmpty()) return wrongUse();
    const QString programDir = QFileInfo(args.first()).absoluteFilePath();
    if (!QFileInfo(programDir).isDir()) {
        std::fprintf(stderr, "qingchuang-tool: no such folder: %s\n", qPrintable(programDir));
        return 1;
    }
    const store::Result r = keep::exportDiary(programDir, options);
    if (r.code == store::Code::BadInput) {
        std::fprintf(stderr, "qingchuang-tool: will not write into the diary's own folders: %s\n",
                     qPrintable(options.outDir));
        return 2;
    }
    if (r.code == store::Code::NotEmpty) {
        std::fprintf(stderr,
                     "qingchuang-tool: the folder holds other files; choose an empty folder or an "
                     "earlier export: %s\n",
                     qPrintable(options.outDir));
        return 2;
    }
    if (!r.ok()) {
        std::fprintf(stderr, "qingchuang-tool: export failed: %s\n", qPrintable(r.detail));
        return 1;
    }
    std::printf("%s\n", qPrintable(r.path));
    return 0;
}

} // namespace qctool
