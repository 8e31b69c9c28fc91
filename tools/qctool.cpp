// qingchuang-tool: the diary's command-line companion. qingchuang-tool SUBCOMMAND PROGRAMDIR …
// It reads and writes the diary through the same library as the windows, never a window itself.
#include "tools/qctool.h"

#include <QGuiApplication>

#include <cstdio>
#include <vector>

namespace qctool {
int find(const QStringList &args);
int backup(const QStringList &args);
int exportDiary(const QStringList &args);
int stats(const QStringList &args);
int add(const QStringList &args);
} // namespace qctool

namespace {

const std::vector<qctool::Command> &commands() {
    static const std::vector<qctool::Command> all = {
        {"find", "PROGRAMDIR WORDS", qctool::find},
        {"backup", "PROGRAMDIR", qctool::backup},
        {"export", "PROGRAMDIR --format html|markdown|text --out DIR [--from YYYY-MM-DD] [--to YYYY-MM-DD]",
         qctool::exportDiary},
        {"stats", "PROGRAMDIR [--year YYYY] [--json] [--today YYYY-MM-DD]", qctool::stats},
        {"add", "PROGRAMDIR [--date YYYY-MM-DD] --title TITLE   (the text on standard input, UTF-8)", qctool::add},
    };
    return all;
}

int usage() {
    std::fprintf(stderr, "usage:\n");
    for (const qctool::Command &c : commands())
        std::fprintf(stderr, "  qingchuang-tool %s %s\n", c.name, c.usage);
    return 2;
}

} // namespace

int main(int argc, char *argv[]) {
    // A command-line tool: rich text is laid out without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QStringList args = application.arguments();
    args.removeFirst();
    if (args.isEmpty()) return usage();
    const QString name = args.takeFirst();
    for (const qctool::Command &c : commands())
        if (name == QLatin1String(c.name)) return c.run(args);
    return usage();
}
