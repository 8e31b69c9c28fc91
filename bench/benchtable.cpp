// Runs the diary's benchmarks that have a reference beside them and prints one table: our
// figure, the reference figure and their ratio (ours / reference).
//
// - Start-up: the real program and an empty Qt window, each copied alone into a fresh temporary
//   folder and started under the offscreen platform (and under Xvfb when it is installed); and the
//   program started in a folder that already holds a diary (with and without an 800,000-character
//   home page) beside an empty window showing one line of Chinese text in the same font, and
//   beside that reference also the main window's controls alone, with no program behind them
//   (what any program showing that window pays, emptywindow.cpp); timed
//   from the moment the process is started to the moment its first window has been exposed and
//   painted. That moment is told by the qcshown plugin (shown/shownplugin.cpp), loaded into both
//   the same way, so that neither program carries a hook of its own. Median of many starts, the
//   two programs taking turns.
// - Everything else: the Google Benchmark executables beside this one, run with repetitions and
//   random interleaving; the table takes the median of the repetitions, in CPU time where the work
//   is computing alone (other programs on the machine then hardly move it) and in elapsed time
//   where waiting for the disk or the network is part of the cost.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

namespace {

QTextStream &err() {
    static QTextStream s(stderr);
    return s;
}

qint64 monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A measured figure, or why there is none.
struct Figure {
    std::optional<double> value;
    QString error;
};

struct Row {
    QString what;
    QString unit;
    Figure ours;
    Figure reference;
};

struct Options {
    QString dir;        // where the benchmark executables, emptywindow and plugins/ are
    QString diary;      // the program
    int starts = 21;    // start-ups of each program per platform
    int repetitions = 5;
    bool xvfb = true;
};

// ---- start-up -------------------------------------------------------------------------------

struct Platform {
    QString name;
    QProcessEnvironment env;
};

// Milliseconds from starting exe, alone in a fresh folder, to its first window shown; the window
// must belong to a widget of class expectedClass.
// A program to start: its executable, its arguments, the class of its first window, and the
// folder whose files go beside it (empty: a fresh folder).
struct Program {
    QString exe;
    QStringList args;
    QString expectedClass;
    QString folder;
};

bool copyFolder(const QString &from, const QString &to) {
    const QDir src(from);
    for (const QFileInfo &info : src.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + u'/' + info.fileName();
        if (info.isDir()) {
            if (!QDir().mkpath(target) || !copyFolder(info.filePath(), target)) return false;
        } else if (!QFile::copy(info.filePath(), target)) {
            return false;
        }
    }
    return true;
}

Figure startOnce(const Program &program, const Platform &platform, const QString &pluginDir) {
    const QString &exe = program.exe;
    const QString &expectedClass = program.expectedClass;
    QTemporaryDir dir;
    const QString copy = dir.path() + u'/' + QFileInfo(exe).fileName();
    if (!dir.isValid() || !QFile::copy(exe, copy) ||
        !QFile::setPermissions(copy, QFile::permissions(exe)) ||
        (!program.folder.isEmpty() && !copyFolder(program.folder, dir.path())))
        return {{}, u"cannot copy "_qs + exe + u" into a temporary folder"_qs};

    QProcessEnvironment env = platform.env;
    env.insert(u"QT_PLUGIN_PATH"_qs, pluginDir);
    env.insert(u"QT_QPA_GENERIC_PLUGINS"_qs, u"qcshown"_qs);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    const qint64 started = monotonicNs();
    p.start(copy, program.args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return {{}, QFileInfo(exe).fileName() + u" did not show a window within 30 s"_qs};
    }
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 3 || f[0] != "qcshown") continue;
        if (f[2] != expectedClass.toLatin1())
            return {{}, u"the first window shown is a "_qs + QString::fromLatin1(f[2]) +
                            u", expected the program's "_qs + expectedClass};
        bool ok = false;
        const qint64 shown = f[1].toLongLong(&ok);
        if (!ok) break;
        return {double(shown - started) / 1e6, {}};
    }
    return {{},
            QFileInfo(exe).fileName() + u" ended without showing a window (exit code "_qs +
                QString::number(p.exitCode()) + u"): "_qs +
                QString::fromLocal8Bit(p.readAllStandardError()).left(400)};
}

