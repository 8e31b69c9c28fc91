// qingchuang-rtf: an entry out of the diary. --text FILE prints the plain text as the editor shows
// it (UTF-8, one line per paragraph); --rtf FILE prints what the writer makes of it.
#include "platform/rtf.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 3 || (args.at(1) != u"--text"_qs && args.at(1) != u"--rtf"_qs)) {
        std::fprintf(stderr, "usage: qingchuang-rtf --text FILE | --rtf FILE\n");
        return 2;
    }
    QFile f(args.at(2));
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "qingchuang-rtf: cannot open %s\n", qPrintable(args.at(2)));
        return 1;
    }
    QTextDocument doc;
    QString error;
    if (!rtf::read(f.readAll(), &doc, &error)) {
        std::fprintf(stderr, "qingchuang-rtf: %s: %s\n", qPrintable(args.at(2)), qPrintable(error));
        return 1;
    }
    const QByteArray out = args.at(1) == u"--text"_qs ? doc.toPlainText().toUtf8() + '\n' : rtf::write(&doc);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
