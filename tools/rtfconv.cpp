// qingchuang-rtf: an entry out of the diary. --text FILE prints the plain text as the editor shows
// it (UTF-8, one line per paragraph); --rtf FILE prints what the writer makes of it. FILE "-" is
// standard input. Exit status 1 when the file cannot be read or is not RTF, 2 for wrong use.
#include "store/rtf/rtf.h"

#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char *argv[]) {
    // A command-line tool: no display needed for fonts and pictures.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 3 || (args.at(1) != u"--text"_qs && args.at(1) != u"--rtf"_qs)) {
        std::fprintf(stderr, "usage: qingchuang-rtf --text FILE | --rtf FILE\n");
        return 2;
    }
    QFile f;
    const bool opened = args.at(2) == u"-"_qs ? f.open(stdin, QIODevice::ReadOnly) : (f.setFileName(args.at(2)), f.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "qingchuang-rtf: cannot open %s\n", qPrintable(args.at(2)));
        return 1;
    }
    QTextDocument doc;
    QString error;
    if (!rtf::read(f.readAll(), &doc, &error)) {
        std::fprintf(stderr, "qingchuang-rtf: %s: %s\n", qPrintable(args.at(2)), qPrintable(error));
        return 1;
    }
    const QByteArray out = args.at(1) == u"--text"_qs ? rtf::plainText(&doc).toUtf8() + '\n' : rtf::write(&doc);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