Row startUp(const Options &o, const Platform &platform, const QString &what, const Program &ourProgram,
            const Program &referenceProgram) {
    const QString plugins = o.dir + u"/plugins"_qs;
    Row row{what + u" ("_qs + platform.name + u')', u"ms wall"_qs, {}, {}};
    std::vector<double> ours, reference;
    // One start of each first, uncounted, so that both meet a warm file cache.
    for (int i = -1; i < o.starts; ++i) {
        // Taking turns, each going first half the time.
        for (int k = 0; k < 2; ++k) {
            const bool diary = (i + k) % 2 == 0;
            const Figure f = startOnce(diary ? ourProgram : referenceProgram, platform, plugins);
            if (!f.value) {
                row.ours.error = row.reference.error = u"not measured"_qs;
                (diary ? row.ours : row.reference).error = f.error;
                return row;
            }
            if (i >= 0) (diary ? ours : reference).push_back(*f.value);
        }
    }
    row.ours.value = median(ours);
    row.reference.value = median(reference);
    return row;
}

// Fills folder with what the diary's first start leaves there (the program started once, its
// settings file, DB and Love), and a home page of homeChars characters of RTF when not 0.
bool prepareDiaryFolder(const Options &o, const QString &folder, int homeChars) {
    // One start in the folder itself writes its files there.
    const QString copy = folder + u"/qingchuang"_qs;
    if (!QFile::copy(o.diary, copy)) return false;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    env.insert(u"QT_PLUGIN_PATH"_qs, o.dir + u"/plugins"_qs);
    env.insert(u"QT_QPA_GENERIC_PLUGINS"_qs, u"qcshown"_qs);
    p.setProcessEnvironment(env);
    p.start(copy, {});
    if (!p.waitForFinished(30000) || !QFile::exists(folder + u"/Config.ini"_qs)) return false;
    QFile::remove(copy);
    if (homeChars == 0) return true;
    // Paragraphs of Chinese text as the editor writes them, up to the size.
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
                     "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 ";
    const QByteArray line = "\\'bd\\'f1\\'cc\\'ec\\'cc\\'ec\\'c6\\'f8\\'ba\\'dc\\'ba\\'c3 a diary line\\par\r\n";
    while (rtf.size() + line.size() + 3 <= homeChars)
        rtf += line;
    rtf += "}";
    QFile f(folder + u"/index.KAV"_qs);
    return f.open(QIODevice::WriteOnly) && f.write(rtf + "\r\n") == rtf.size() + 2;
}

// An Xvfb of our own on a free display, ended with this object.
class Xvfb {
public:
    bool start() {
        const QString exe = QStandardPaths::findExecutable(u"Xvfb"_qs);
        if (exe.isEmpty()) return false;
        for (int n = 140; n < 240; ++n) {
            const QString socket = u"/tmp/.X11-unix/X"_qs + QString::number(n);
            if (QFile::exists(u"/tmp/.X%1-lock"_qs.arg(n)) || QFile::exists(socket)) continue;
            m_process.start(exe, {u':' + QString::number(n), u"-nolisten"_qs, u"tcp"_qs,
                                  u"-screen"_qs, u"0"_qs, u"1280x1024x24"_qs});
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 10000 && m_process.state() != QProcess::NotRunning &&
                   !QFile::exists(socket))
                QThread::msleep(20);
            if (m_process.state() != QProcess::NotRunning && QFile::exists(socket)) {
                m_display = u':' + QString::number(n);
                return true;
            }
            stop(); // lost a race for that display: try the next
        }
        return false;
    }
    QString display() const { return m_display; }
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    ~Xvfb() { stop(); }

private:
    QProcess m_process;
    QString m_display;
};

// ---- Google Benchmark executables ------------------------------------------------------------

// The JSON rows of one benchmark executable, run with repetitions and random interleaving.
QJsonArray runBenchmarks(const Options &o, const QString &name, QString *error) {
    err() << "running " << name << " ..." << Qt::endl;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(o.dir + u'/' + name,
            {u"--benchmark_format=json"_qs,
             u"--benchmark_repetitions="_qs + QString::number(o.repetitions),
             u"--benchmark_report_aggregates_only=true"_qs,
             u"--benchmark_enable_random_interleaving=true"_qs});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = name + u" failed: "_qs + QString::fromLocal8Bit(p.readAllStandardError()).left(400);
        return {};
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = name + u" wrote no readable JSON: "_qs + parse.errorString();
        return {};
    }
    return doc.object().value(u"benchmarks"_qs).toArray();
}

double toMs(double value, const QString &unit) {
    if (unit == u"ns") return value / 1e6;
    if (unit == u"us") return value / 1e3;
    if (unit == u"s") return value * 1e3;
    return value;
}

enum class Clock { Cpu, Wall };

// The median of a benchmark's repetitions (its run name, or that name followed by "/" and the
// benchmark's options): its time in ms, or one of its counters.
Figure pick(const QJsonArray &rows, const QString &error, const QString &runName, Clock clock,
            const QString &counter = {}) {
    if (!error.isEmpty()) return {{}, error};
    // With one repetition there is no median, only the run itself.
    QJsonObject median, single;
    for (const QJsonValue &v : rows) {
        const QJsonObject r = v.toObject();
        const QString name = r.value(u"run_name"_qs).toString();
        if (name != runName && !name.startsWith(runName + u'/')) continue;
        if (r.value(u"error_occurred"_qs).toBool())
            return {{}, runName + u": "_qs + r.value(u"error_message"_qs).toString()};
        if (r.value(u"aggregate_name"_qs).toString() == u"median") median = r;
        if (r.value(u"run_type"_qs).toString() == u"iteration") single = r;
    }
    const QJsonObject r = median.isEmpty() ? single : median;
    if (r.isEmpty()) return {{}, runName + u": not in the results"_qs};
    if (!counter.isEmpty()) return {r.value(counter).toDouble(), {}};
    const QString key = clock == Clock::Cpu ? u"cpu_time"_qs : u"real_time"_qs;
    return {toMs(r.value(key).toDouble(), r.value(u"time_unit"_qs).toString()), {}};
}

// ---- the table -------------------------------------------------------------------------------

QString number(double v) {
    if (v >= 100) return QString::number(v, 'f', 0);
    if (v >= 10) return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 2);
}

// Prints the table; returns the number of rows without figures.
int print(const std::vector<Row> &rows, const Options &o) {
    QTextStream out(stdout);
    const QStringList head{u"benchmark"_qs, u"unit"_qs, u"ours"_qs, u"reference"_qs,
                           u"ours/ref"_qs};
    std::vector<QStringList> cells;
    QStringList notes;
    int failed = 0;
    for (const Row &r : rows) {
        QStringList c{r.what, r.unit, u"-"_qs, u"-"_qs, u"-"_qs};
        if (r.ours.value) c[2] = number(*r.ours.value);
        if (r.reference.value) c[3] = number(*r.reference.value);
        if (r.ours.value && r.reference.value && *r.reference.value > 0)
            c[4] = QString::number(*r.ours.value / *r.reference.value, 'f', 2);
        for (const Figure *f : {&r.ours, &r.reference})
            if (!f->value) {
                notes << r.what + u": "_qs + f->error;
                ++failed;
            }
        cells.push_back(c);
    }
    std::vector<qsizetype> width(head.size());
    for (qsizetype i = 0; i < head.size(); ++i) {
        width[i] = head[i].size();
        for (const QStringList &c : cells)
            width[i] = std::max(width[i], c[i].size());
    }
    auto line = [&](const QStringList &c) {
        QString s = c[0].leftJustified(width[0]);
        for (qsizetype i = 1; i < c.size(); ++i)
            s += u"  "_qs + (i == 1 ? c[i].leftJustified(width[i]) : c[i].rightJustified(width[i]));
        out << s << '\n';
    };
    line(head);
    QString rule;
    for (qsizetype w : width)
        rule += QString(w, u'-') + u"  "_qs;
    out << rule.trimmed() << '\n';
    for (const QStringList &c : cells)
        line(c);
    out << '\n'
        << "Medians: " << o.starts << " starts of each program; " << o.repetitions
        << " repetitions of each benchmark.\n"
        << "Times: lower is better; downloads/s and checks/s: higher is better. ms CPU: the benchmark thread's\n"
        << "CPU time (steady on a shared machine); ms wall: elapsed time, where waiting is part of\n"
        << "the cost (start-up, forcing to disk, the network).\n";
    for (const QString &n : notes)
        out << "FAILED " << n << '\n';
    return failed;
}

int usage() {
    err() << "usage: benchtable [--diary PATH] [--starts N] [--repetitions N] [--no-xvfb]"
          << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Options o;
    o.dir = QCoreApplication::applicationDirPath();
    o.diary = QStringLiteral(QC_DIARY_EXE);
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == u"--diary" && hasValue) {
            o.diary = args[++i];
        } else if (a == u"--starts" && hasValue) {
            o.starts = args[++i].toInt(&ok);
            ok = ok && o.starts > 0;
        } else if (a == u"--repetitions" && hasValue) {
            o.repetitions = args[++i].toInt(&ok);
            ok = ok && o.repetitions > 0;
        } else if (a == u"--no-xvfb") {
            o.xvfb = false;
        } else {
            ok = false;
        }
        if (!ok) return usage();
    }

    std::vector<Row> rows;

    err() << "starting the diary and the empty window " << o.starts << " times each ..."
          << Qt::endl;
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    const Program fresh{o.diary, {}, u"Index"_qs, {}};
    const Program empty{o.dir + u"/emptywindow"_qs, {}, u"QWidget"_qs, {}};
    const Program chinese{o.dir + u"/emptywindow"_qs, {u"chinese"_qs}, u"QWidget"_qs, {}};
    const Program controls{o.dir + u"/emptywindow"_qs, {u"controls"_qs}, u"QMainWindow"_qs, {}};
    // A diary folder as the first start leaves it, and the same with a large home page.
    QTemporaryDir existing, withHome;
    if (!existing.isValid() || !withHome.isValid() || !prepareDiaryFolder(o, existing.path(), 0) ||
        !prepareDiaryFolder(o, withHome.path(), 800000))
        err() << "cannot prepare a diary folder: those start-up rows stay empty" << Qt::endl;
    const Program inExisting{o.diary, {}, u"Index"_qs, existing.path()};
    const Program inWithHome{o.diary, {}, u"Index"_qs, withHome.path()};
    rows.push_back(startUp(o, {u"offscreen"_qs, offscreen}, u"start-up to main window shown"_qs, fresh, empty));
    rows.push_back(startUp(o, {u"offscreen"_qs, offscreen},
                           u"start-up in an existing diary (ref: a Chinese line)"_qs, inExisting, chinese));
    rows.push_back(startUp(o, {u"offscreen"_qs, offscreen},
                           u"main window's controls alone (ref: a Chinese line)"_qs, controls, chinese));
    rows.push_back(startUp(o, {u"offscreen"_qs, offscreen},
                           u"first paint, 800,000-char home page (ref: a Chinese line)"_qs, inWithHome, chinese));
    if (o.xvfb) {
        Xvfb xvfb;
        if (xvfb.start()) {
            QProcessEnvironment x = QProcessEnvironment::systemEnvironment();
            x.insert(u"QT_QPA_PLATFORM"_qs, u"xcb"_qs);
            x.insert(u"DISPLAY"_qs, xvfb.display());
            x.remove(u"XAUTHORITY"_qs);
            const Platform xvfbPlatform{u"Xvfb"_qs, x};
            rows.push_back(startUp(o, xvfbPlatform, u"start-up to main window shown"_qs, fresh, empty));
            rows.push_back(startUp(o, xvfbPlatform, u"start-up in an existing diary (ref: a Chinese line)"_qs,
                                   inExisting, chinese));
            rows.push_back(startUp(o, xvfbPlatform, u"main window's controls alone (ref: a Chinese line)"_qs,
                                   controls, chinese));
            rows.push_back(startUp(o, xvfbPlatform,
                                   u"first paint, 800,000-char home page (ref: a Chinese line)"_qs, inWithHome,
                                   chinese));
        } else {
            err() << "Xvfb is not available: start-up under X is left out" << Qt::endl;
        }
    }

    QString error;
    const QJsonArray rtf = runBenchmarks(o, u"bench_rtf"_qs, &error);
    const QString rtfError = error;
    for (const auto &[size, name] : {std::pair{400000, u"entry"_qs}, {800000, u"home page"_qs}}) {
        const QString arg = u'/' + QString::number(size);
        const QString what = name + u" of "_qs + QLocale(QLocale::English).toString(size) + u" chars: "_qs;
        rows.push_back({what + u"read (RTF / setHtml)"_qs, u"ms CPU"_qs,
                        pick(rtf, rtfError, u"BM_ReadRtf"_qs + arg, Clock::Cpu),
                        pick(rtf, rtfError, u"BM_ReadHtml"_qs + arg, Clock::Cpu)});
        rows.push_back({what + u"write (RTF / toHtml)"_qs, u"ms CPU"_qs,
                        pick(rtf, rtfError, u"BM_WriteRtf"_qs + arg, Clock::Cpu),
                        pick(rtf, rtfError, u"BM_WriteHtml"_qs + arg, Clock::Cpu)});
    }
    rows.push_back({u"entry of 400,000 chars: live count (ref: one char typed)"_qs, u"ms CPU"_qs,
                    pick(rtf, rtfError, u"BM_LiveCount"_qs, Clock::Cpu),
                    pick(rtf, rtfError, u"BM_TypeOneCharacter"_qs, Clock::Cpu)});

    error.clear();
    const QJsonArray date = runBenchmarks(o, u"bench_datefile"_qs, &error);
    rows.push_back({u"date file of 1,000 entries: list (ref: read file once)"_qs, u"ms CPU"_qs,
                    pick(date, error, u"BM_ListEntries"_qs, Clock::Cpu),
                    pick(date, error, u"BM_ReadWholeFile"_qs, Clock::Cpu)});
    rows.push_back({u"date file of 1,000 entries: open last (ref: read file once)"_qs, u"ms CPU"_qs,
                    pick(date, error, u"BM_OpenLastEntry"_qs, Clock::Cpu),
                    pick(date, error, u"BM_ReadWholeFile"_qs, Clock::Cpu)});
    rows.push_back({u"date file of 1,000 entries: remove one (ref: safe copy)"_qs, u"ms wall"_qs,
                    pick(date, error, u"BM_RemoveMiddleEntry"_qs, Clock::Wall),
                    pick(date, error, u"BM_CopyFileDurably"_qs, Clock::Wall)});

    error.clear();
    const QJsonArray locked = runBenchmarks(o, u"bench_locked"_qs, &error);
    rows.push_back({u"locked entry of 400,000 chars: open enciphered (ref: old lock)"_qs, u"ms CPU"_qs,
                    pick(locked, error, u"BM_OpenEncipheredEntry"_qs, Clock::Cpu),
                    pick(locked, error, u"BM_OpenLegacyLockedEntry"_qs, Clock::Cpu)});

    error.clear();
    const QJsonArray find = runBenchmarks(o, u"bench_find"_qs, &error);
    rows.push_back({u"search ten years, cold (ref: read all files)"_qs, u"ms CPU"_qs,
                    pick(find, error, u"BM_SearchCold"_qs, Clock::Cpu),
                    pick(find, error, u"BM_ReadAllFiles"_qs, Clock::Cpu)});
    rows.push_back({u"search ten years, warm (ref: read all files)"_qs, u"ms CPU"_qs,
                    pick(find, error, u"BM_SearchWarm"_qs, Clock::Cpu),
                    pick(find, error, u"BM_ReadAllFiles"_qs, Clock::Cpu)});
    rows.push_back({u"statistics ten years, cold (ref: read all files)"_qs, u"ms CPU"_qs,
                    pick(find, error, u"BM_StatsCold"_qs, Clock::Cpu),
                    pick(find, error, u"BM_ReadAllFiles"_qs, Clock::Cpu)});
    rows.push_back({u"statistics ten years, warm (ref: read all files)"_qs, u"ms CPU"_qs,
                    pick(find, error, u"BM_StatsWarm"_qs, Clock::Cpu),
                    pick(find, error, u"BM_ReadAllFiles"_qs, Clock::Cpu)});

    error.clear();
    const QJsonArray net = runBenchmarks(o, u"bench_net"_qs, &error);
    rows.push_back({u"message downloads, 50 clients (ref: minimal server)"_qs, u"downloads/s"_qs,
                    pick(net, error, u"BM_ForNullMessageService"_qs, Clock::Wall,
                         u"items_per_second"_qs),
                    pick(net, error, u"BM_MinimalServer"_qs, Clock::Wall,
                         u"items_per_second"_qs)});
    rows.push_back({u"login answered, 200 idle clients held (ref: none held)"_qs, u"ms wall"_qs,
                    pick(net, error, u"BM_LoginWhileHeld/200"_qs, Clock::Wall),
                    pick(net, error, u"BM_LoginWhileHeld/0"_qs, Clock::Wall)});

    error.clear();
    const QJsonArray accounts = runBenchmarks(o, u"bench_accounts"_qs, &error);
    rows.push_back({u"login checks, 100,000 accounts (ref: 10 accounts)"_qs, u"checks/s"_qs,
                    pick(accounts, error, u"BM_Login/100000"_qs, Clock::Cpu, u"items_per_second"_qs),
                    pick(accounts, error, u"BM_Login/10"_qs, Clock::Cpu, u"items_per_second"_qs)});

    return print(rows, o) == 0 ? 0 : 1;
}
