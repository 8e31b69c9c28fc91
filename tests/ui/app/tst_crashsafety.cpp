// Crash safety of everything the program saves. The test re-runs its own executable as a child
// that saves entries, removals, the home page, collection items, the published message and new
// accounts through the program's real paths, and kills it with SIGKILL at random moments; after
// each kill every file must hold what was completed, whole. Failing writes (a full disk, a folder
// that cannot take files, a target name held by a folder) must tell the user and lose nothing.

#include "store/cipher/entrycipher.h"
#include "store/diary/diarystore.h"
#include "store/diary/fos.h"
#include "ui/diary/index.h"
#include "store/diary/mylove.h"
#include "store/net/msgload.h"
#include "store/net/accounts.h"
#include "ui/net/netservice.h"
#include "store/net/protocol.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "store/common/localname.h"
#include "ui/widgets/richtextbox.h"
#include "store/common/textlines.h"
#include "ui/app/app.h"
#include "store/keep/backup.h"
#include "store/keep/keepjob.h"
#include "ui/keep/restorewindow.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QDate today() {
    return {2004, 9, 8};
}
// Three days the child writes to; the first is today.
const QList<QDate> &days() {
    static const QList<QDate> d = {QDate(2004, 9, 8), QDate(2004, 9, 7), QDate(2004, 9, 9)};
    return d;
}
// Collection items are saved under a few names, so that most saves replace an item.
const QStringList &itemNames() {
    static const QStringList n = {u"珍藏甲"_qs, u"KAV_1"_qs, u"歌 词"_qs, u"Null"_qs};
    return n;
}

// Locked entries keep the old lock here, so that every entry can be checked after every kill
// without a key derivation; enciphering is the conversion's part ("convert").
const QByteArray kConfig = "[Deletion]\r\nDiary=1\r\nLove=1\r\n\r\n[Security]\r\nEncrypt=0\r\n";
const QString kSaved = u"日记删除成功！"_qs;

QByteArray digest(const QString &text) {
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex();
}
QByteArray hexOf(const QString &text) {
    return text.toUtf8().toHex();
}
QString fromHex(const QByteArray &hex) {
    return QString::fromUtf8(QByteArray::fromHex(hex));
}

// The password an entry is saved with, from its title, so that whoever removes or reads it later
// knows it. Empty means the box is not ticked.
QString passwordFor(const QString &title) {
    static const QStringList passwords = {QString(), u"abc"_qs, u"密码"_qs, u"中"_qs};
    return passwords.at(QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Md5).at(0) &
                        3);
}

// The text of a file as the program writes it (rich text or plain text, then CR LF): the text,
// or nothing when the file does not end so.
std::optional<QString> textOfFile(const QByteArray &bytes) {
    if (!bytes.endsWith("\r\n")) return std::nullopt;
    return cp936::decode(QByteArrayView(bytes).chopped(2));
}

// Text as a user types it: Chinese and ASCII words, braces and backslashes that RTF must escape,
// line breaks.
QString typedText(QRandomGenerator &rng, int chars) {
    static const QStringList words = {
        u"今天"_qs, u"天气"_qs,   u"晴"_qs,    u"下雨了"_qs, u"我们"_qs,   u"去"_qs,
        u"西湖"_qs, u"散步。"_qs, u"diary"_qs, u"note"_qs,   u"12:30"_qs,  u"{x}"_qs,
        u"a\\b"_qs, u"，"_qs,     u"晓舟"_qs,  u"☆"_qs,      u"tab\tx"_qs, u"¥100"_qs};
    QString s;
    while (s.size() < chars) {
        s += words.at(rng.bounded(int(words.size())));
        s += rng.bounded(10) == 0 ? u"\r\n"_qs : u" "_qs;
    }
    return s;
}

// The main window of a program over a folder, driven through its named controls.
class Diary {
public:
    explicit Diary(App &app) : m_app(app), w(app.index()) { w->show(); }

    template <typename T> T *get(const char *name) const {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    RichTextBox *box(const char *name) const { return get<RichTextBox>(name); }
    QString text(const char *name) const { return box(name)->text(); }
    QListWidget *list() const { return get<QListWidget>("PicList"); }
    bool editing() const { return w->IsEditing; }

    bool click(const char *name) {
        QPushButton *b = get<QPushButton>(name);
        if (!b->isEnabled()) return false;
        b->click();
        return true;
    }
    bool menu(const char *name) {
        QAction *a = get<QAction>(name);
        if (!a->isEnabled()) return false;
        a->trigger();
        return true;
    }
    void setDateBoxes(const QDate &d) {
        box("tt_year")->setText(QString::number(d.year()));
        box("tt_month")->setText(QString::number(d.month()));
        box("tt_day")->setText(QString::number(d.day()));
    }
    // Back to the diary of today from any browse state.
    bool back() { return click("btReturn"); }
    bool showDate(const QDate &d) {
        if (!back()) return false;
        setDateBoxes(d);
        return click("bt_to");
    }

    // 新建日记 (today) or 添加 (another day), then typing.
    bool startEntry(const QDate &d, const QString &title, const QString &body) {
        if (!back()) return false;
        if (d == m_app.today()) {
            if (!menu("m_new")) return false;
        } else {
            setDateBoxes(d);
            if (!click("btReWrite")) return false;
        }
        const QString password = passwordFor(title);
        QCheckBox *ck = get<QCheckBox>("ck_pw");
        if (ck->isChecked() != !password.isEmpty()) ck->click();
        box("rt_pw")->setText(password);
        box("Titles")->setText(title);
        box("mmw")->setText(body);
        return editing();
    }
    // 设置首页, then typing.
    bool startHomePage(const QString &body) {
        if (!back() || !menu("m_edit")) return false;
        box("mmw")->setText(body);
        return editing();
    }
    // 新建珍藏, then typing.
    bool startItem(const QString &name, const QString &body) {
        if (!back() || !menu("m_loveme")) return false;
        box("Titles")->setText(name);
        box("mmw")->setText(body);
        return editing();
    }
    // 保 存: true when the window went back to browsing (the save succeeded).
    bool save() {
        click("bt_save");
        return !editing();
    }
    // Selects the entry of that title on the date shown, with its password in the box.
    bool selectEntry(const QString &title, std::optional<QString> password = std::nullopt) {
        for (int i = 0; i < list()->count(); ++i)
            if (list()->item(i)->text() == title) {
                list()->setCurrentRow(i);
                box("rt_pw")->setText(password ? *password : passwordFor(title));
                return true;
            }
        return false;
    }
    // The Delete key in the list; the editor then shows the outcome.
    QString pressDelete() {
        QTest::keyClick(list(), Qt::Key_Delete);
        return text("mmw");
    }

private:
    App &m_app;

public:
    Index *w;
};

std::unique_ptr<App> makeApp(const QString &dir, std::function<double()> random) {
    auto app = std::make_unique<App>(dir);
    app->setClock([] { return QDateTime(today(), QTime(10, 0)); });
    app->setRandomSource(std::move(random));
    return app;
}

QString registrationRecord(const QString &tag) {
    return protocol::buildRegistrationRecord({tag, u"p"_qs + tag, tag + u"@example.org"_qs,
                                              u"杭州 "_qs + tag, u"关于"_qs + tag, u"女"_qs});
}

bool accountMatches(const UserInfo &u, const QString &tag) {
    return u.recordMark() == UserInfo::kRecordMark && u.getName() == tag &&
           u.getPassword() == u"p"_qs + tag && u.getEmail() == tag + u"@example.org"_qs &&
           u.getAddress() == u"杭州 "_qs + tag && u.getAbout() == u"关于"_qs + tag &&
           u.getSex() == u"女"_qs && u.getIP() == u"127.0.0.1"_qs;
}

// ---- The child ----

// One line to the parent, written straight to the pipe so that it is there even if the process is
// killed right after.
void journal(const QByteArray &line) {
    const QByteArray l = line + '\n';
    qsizetype done = 0;
    while (done < l.size()) {
        const ssize_t n = ::write(1, l.constData() + done, size_t(l.size() - done));
        if (n <= 0) ::_exit(3);
        done += n;
    }
}

// Saves at random, forever, reporting each save before it starts ("B ...") and once it has
// succeeded ("D ..."); "F ..." reports a save that failed, which must never happen here.
int childLoop(App &app, Diary &d, QRandomGenerator &rng, int run) {
    journal("R");
    for (int n = 0;; ++n) {
        const QString tag = u"r%1n%2"_qs.arg(run).arg(n);
        const int pick = rng.bounded(108);
        const QDate day = days().at(rng.bounded(int(days().size())));
        const QString dayFile = app.path(u"DB/"_qs + diary::DateKey(day) + u".KAV"_qs);
        // Big days are thinned out so that the folder stays small.
        const bool bigDay = QFileInfo(dayFile).size() > 400 * 1000;
        if (pick < 30 && !bigDay) {
            const int size = rng.bounded(100);
            const int chars = size < 55   ? 50 + rng.bounded(400)
                              : size < 90 ? 2000 + rng.bounded(6000)
                                          : 10000 + rng.bounded(20000);
            const QString title = tag + u" 晴"_qs;
            if (!d.startEntry(day, title, typedText(rng, chars))) journal("F entry start");
            journal("B entry " + diary::DateKey(day).toLatin1() + ' ' + hexOf(title) + ' ' +
                    digest(d.box("mmw")->textRTF()));
            if (!d.save()) journal("F entry " + hexOf(d.text("says")));
            journal("D entry");
        } else if (pick < 52) {
            if (!d.showDate(day)) journal("F remove show");
            if (d.list()->count() == 0) continue;
            const QString title = d.list()->item(rng.bounded(d.list()->count()))->text();
            d.selectEntry(title);
            journal("B remove " + diary::DateKey(day).toLatin1() + ' ' + hexOf(title));
            const QString shown = d.pressDelete();
            if (shown != u"\r\n  "_qs + kSaved) journal("F remove " + hexOf(shown));
            journal("D remove");
        } else if (pick < 64) {
            if (!d.startHomePage(u"首页 "_qs + tag + u"\r\n"_qs +
                                 typedText(rng, 100 + rng.bounded(20000))))
                journal("F home start");
            journal("B home " + digest(d.box("mmw")->textRTF()));
            if (!d.save()) journal("F home " + hexOf(d.text("says")));
            journal("D home");
        } else if (pick < 78) {
            const QString name = itemNames().at(rng.bounded(int(itemNames().size())));
            if (!d.startItem(name, tag + u"\r\n"_qs + typedText(rng, 100 + rng.bounded(8000))))
                journal("F love start");
            journal("B love " + hexOf(name) + ' ' + digest(d.box("mmw")->textRTF()));
            if (!d.save()) journal("F love " + hexOf(d.text("says")));
            journal("D love");
        } else if (pick < 88) {
            const QString text =
                u"消息 "_qs + tag + u"\r\n"_qs + typedText(rng, 50 + rng.bounded(3000));
            // The file holds the text in code page 936, where ¥ becomes "?".
            journal("B message " + digest(cp936::decode(cp936::encode(text))));
            if (!app.net().publishMessage(text)) journal("F message");
            journal("D message");
        } else if (pick < 100) {
            journal("B account " + hexOf(tag));
            const std::optional<QString> confirmation =
                net::RegNewUser(app.folder(), registrationRecord(tag), u"127.0.0.1"_qs);
            if (!confirmation) journal("F account");
            const qsizetype at = confirmation->indexOf(u"账号： "_qs);
            journal("D account " + confirmation->mid(at + 4).section(u"\r\n"_qs, 0, 0).toLatin1());
        } else if (pick < 104) {
            // Each backup a second of its own, so that its name is known before it is written.
            const QDateTime time = app.now().addSecs(qint64(run) * 100000 + n);
            const QString name = u"diary-"_qs + time.toString(u"yyyyMMdd-HHmmss"_qs) + u".zip"_qs;
            journal("B backup " + name.toLatin1());
            const QString dir = app.programDir();
            store::Result result;
            app.keepJob().start(
                [dir, time] {
                    return keep::makeBackup(dir, time, {2, 0});
                },
                [&result](const store::Result &r) { result = r; });
            app.keepJob().wait();
            if (!result.ok() || QFileInfo(result.path).fileName() != name)
                journal("F backup " + hexOf(result.detail));
            journal("D backup");
        } else {
            // The newest backup, through the window.
            const QList<keep::BackupFile> backups = keep::listBackups(app.programDir());
            if (backups.isEmpty()) continue;
            journal("B restore " + QFileInfo(backups.first().path).fileName().toLatin1());
            if (!d.back() || !d.menu("m_restore")) journal("F restore start");
            RestoreWindow *w = app.restoreWindow();
            w->findChild<QListWidget *>(u"lst_backups"_qs)->setCurrentRow(0);
            w->findChild<QPushButton *>(u"bt_restore"_qs)->click();
            app.keepJob().wait();
            const QString shown = w->findChild<QLabel *>(u"lb_state"_qs)->text();
            if (!shown.startsWith(u"已恢复。"_qs)) journal("F restore " + hexOf(shown));
            w->close();
            journal("D restore");
        }
    }
}

void limitFileSize(qint64 bytes) {
    rlimit lim;
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &lim);
}

// One save whose writes the kernel stops after `limit` bytes of any file, killing the process
// with SIGXFSZ as it tries to write on: a crash in the middle of the write. No limit when it is
// negative.
int childOne(App &app, Diary &d, const QString &op, qint64 limit) {
    auto arm = [limit] {
        if (limit >= 0) limitFileSize(limit);
    };
    bool ok = false;
    if (op == u"entry") {
        d.startEntry(today(), u"新的一篇"_qs, u"新写的日记\r\n"_qs.repeated(200));
        arm();
        ok = d.save();
    } else if (op == u"remove") {
        d.showDate(today());
        d.selectEntry(u"第一篇"_qs);
        arm();
        ok = d.pressDelete() == u"\r\n  "_qs + kSaved;
    } else if (op == u"home") {
        d.startHomePage(u"新的首页\r\n"_qs.repeated(200));
        arm();
        ok = d.save();
    } else if (op == u"love") {
        d.startItem(u"珍藏甲"_qs, u"新的珍藏\r\n"_qs.repeated(200));
        arm();
        ok = d.save();
    } else if (op == u"message") {
        arm();
        ok = app.net().publishMessage(u"新的消息\r\n"_qs.repeated(200)).ok();
    } else if (op == u"account") {
        arm();
        ok = net::RegNewUser(app.folder(), registrationRecord(u"新用户"_qs), u"127.0.0.1"_qs).has_value();
    } else if (op == u"convert") {
        d.back();
        d.box("rt_pw")->setText(u"abc"_qs);
        arm();
        d.menu("m_encipherOld");
        ok = QTest::qWaitFor([&d] { return d.text("mmw") == u"\r\n  已加密 2 篇旧日记。"_qs; }, 60000);
    }
    if (op == u"restore" || op == u"backup") {
        // The words the user is shown come with the outcome, and the process ends at once, so that
        // the step's renames are its last.
        QString shown;
        arm();
        if (op == u"restore") {
            ok = d.menu("m_restore");
            RestoreWindow *w = app.restoreWindow();
            w->findChild<QListWidget *>(u"lst_backups"_qs)->setCurrentRow(0);
            w->findChild<QPushButton *>(u"bt_restore"_qs)->click();
            app.keepJob().wait();
            shown = w->findChild<QLabel *>(u"lb_state"_qs)->text();
            ok = ok && shown.startsWith(u"已恢复。"_qs);
        } else {
            app.startDailyBackup();
            app.keepJob().wait();
            shown = d.text("says");
            ok = !shown.contains(u"备份"_qs);
        }
        journal((ok ? "D " : "F ") + hexOf(shown));
        ::_exit(0);
    }
    journal(ok ? "D" : "F");
    return 0;
}

int runChild() {
    const QString dir = qEnvironmentVariable("QC_CRASH_DIR");
    const QString mode = qEnvironmentVariable("QC_CRASH_CHILD");
    QRandomGenerator rng(quint32(qEnvironmentVariableIntValue("QC_CRASH_SEED")));
    std::function<double()> random = [&rng] { return rng.generateDouble(); };
    if (mode == u"one") random = [] { return 0.5; };
    auto app = makeApp(dir, random);
    Diary d(*app);
    if (mode == u"one")
        return childOne(*app, d, qEnvironmentVariable("QC_CRASH_OP"),
                        qEnvironmentVariable("QC_CRASH_LIMIT").toLongLong());
    return childLoop(*app, d, rng, qEnvironmentVariableIntValue("QC_CRASH_RUN"));
}

QProcess *startChild(const QString &dir, const QStringList &env, const QStringList &wrapper = {}) {
    auto *p = new QProcess;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    e.insert(u"QC_CRASH_DIR"_qs, dir);
    for (const QString &kv : env)
        e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p->setProcessEnvironment(e);
    if (wrapper.isEmpty()) {
        p->setProgram(QCoreApplication::applicationFilePath());
    } else {
        p->setProgram(wrapper.first());
        p->setArguments(wrapper.mid(1) << QCoreApplication::applicationFilePath());
    }
    p->start();
    return p;
}

// ---- What the parent expects on disk ----

struct Stats {
    int kills = 0;
    int entriesVerified = 0;
    int filesVerified = 0;
    QMap<QString, int> started, completed, interrupted, interruptedLanded;
};

// Everything completed so far, and the one save that was under way when the child was killed.
class Model {
public:
    QMap<QString, QStringList> days; // date key -> titles in file order
    QHash<QString, QByteArray> bodies;
    std::optional<QByteArray> home, message;
    QMap<QString, QByteArray> items;
    QMap<qint32, QString> accounts; // id -> tag
    // What each backup holds, by its name; shared by every copy of the model.
    std::shared_ptr<QHash<QString, Model>> backups = std::make_shared<QHash<QString, Model>>();

    // Applies a child's journal; returns the save under way at the end, if any.
    QString apply(const QList<QByteArray> &lines, Stats &stats, QStringList *pending) {
        pending->clear();
        for (const QByteArray &line : lines) {
            const QList<QByteArray> f = line.split(' ');
            if (f[0] == "R") continue;
            if (f[0] == "F")
                return u"the child reported a failed save: "_qs + QString::fromLatin1(line);
            if (f[0] == "B") {
                if (!pending->isEmpty()) return u"a save began before the last one ended"_qs;
                for (const QByteArray &x : f.mid(1))
                    *pending << QString::fromLatin1(x);
                ++stats.started[pending->at(0)];
                continue;
            }
            if (f[0] != "D" || pending->isEmpty())
                return u"unexpected journal line: "_qs + QString::fromLatin1(line);
            const QStringList &p = *pending;
            if (p[0] != QString::fromLatin1(f[1]))
                return u"done does not match begun: "_qs + QString::fromLatin1(line);
            ++stats.completed[p[0]];
            if (p[0] == u"account")
                accounts.insert(f.value(2).toInt(), fromHex(p[1].toLatin1()));
            else if (p[0] == u"backup")
                backups->insert(p[1], snapshot());
            else if (p[0] == u"restore" && restoreTo(p[1]))
                ;
            else if (p[0] == u"restore")
                return u"a restore of a backup never made: "_qs + p[1];
            else
                land(p);
            pending->clear();
        }
        return QString();
    }

    // The state as a backup keeps it: without the list of backups, which holds the snapshots and
    // would otherwise hold itself.
    Model snapshot() const {
        Model m = *this;
        m.backups.reset();
        return m;
    }

    // The state the named backup holds; false when there was no such backup.
    bool restoreTo(const QString &name) {
        if (!backups->contains(name)) return false;
        const std::shared_ptr<QHash<QString, Model>> all = backups;
        *this = all->value(name);
        backups = all;
        return true;
    }

    // The completed state of a save.
    void land(const QStringList &p) {
        if (p[0] == u"entry") {
            const QString title = fromHex(p[2].toLatin1());
            days[p[1]].append(title);
            bodies.insert(title, p[3].toLatin1());
        } else if (p[0] == u"remove") {
            days[p[1]].removeOne(fromHex(p[2].toLatin1()));
        } else if (p[0] == u"home") {
            home = p[1].toLatin1();
        } else if (p[0] == u"love") {
            items.insert(fromHex(p[1].toLatin1()), p[2].toLatin1());
        } else if (p[0] == u"message") {
            message = p[1].toLatin1();
        }
    }
};

// Checks the program folder against the model after a kill. The save under way may have landed
// or not, but wholly; when it landed the model takes it in.
QString verify(const QString &dir, Model &m, const QStringList &pending, Stats &stats) {
    const QString kind = pending.value(0);
    bool landed = false;

    // Date files: each lists without error, holds exactly the expected entries, each intact.
    QStringList dayKeys = m.days.keys();
    for (const QString &name : QDir(dir + u"/DB"_qs).entryList({u"*.KAV"_qs}, QDir::Files))
        if (!dayKeys.contains(name.chopped(4))) dayKeys << name.chopped(4);
    for (const QString &key : dayKeys) {
        const QString path = dir + u"/DB/"_qs + key + u".KAV"_qs;
        QStringList listed;
        QList<diary::EntryItem> items;
        if (QFileInfo::exists(path)) {
            const diary::Listing l = diary::ListEntries(path);
            if (!l.result.ok())
                return key + u".KAV does not list: "_qs +
                       QString::fromLatin1(testsupport::readFile(path).right(80).toHex());
            items = l.items;
            for (const diary::EntryItem &e : items)
                listed << e.title;
        }
        const QStringList before = m.days.value(key);
        QStringList after = before;
        if ((kind == u"entry" || kind == u"remove") && pending[1] == key) {
            QStringList p = pending;
            Model probe;
            probe.days.insert(key, before);
            probe.land(p);
            after = probe.days.value(key);
        }
        if (listed != before && listed != after)
            return key + u".KAV lists "_qs + listed.join(u'|') + u" instead of "_qs +
                   before.join(u'|');
        if (listed == after && after != before) {
            landed = true;
            m.land(pending);
        }
        QByteArray rebuilt;
        for (const diary::EntryItem &e : items) {
            const QString password = passwordFor(e.title);
            const diary::Content c = diary::readEntry(path, e.key, e.occurrence, password);
            if (!c.found || !c.PassOK) return e.title + u" does not open"_qs;
            if (digest(c.body) != m.bodies.value(e.title))
                return e.title + u" is not the text saved"_qs;
            rebuilt += diary::entryBytes(e.key, e.title, diary::PasswordCode(password), c.body);
            ++stats.entriesVerified;
        }
        if (QFileInfo::exists(path) && testsupport::readFile(path) != rebuilt)
            return key + u".KAV holds bytes beside its entries"_qs;
    }

    // A whole text file of the old or the new version (or none before the first save).
    auto checkText = [&](const QString &what, const QString &path,
                         std::optional<QByteArray> &expected, bool underWay,
                         const QByteArray &next) -> QString {
        std::optional<QByteArray> found;
        if (QFileInfo::exists(path)) {
            const std::optional<QString> text = textOfFile(testsupport::readFile(path));
            if (!text) return what + u" is not whole"_qs;
            found = digest(*text);
        }
        ++stats.filesVerified;
        if (found == expected) return QString();
        if (underWay && found == next) {
            expected = next;
            landed = true;
            return QString();
        }
        return what + u" is neither the old nor the new version"_qs;
    };
    QString error = checkText(u"the home page"_qs, dir + u"/index.KAV"_qs, m.home, kind == u"home",
                              pending.value(1).toLatin1());
    if (error.isEmpty())
        error = checkText(u"Message.txt"_qs, dir + u"/Message.txt"_qs, m.message,
                          kind == u"message", pending.value(1).toLatin1());
    if (!error.isEmpty()) return error;

    // The collection lists its items and nothing else.
    const QStringList names = mylove::itemNames(dir + u"/Love"_qs);
    for (const QString &name : names)
        if (!itemNames().contains(name)) return u"the collection lists a stray item "_qs + name;
    for (const QString &name : itemNames()) {
        const bool underWay = kind == u"love" && fromHex(pending[1].toLatin1()) == name;
        std::optional<QByteArray> expected;
        if (m.items.contains(name)) expected = m.items.value(name);
        error = checkText(name, dir + u"/Love/"_qs + name, expected, underWay,
                          pending.value(2).toLatin1());
        if (!error.isEmpty()) return error;
        if (expected) m.items.insert(name, *expected);
        if (names.contains(name) != expected.has_value()) return name + u" is listed wrongly"_qs;
    }

    // Accounts: every completed one whole; the one under way whole or absent; nothing else.
    App app(dir);
    QSet<qint32> seen;
    for (const QString &name : QDir(dir + u"/UserInfo"_qs).entryList({u"*.usr"_qs}, QDir::Files)) {
        const qint32 id = name.chopped(4).toInt();
        UserInfo u(app.folder());
        if (!u.fromBytes(testsupport::readFile(dir + u"/UserInfo/"_qs + name)) || u.getID() != id)
            return u"account "_qs + name + u" is not whole"_qs;
        seen.insert(id);
        ++stats.filesVerified;
        if (m.accounts.contains(id)) {
            if (!accountMatches(u, m.accounts.value(id)))
                return u"account "_qs + name + u" changed"_qs;
        } else if (kind == u"account" && accountMatches(u, fromHex(pending[1].toLatin1()))) {
            m.accounts.insert(id, fromHex(pending[1].toLatin1()));
            landed = true;
        } else {
            return u"a stray account "_qs + name;
        }
    }
    for (qint32 id : m.accounts.keys())
        if (!seen.contains(id)) return u"account "_qs + QString::number(id) + u" is gone"_qs;

    if (!kind.isEmpty()) {
        ++stats.interrupted[kind];
        if (landed) ++stats.interruptedLanded[kind];
    }
    return QString();
}

// As verify; a backup under way has landed whole or left nothing under its name, a restore under
// way left the whole old diary or the whole restored one. Every backup listed reads back whole.
QString verifyWithBackups(const QString &dir, Model &m, const QStringList &pending, Stats &stats) {
    for (const keep::BackupFile &b : keep::listBackups(dir))
        if (keep::verifyArchive(b.path).code != store::Code::Ok)
            return b.path + u" does not read back whole"_qs;
    const QString kind = pending.value(0);
    if (kind != u"backup" && kind != u"restore") return verify(dir, m, pending, stats);
    bool landed = false;
    Model found = m;
    Stats counted = stats;
    QString error = verify(dir, found, {}, counted);
    if (kind == u"backup") {
        if (!error.isEmpty()) return error;
        landed = QFileInfo::exists(dir + u"/Backup/"_qs + pending[1]);
        if (landed) found.backups->insert(pending[1], found.snapshot());
    } else if (!error.isEmpty()) {
        found = m;
        if (!found.restoreTo(pending[1])) return u"a restore of a backup never made"_qs;
        counted = stats;
        const QString other = verify(dir, found, {}, counted);
        if (!other.isEmpty())
            return u"neither the old diary ("_qs + error + u") nor the restored one ("_qs + other +
                   u")"_qs;
        landed = true;
    }
    m = found;
    stats = counted;
    ++stats.interrupted[kind];
    if (landed) ++stats.interruptedLanded[kind];
    return QString();
}

// Every file under a folder, by relative path.
QMap<QString, QByteArray> snapshot(const QString &dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(dir).relativeFilePath(path), testsupport::readFile(path));
    }
    return files;
}

// A program folder with something of every kind saved in it.
struct Fixture {
    QTemporaryDir root;
    QString dir = root.path() + u"/prog"_qs;
    QString body1, body2, homeRich, itemRich;
    QMap<QString, QByteArray> files;

    static QString rich(const QString &text) {
        RichTextBox box;
        box.setText(text);
        return box.textRTF();
    }

    Fixture() {
        body1 = rich(u"第一篇的正文\r\n{第二行}\\"_qs);
        body2 = rich(u"locked 第二篇\r\nline two"_qs);
        homeRich = rich(u"旧的首页"_qs);
        itemRich = rich(u"旧的珍藏"_qs);
        testsupport::writeFile(dir + u"/Config.ini"_qs, kConfig);
        testsupport::writeFile(
            dir + u"/DB/20040908.KAV"_qs,
            diary::entryBytes(111, u"第一篇"_qs, QString(), body1) +
                diary::entryBytes(222, u"第二篇"_qs, diary::PasswordCode(u"abc"_qs), body2));
        testsupport::writeFile(
            dir + u"/DB/20040907.KAV"_qs,
            diary::entryBytes(333, u"第三篇"_qs, diary::PasswordCode(u"abc"_qs), body1) +
                diary::entryBytes(444, u"第四篇"_qs, diary::PasswordCode(u"中"_qs), body2));
        testsupport::writeFile(dir + u"/index.KAV"_qs, cp936::encode(homeRich) + "\r\n");
        testsupport::writeFile(dir + u"/Love/珍藏甲"_qs, cp936::encode(itemRich) + "\r\n");
        testsupport::writeFile(dir + u"/Love/歌 词"_qs, cp936::encode(rich(u"另一项"_qs)) + "\r\n");
        testsupport::writeFile(dir + u"/Message.txt"_qs,
                               cp936::encode(u"旧的消息\r\n第二行\r\n"_qs));
        App app(dir);
        UserInfo u(app.folder());
        u.setID(); // with the default generator: any id; the file name follows it
        u.setName(u"老用户"_qs);
        u.setPassword(u"old"_qs);
        QDir().mkpath(dir + u"/UserInfo"_qs);
        testsupport::writeFile(u.filePath(u.getID()), u.toBytes());
        files = snapshot(dir);
    }

    // Every file saved before is still there, byte for byte, and nothing else is, but for the
    // temporary files of a removal and of a collection item, which have fixed names, and a
    // temporary file that QSaveFile had given a name beside its target when the process died
    // just before renaming it (never in the collection, where every file is an item). Date files
    // that the conversion may have rewritten are left to enciphered().
    QString unchanged(bool convertedDateFiles = false) const {
        const QMap<QString, QByteArray> now = snapshot(dir);
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            if (convertedDateFiles && it.key().endsWith(u".KAV") && it.key().startsWith(u"DB/")) continue;
            if (now.value(it.key()) != it.value()) return it.key() + u" changed or went"_qs;
        }
        static const QRegularExpression leftover(u"^(.*)\\.[A-Za-z0-9]{6}$"_qs);
        for (const QString &name : now.keys()) {
            if (files.contains(name) || name == u"DB/"_qs + localname::dateTempName() || name == u"Love/.saving/item.tmp")
                continue;
            const QRegularExpressionMatch m = leftover.match(name);
            if (m.hasMatch() && files.contains(m.captured(1)) && !name.startsWith(u"Love/"))
                continue;
            return u"new file "_qs + name;
        }
        return QString();
    }
};

// A date file after a conversion with the password abc: the old bytes, or the same entries in the
// same order where those locked with the code of abc are enciphered and open to their old bodies
// with abc, and every other entry is byte for byte as it was. Sets *converted.
QString enciphered(const QString &path, const QByteArray &old, bool *converted) {
    const QByteArray now = testsupport::readFile(path);
    *converted = now != old;
    if (!*converted) return QString();
    const QList<QByteArrayView> oldLines = splitLines(QByteArrayView(old));
    const QList<QByteArrayView> newLines = splitLines(QByteArrayView(now));
    const QList<diary::EntryLines> before = diary::entryLines(oldLines);
    const QList<diary::EntryLines> after = diary::entryLines(newLines);
    if (before.size() != after.size()) return path + u" lost or gained entries"_qs;
    const QByteArray abc = "\x07" + cp936::encode(diary::PasswordCode(u"abc"_qs));
    auto block = [](const QList<QByteArrayView> &lines, const diary::EntryLines &e) {
        QByteArray b;
        for (qsizetype i = e.keyLine; i <= e.end && i < lines.size(); ++i)
            b.append(lines[i]).append("\r\n");
        return b;
    };
    for (qsizetype i = 0; i < before.size(); ++i) {
        const diary::EntryLines &o = before[i], &n = after[i];
        if (oldLines[o.keyLine + 2] != abc) {
            if (block(oldLines, o) != block(newLines, n)) return path + u": an entry changed"_qs;
            continue;
        }
        if (newLines[n.keyLine + 2] != cipher::encipheredPasswordLine() || n.key != o.key ||
            newLines[n.keyLine + 1] != oldLines[o.keyLine + 1] || !n.terminated)
            return path + u": an entry of abc is not enciphered whole"_qs;
        QByteArray oldBody;
        for (qsizetype j = o.keyLine + 3; j < o.end; ++j)
            oldBody.append(j > o.keyLine + 3 ? "\r\n" : "").append(oldLines[j]);
        const diary::Content opened = diary::readEntry(path, n.key, 0, u"abc"_qs);
        if (!opened.PassOK || opened.body != cp936::decode(oldBody))
            return path + u": an entry does not open to its old body"_qs;
    }
    return QString();
}

// The files of the program folder outside Backup.
QMap<QString, QByteArray> diaryFiles(const QString &dir) {
    QMap<QString, QByteArray> files = snapshot(dir);
    files.removeIf([](const auto &it) { return it.key().startsWith(u"Backup/"_qs); });
    return files;
}

QStringList entriesOf(const QString &folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// strace around a child: inject ("signal=KILL", "error=EIO") is done to its n-th rename; without
// it the renames are only logged.
QStringList straceAtRename(const QString &inject, int n, const QString &log = u"/dev/null"_qs) {
    const QString strace = QStandardPaths::findExecutable(u"strace"_qs);
    const QString calls = u"rename,renameat,renameat2"_qs;
    QStringList wrapper = {strace, u"-f"_qs, u"-qq"_qs,           u"-o"_qs,
                           log,    u"-e"_qs, u"trace="_qs + calls};
    if (!inject.isEmpty())
        wrapper << u"-e"_qs << u"inject=%1:%2:when=%3"_qs.arg(calls, inject).arg(n);
    return wrapper;
}

// Where each kind of save writes: the folder and the file name in it.
struct Target {
    QString folder;
    QString name;
};
Target targetOf(const QString &kind, App &app) {
    if (kind == u"entry") return {u"DB"_qs, u"20040908.KAV"_qs};
    if (kind == u"entry on a new day") return {u"DB"_qs, u"20040909.KAV"_qs};
    if (kind == u"remove") return {u"DB"_qs, localname::dateTempName()};
    if (kind == u"home") return {QString(), u"index.KAV"_qs};
    if (kind == u"love") return {u"Love"_qs, u"珍藏甲"_qs};
    if (kind == u"message") return {QString(), u"Message.txt"_qs};
    UserInfo u(app.folder());
    u.setID();
    return {u"UserInfo"_qs, UserInfo::fileName(u.getID())};
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

private slots:
    void killsAtRandomMoments();
    void killedInTheMiddleOfAWrite_data();
    void killedInTheMiddleOfAWrite();
    void failingWrites_data();
    void failingWrites();
    void rewritesReplaceTheFile_data();
    void rewritesReplaceTheFile();
    void commitFailureLeavesTheOldFile();
    void restoreAndBackupAtEachRename_data();
    void restoreAndBackupAtEachRename();
};

// A few hundred children, each killed at a random moment: some after a random time, some a
// random moment after a save of a chosen kind has begun.
void TestCrashSafety::killsAtRandomMoments() {
    QTemporaryDir root;
    const QString dir = root.path() + u"/prog"_qs;
    QVERIFY(testsupport::writeFile(dir + u"/Config.ini"_qs, kConfig));
    QVERIFY(QDir().mkpath(dir + u"/UserInfo"_qs));
    const int kills = qEnvironmentVariableIsSet("QC_CRASH_KILLS")
                          ? qEnvironmentVariableIntValue("QC_CRASH_KILLS")
                          : 250;
    const quint32 seed = qEnvironmentVariableIsSet("QC_CRASH_SEED")
                             ? quint32(qEnvironmentVariableIntValue("QC_CRASH_SEED"))
                             : 20040908u;
    qInfo("seed %u (QC_CRASH_SEED repeats a run)", seed);
    QRandomGenerator plan(seed);
    static const QStringList kinds = {u"entry"_qs,   u"remove"_qs,  u"home"_qs,   u"love"_qs,
                                      u"message"_qs, u"account"_qs, u"backup"_qs, u"restore"_qs};
    Model model;
    Stats stats;
    for (int run = 0; run < kills; ++run) {
        std::unique_ptr<QProcess> child(
            startChild(dir, {u"QC_CRASH_CHILD=loop"_qs, u"QC_CRASH_RUN=%1"_qs.arg(run),
                             u"QC_CRASH_SEED=%1"_qs.arg(plan.generate())}));
        QVERIFY2(child->waitForStarted(10000), "the child did not start");
        QList<QByteArray> lines;
        auto readLines = [&] {
            while (child->canReadLine())
                lines << child->readLine().trimmed();
        };
        // Ready first: the load sequence writes nothing.
        QElapsedTimer t;
        t.start();
        while (lines.isEmpty() && child->state() == QProcess::Running && t.elapsed() < 20000) {
            child->waitForReadyRead(100);
            readLines();
        }
        QVERIFY2(!lines.isEmpty() && lines.first() == "R",
                 qPrintable(QString::fromLocal8Bit(child->readAllStandardError())));
        t.restart();
        if (plan.bounded(2) == 0) {
            const int after = plan.bounded(200);
            while (t.elapsed() < after && child->state() == QProcess::Running) {
                child->waitForReadyRead(qMax<qint64>(1, after - t.elapsed()));
                readLines();
            }
        } else {
            const QByteArray begin = "B " + kinds.at(plan.bounded(int(kinds.size()))).toLatin1();
            // Mostly within the first 1.5 ms: on an idle machine a small save is over by then.
            const int delayUs = plan.bounded(4) == 0 ? plan.bounded(20000) : plan.bounded(1500);
            bool seen = false;
            while (!seen && t.elapsed() < 1500 && child->state() == QProcess::Running) {
                child->waitForReadyRead(1);
                readLines();
                for (const QByteArray &l : lines)
                    seen = seen || l.startsWith(begin);
            }
            QThread::usleep(delayUs);
        }
        QVERIFY2(child->state() == QProcess::Running,
                 qPrintable(u"the child ended by itself: "_qs +
                            QString::fromLocal8Bit(child->readAllStandardError())));
        ::kill(pid_t(child->processId()), SIGKILL);
        QVERIFY(child->waitForFinished(10000));
        readLines();
        ++stats.kills;
        // The next start finishes or rolls back a restore that was under way.
        { App start(dir); }
        QStringList pending;
        QString error = model.apply(lines, stats, &pending);
        if (error.isEmpty()) error = verifyWithBackups(dir, model, pending, stats);
        QVERIFY2(error.isEmpty(), qPrintable(u"after kill %1: "_qs.arg(run + 1) + error));
        // The old files each restore put aside are not needed here: the folder stays small.
        for (const QString &aside :
             QDir(dir + u"/Backup"_qs).entryList({u"before-restore-*"_qs}, QDir::Dirs))
            QDir(dir + u"/Backup/"_qs + aside).removeRecursively();
    }
    qInfo("kills survived: %d; entries verified: %d; other files verified: %d", stats.kills,
          stats.entriesVerified, stats.filesVerified);
    for (const QString &kind : kinds)
        qInfo("%-8s saves begun %5d, completed %5d, interrupted by a kill %4d (of which landed "
              "whole %d)",
              qPrintable(kind), stats.started.value(kind), stats.completed.value(kind),
              stats.interrupted.value(kind), stats.interruptedLanded.value(kind));
    // The kills proved something only if they hit every kind of save, and caught saves both
    // before and after they had landed. (The default 250 kills interrupt each kind some ten to
    // forty times; far fewer, through QC_CRASH_KILLS, cannot meet this.)
    int landed = 0, notLanded = 0;
    for (const QString &kind : kinds) {
        QVERIFY2(stats.interrupted.value(kind) >= 5,
                 qPrintable(kind + u" saves were interrupted too rarely"_qs));
        landed += stats.interruptedLanded.value(kind);
        notLanded += stats.interrupted.value(kind) - stats.interruptedLanded.value(kind);
    }
    QVERIFY2(landed >= 5, "no kill came after a save had landed");
    QVERIFY2(notLanded >= 5, "no kill came before a save had landed");
}

void TestCrashSafety::killedInTheMiddleOfAWrite_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("cut"); // bytes of the new content that reach the disk before the crash
    // An entry: cut inside its key line, right after it, inside the title, in the body.
    for (int cut : {0, 1, 4, 9, 12, 40, 2000})
        QTest::addRow("entry, %d bytes in", cut) << u"entry"_qs << cut;
    for (const QString &kind : {u"remove"_qs, u"home"_qs, u"love"_qs, u"message"_qs, u"account"_qs})
        for (int cut : {0, 7, 60})
            QTest::addRow("%s, %d bytes in", qPrintable(kind), cut) << kind << cut;
    // Everything written and flushed, killed as it renames the new file over the old one. (A new
    // account never replaces a file, so it has no rename.)
    for (const QString &kind : {u"entry"_qs, u"remove"_qs, u"home"_qs, u"love"_qs, u"message"_qs})
        QTest::addRow("%s, killed at the rename", qPrintable(kind)) << kind << -1;
    // 加密旧日记 rewrites two date files: killed while writing the first, as it renames the first,
    // and as it renames the second, the first being done.
    for (int cut : {0, 7, 60, 500})
        QTest::addRow("convert, %d bytes in", cut) << u"convert"_qs << cut;
    QTest::addRow("convert, killed at the first rename") << u"convert"_qs << -1;
    QTest::addRow("convert, killed at the second rename") << u"convert"_qs << -2;
}

// The kernel stops the save's write part way and kills the program: the old files stay whole, and
// the next save of the same kind works and leaves a whole file.
void TestCrashSafety::killedInTheMiddleOfAWrite() {
    QFETCH(QString, kind);
    QFETCH(int, cut);
    Fixture f;
    const QString before = kind == u"entry"     ? u"DB/20040908.KAV"_qs
                           : kind == u"remove"  ? QString()
                           : kind == u"home"    ? u"index.KAV"_qs
                           : kind == u"love"    ? u"Love/珍藏甲"_qs
                           : kind == u"message" ? u"Message.txt"_qs
                                                : QString();
    // Entries are appended after what the file holds; the others are written from the start.
    qint64 limit = (kind == u"entry" ? f.files.value(before).size() : 0) + cut;
    QStringList wrapper;
    if (cut < 0) {
        // strace stops the process with SIGKILL at its first rename (its second for -2).
        const QString strace = QStandardPaths::findExecutable(u"strace"_qs);
        QVERIFY2(!strace.isEmpty(),
                 "strace is not installed (scripts/deps.sh installs it): it is what kills the "
                 "program at its rename");
        const QString calls = u"rename,renameat,renameat2"_qs;
        wrapper = QStringList{strace,
                              u"-f"_qs,
                              u"-qq"_qs,
                              u"-o"_qs,
                              u"/dev/null"_qs,
                              u"-e"_qs,
                              u"trace="_qs + calls,
                              u"-e"_qs,
                              u"inject="_qs + calls + u":signal=KILL:when="_qs + QString::number(-cut)};
        limit = -1;
    }
    std::unique_ptr<QProcess> child(startChild(
        f.dir,
        {u"QC_CRASH_CHILD=one"_qs, u"QC_CRASH_OP="_qs + kind, u"QC_CRASH_LIMIT=%1"_qs.arg(limit)},
        wrapper));
    QVERIFY(child->waitForFinished(30000));
    QCOMPARE(child->exitStatus(), QProcess::CrashExit);
    QCOMPARE(child->readAllStandardOutput(), QByteArray());
    QCOMPARE(f.unchanged(kind == u"convert"), QString());
    const diary::Listing l = diary::ListEntries(f.dir + u"/DB/20040908.KAV"_qs);
    QVERIFY(l.result.ok());
    // Each date file the conversion touched is whole, old or new: the files before the kill new,
    // the rest old.
    const QStringList dateFiles = {u"DB/20040907.KAV"_qs, u"DB/20040908.KAV"_qs};
    int convertedBefore = 0;
    if (kind == u"convert") {
        for (const QString &name : dateFiles) {
            bool converted = false;
            QCOMPARE(enciphered(f.dir + u'/' + name, f.files.value(name), &converted), QString());
            QCOMPARE(converted, cut == -2 && name == dateFiles.first());
            convertedBefore += converted;
        }
    }

    // The same save again, in this process, without a limit.
    auto app = makeApp(f.dir, [] { return 0.75; });
    Diary d(*app);
    if (kind == u"convert") {
        QVERIFY(d.back());
        d.box("rt_pw")->setText(u"abc"_qs);
        QVERIFY(d.menu("m_encipherOld"));
        // The report goes on with the entry of another password, left as it was.
        QTRY_VERIFY_WITH_TIMEOUT(
            d.text("mmw").startsWith(u"\r\n  已加密 %1 篇旧日记。\r\n"_qs.arg(2 - convertedBefore)), 60000);
        for (const QString &name : dateFiles) {
            bool converted = false;
            QCOMPARE(enciphered(f.dir + u'/' + name, f.files.value(name), &converted), QString());
            QVERIFY(converted);
        }
        QVERIFY(!QFile::exists(f.dir + u"/DB/"_qs + localname::dateTempName()));
    } else if (kind == u"entry") {
        QVERIFY(d.startEntry(today(), u"再写一篇"_qs, u"第二次\r\n好"_qs));
        const QString rich = d.box("mmw")->textRTF();
        QVERIFY(d.save());
        QCOMPARE(d.list()->count(), 3);
        QCOMPARE(testsupport::readFile(f.dir + u"/DB/20040908.KAV"_qs),
                 f.files.value(before) +
                     diary::entryBytes(749999, u"再写一篇"_qs,
                                       diary::PasswordCode(passwordFor(u"再写一篇"_qs)), rich));
    } else if (kind == u"remove") {
        QVERIFY(d.showDate(today()));
        QVERIFY(d.selectEntry(u"第一篇"_qs));
        QCOMPARE(d.pressDelete(), u"\r\n  "_qs + kSaved);
        QCOMPARE(testsupport::readFile(f.dir + u"/DB/20040908.KAV"_qs),
                 diary::entryBytes(222, u"第二篇"_qs, diary::PasswordCode(u"abc"_qs), f.body2));
    } else if (kind == u"home" || kind == u"love") {
        if (kind == u"home")
            QVERIFY(d.startHomePage(u"再一次"_qs));
        else
            QVERIFY(d.startItem(u"珍藏甲"_qs, u"再一次"_qs));
        const QString rich = d.box("mmw")->textRTF();
        QVERIFY(d.save());
        QCOMPARE(testsupport::readFile(f.dir + u'/' + before), cp936::encode(rich) + "\r\n");
    } else if (kind == u"message") {
        QVERIFY(app->net().publishMessage(u"再一次"_qs));
        QCOMPARE(testsupport::readFile(f.dir + u"/Message.txt"_qs),
                 cp936::encode(u"再一次\r\n"_qs));
        QCOMPARE(app->net().MessageSended, u"\r\n  再一次"_qs);
    } else {
        QVERIFY(net::RegNewUser(app->folder(), registrationRecord(u"again"_qs), u"127.0.0.1"_qs));
        UserInfo u(app->folder());
        QVERIFY(u.getInfo(u"74999999"_qs));
        QVERIFY(accountMatches(u, u"again"_qs));
    }
    if (kind == u"love") QCOMPARE(mylove::itemNames(f.dir + u"/Love"_qs).size(), 2);
}

void TestCrashSafety::failingWrites_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("fault");
    for (const QString &kind : {u"entry"_qs, u"entry on a new day"_qs, u"remove"_qs, u"home"_qs,
                                u"love"_qs, u"message"_qs, u"account"_qs})
        for (const QString &fault : {u"full disk"_qs, u"folder is a file"_qs,
                                     u"read-only folder"_qs, u"target is a folder"_qs})
            QTest::addRow("%s, %s", qPrintable(kind), qPrintable(fault)) << kind << fault;
}

// A save that cannot be written tells the user, keeps what was typed and loses nothing.
void TestCrashSafety::failingWrites() {
    QFETCH(QString, kind);
    QFETCH(QString, fault);
    if (fault == u"read-only folder" && ::geteuid() == 0) {
        const QString failure =
            testsupport::runUnprivileged(u"failingWrites:"_qs + QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        return;
    }
    Fixture f;
    // The account gets the same id at every draw, so that a folder at its file name stops it.
    auto app = makeApp(f.dir, [] { return 0.5; });
    Diary d(*app);
    // The message the service sends, as a server loads it at start.
    QVERIFY(app->net().reloadMessage());
    const Target target = targetOf(kind, *app);
    const QString folder = target.folder.isEmpty() ? f.dir : f.dir + u'/' + target.folder;
    const QString targetPath = folder + u'/' + target.name;

    // What the user has typed, up to the save.
    const QString typed = u"刚写的字\r\n不要丢"_qs;
    if (kind == u"entry") QVERIFY(d.startEntry(today(), u"标题"_qs, typed));
    if (kind == u"entry on a new day") QVERIFY(d.startEntry(QDate(2004, 9, 9), u"标题"_qs, typed));
    if (kind == u"home") QVERIFY(d.startHomePage(typed));
    if (kind == u"love") QVERIFY(d.startItem(u"珍藏甲"_qs, typed));
    if (kind == u"remove") {
        QVERIFY(d.showDate(today()));
        QVERIFY(d.selectEntry(u"第一篇"_qs));
    }

    // The fault, taken back afterwards.
    std::function<void()> undo;
    if (fault == u"full disk") {
        // Writes past a few bytes fail with EFBIG, as on a full disk; the signal that would end the
        // process is ignored, as a program that checks its writes sees it.
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        limitFileSize(8);
        undo = [old, oldHandler] {
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        };
    } else if (fault == u"folder is a file") {
        QVERIFY(QDir().rename(folder, folder + u".away"_qs));
        QVERIFY(testsupport::writeFile(folder, "not a folder"));
        undo = [folder] {
            QFile::remove(folder);
            QDir().rename(folder + u".away"_qs, folder);
        };
    } else if (fault == u"read-only folder") {
        const QFile::Permissions old = QFile::permissions(folder);
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        undo = [folder, old] { QFile::setPermissions(folder, old); };
    } else {
        // A rename onto a folder that holds a file fails.
        if (QFileInfo::exists(targetPath))
            QVERIFY(QFile::rename(targetPath, f.root.path() + u"/moved"_qs));
        QVERIFY(testsupport::writeFile(targetPath + u"/inside"_qs, "x"));
        undo = [targetPath, &f] {
            QDir(targetPath).removeRecursively();
            QFile::rename(f.root.path() + u"/moved"_qs, targetPath);
        };
    }

    bool saved = true;
    QString shown;
    if (kind == u"remove") {
        shown = d.pressDelete();
    } else if (kind == u"message") {
        saved = app->net().publishMessage(typed).ok();
    } else if (kind == u"account") {
        saved = net::RegNewUser(app->folder(), registrationRecord(u"新用户"_qs), u"127.0.0.1"_qs).has_value();
    } else {
        saved = d.save();
    }
    undo();

    if (kind == u"remove") {
        QCOMPARE(shown, u"\r\n  文件操作失败，可能文件已经损坏！"_qs);
    } else if (kind == u"message" || kind == u"account") {
        QVERIFY(!saved);
    } else {
        QVERIFY(!saved);
        QVERIFY(d.editing());
        QCOMPARE(d.text("says"), u" 文件没有保存."_qs);
        QCOMPARE(d.text("mmw"), typed);
        if (kind != u"home")
            QCOMPARE(d.text("Titles"), kind == u"love" ? u"珍藏甲"_qs : u"标题"_qs);
    }
    if (kind == u"message")
        QCOMPARE(app->net().MessageSended, u"\r\n  旧的消息\r\n  第二行"_qs);
    QCOMPARE(f.unchanged(), QString());
    QCOMPARE(mylove::itemNames(f.dir + u"/Love"_qs).size(), 2);

    // Once the fault is gone, the same save goes through.
    if (kind == u"remove") {
        QVERIFY(d.showDate(today()));
        QVERIFY(d.selectEntry(u"第一篇"_qs));
        QCOMPARE(d.pressDelete(), u"\r\n  "_qs + kSaved);
    } else if (kind == u"message") {
        QVERIFY(app->net().publishMessage(typed));
    } else if (kind == u"account") {
        QVERIFY(net::RegNewUser(app->folder(), registrationRecord(u"新用户"_qs), u"127.0.0.1"_qs));
    } else {
        const QString rich = d.box("mmw")->textRTF();
        QVERIFY(d.save());
        const QString file = kind == u"entry on a new day" ? u"/DB/20040909.KAV"_qs
                             : kind == u"entry"            ? u"/DB/20040908.KAV"_qs
                             : kind == u"home"             ? u"/index.KAV"_qs
                                                           : u"/Love/珍藏甲"_qs;
        if (kind.startsWith(u"entry")) {
            const diary::Listing l = diary::ListEntries(f.dir + file);
            QVERIFY(l.result.ok());
            QCOMPARE(l.items.last().title, u"标题"_qs);
        } else {
            QCOMPARE(textOfFile(testsupport::readFile(f.dir + file)), std::optional<QString>(rich));
        }
    }
}

void TestCrashSafety::rewritesReplaceTheFile_data() {
    QTest::addColumn<QString>("kind");
    for (const QString &kind :
         {u"entry"_qs, u"remove"_qs, u"home"_qs, u"love"_qs, u"message"_qs, u"account"_qs})
        QTest::newRow(qPrintable(kind)) << kind;
}

// Every rewrite goes to a new file that then takes the old one's name: a second name (hard link)
// kept for the old file still finds the old bytes, whole, however far the save got.
void TestCrashSafety::rewritesReplaceTheFile() {
    QFETCH(QString, kind);
    Fixture f;
    auto app = makeApp(f.dir, [] { return 0.5; });
    Diary d(*app);
    UserInfo old(app->folder());
    const QString file = kind == u"entry" || kind == u"remove" ? u"DB/20040908.KAV"_qs
                         : kind == u"home"                     ? u"index.KAV"_qs
                         : kind == u"love"                     ? u"Love/珍藏甲"_qs
                         : kind == u"message"                  ? u"Message.txt"_qs
                                                               : QString();
    QString path = f.dir + u'/' + file;
    if (kind == u"account") {
        // An account saved again under its id, as UserInfo.Save does.
        const QString name = QDir(f.dir + u"/UserInfo"_qs).entryList(QDir::Files).value(0);
        path = f.dir + u"/UserInfo/"_qs + name;
        QVERIFY(old.getInfo(name.chopped(4)));
    }
    const QByteArray oldBytes = testsupport::readFile(path);
    const QString link = f.root.path() + u"/old-name"_qs;
    QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);

    if (kind == u"entry") {
        QVERIFY(d.startEntry(today(), u"又一篇"_qs, u"新的"_qs));
        QVERIFY(d.save());
    } else if (kind == u"remove") {
        QVERIFY(d.showDate(today()));
        QVERIFY(d.selectEntry(u"第二篇"_qs, u"abc"_qs));
        QCOMPARE(d.pressDelete(), u"\r\n  "_qs + kSaved);
    } else if (kind == u"home") {
        QVERIFY(d.startHomePage(u"新的"_qs));
        QVERIFY(d.save());
    } else if (kind == u"love") {
        QVERIFY(d.startItem(u"珍藏甲"_qs, u"新的"_qs));
        QVERIFY(d.save());
    } else if (kind == u"message") {
        QVERIFY(app->net().publishMessage(u"新的"_qs));
    } else {
        old.setName(u"改名"_qs);
        QVERIFY(old.Save());
    }
    QCOMPARE(testsupport::readFile(link), oldBytes);
    QVERIFY(testsupport::readFile(path) != oldBytes);
    QCOMPARE(f.unchanged().section(u' ', 0, 0), file.isEmpty() ? path.mid(f.dir.size() + 1) : file);
}

// A date file or home page whose name is taken by a folder between opening and closing: the
// rename fails, closeAll says so, and nothing is left behind.
void TestCrashSafety::commitFailureLeavesTheOldFile() {
    for (bool append : {true, false}) {
        QTemporaryDir dir;
        const QString path = dir.path() + u"/d.KAV"_qs;
        const QByteArray old = diary::entryBytes(1, u"a"_qs, QString(), u"{\\rtf1 a}"_qs);
        QVERIFY(testsupport::writeFile(path, old));
        FOS fos;
        QVERIFY(append ? fos.opw(path) : fos.opout(path));
        QVERIFY(fos.fw(u"\x7f"_qs + u"2"_qs));
        QVERIFY(QFile::rename(path, dir.path() + u"/away"_qs));
        QVERIFY(testsupport::writeFile(path + u"/inside"_qs, "x"));
        QVERIFY(!fos.closeAll());
        QVERIFY(QDir(path).removeRecursively());
        QVERIFY(QFile::rename(dir.path() + u"/away"_qs, path));
        QCOMPARE(testsupport::readFile(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"d.KAV"_qs});
    }
}

void TestCrashSafety::restoreAndBackupAtEachRename_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("fault");
    for (const QString &kind : {u"restore"_qs, u"backup"_qs}) {
        QTest::addRow("%s killed at each rename", qPrintable(kind)) << kind << u"killed"_qs;
        QTest::addRow("%s failing at the first and the last rename", qPrintable(kind))
            << kind << u"failing"_qs;
    }
}

// A restore through its window, or the day's backup, stopped by SIGKILL at each of its renames in
// turn, or failing at its first and at its last: after the next start the diary outside Backup is
// whole, the old one or (a restore) the restored one, never a mixture, and nothing half done stays
// in Backup; the same step then goes through.
void TestCrashSafety::restoreAndBackupAtEachRename() {
    QFETCH(QString, kind);
    QFETCH(QString, fault);
    QVERIFY2(!QStandardPaths::findExecutable(u"strace"_qs).isEmpty(),
             "strace is not installed (scripts/deps.sh installs it): it stops the program at its "
             "renames");
    const bool restore = kind == u"restore";
    const QString yesterday = u"diary-20040907-090000.zip"_qs;
    // Yesterday's backup of the fixture; for a restore the diary then goes on: an entry removed,
    // a day added, a new home page, an item rewritten.
    auto prepare = [&](Fixture &f) {
        if (!keep::makeBackup(f.dir, QDateTime(today().addDays(-1), QTime(9, 0)), {}).ok())
            return false;
        if (restore) {
            testsupport::writeFile(f.dir + u"/DB/20040908.KAV"_qs,
                                   diary::entryBytes(111, u"第一篇"_qs, QString(), f.body1));
            testsupport::writeFile(f.dir + u"/DB/20040909.KAV"_qs,
                                   diary::entryBytes(555, u"又一天"_qs, QString(), f.body2));
            testsupport::writeFile(f.dir + u"/index.KAV"_qs,
                                   cp936::encode(Fixture::rich(u"新的首页"_qs)) + "\r\n");
            testsupport::writeFile(f.dir + u"/Love/珍藏甲"_qs,
                                   cp936::encode(Fixture::rich(u"改过的珍藏"_qs)) + "\r\n");
        }
        return true;
    };
    auto run = [&](Fixture &f, const QStringList &wrapper) {
        std::unique_ptr<QProcess> child(startChild(
            f.dir, {u"QC_CRASH_CHILD=one"_qs, u"QC_CRASH_OP="_qs + kind, u"QC_CRASH_LIMIT=-1"_qs},
            wrapper));
        child->waitForFinished(60000);
        return child;
    };

    // How many renames the step makes, counted in a run that goes through.
    int renames = 0;
    {
        Fixture f;
        QVERIFY(prepare(f));
        QTemporaryDir logs;
        const QString log = logs.path() + u"/renames"_qs;
        std::unique_ptr<QProcess> child = run(f, straceAtRename(QString(), 0, log));
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        const QByteArray out = child->readAllStandardOutput();
        QVERIFY2(out.startsWith("D "), out.constData());
        QCOMPARE(diaryFiles(f.dir), restore ? f.files : diaryFiles(f.dir));
        static const QRegularExpression call(u"^\\d+\\s+rename(at2?)?\\("_qs,
                                             QRegularExpression::MultilineOption);
        for (auto it = call.globalMatch(QString::fromLatin1(testsupport::readFile(log)));
             it.hasNext(); it.next())
            ++renames;
        // A restore: the journal, then each of six names aside and each of six back.
        QCOMPARE(renames, restore ? 13 : 2);
    }

    QList<int> points = {1, renames};
    if (fault == u"killed") {
        points.clear();
        for (int n = 1; n <= renames; ++n)
            points << n;
    }
    for (int n : points) {
        const QString at = u"at rename %1 of %2: "_qs.arg(n).arg(renames);
        Fixture f;
        QVERIFY(prepare(f));
        const QMap<QString, QByteArray> before = diaryFiles(f.dir);
        std::unique_ptr<QProcess> child =
            run(f, straceAtRename(fault == u"killed" ? u"signal=KILL"_qs : u"error=EIO"_qs, n));
        const QByteArray out = child->readAllStandardOutput().trimmed();
        QString shown;
        if (fault == u"killed") {
            QVERIFY2(child->exitStatus() == QProcess::CrashExit && out.isEmpty(),
                     qPrintable(at + QString::fromLatin1(out)));
        } else {
            QVERIFY2(child->exitStatus() == QProcess::NormalExit && out.size() > 2,
                     qPrintable(at + QString::fromLocal8Bit(child->readAllStandardError())));
            shown = fromHex(out.mid(2));
        }

        // The next start.
        auto app = makeApp(f.dir, [] { return 0.5; });
        const QMap<QString, QByteArray> now = diaryFiles(f.dir);
        const QStringList inBackup = entriesOf(f.dir + u"/Backup"_qs);
        if (restore) {
            const bool restored = now == f.files;
            QVERIFY2(restored || now == before,
                     qPrintable(at + u"the diary is neither the old one nor the restored one"_qs));
            QStringList expected = {u".written-backups"_qs, yesterday};
            if (restored) expected << u"before-restore-20040908-100000"_qs;
            expected.sort();
            QCOMPARE(inBackup, expected);
            if (restored)
                QCOMPARE(diaryFiles(f.dir + u"/Backup/before-restore-20040908-100000"_qs), before);
            if (fault == u"failing") {
                QVERIFY2(!restored, qPrintable(at));
                QVERIFY2(shown.startsWith(u"恢复没有完成，日记没有改动："_qs),
                         qPrintable(at + shown));
            }
            // Once more, through to the end.
            const store::Result again = keep::restoreBackup(
                f.dir, f.dir + u"/Backup/"_qs + yesterday, QDateTime(today(), QTime(11, 0)));
            QVERIFY2(again.ok(), qPrintable(at + again.detail));
            QCOMPARE(diaryFiles(f.dir), f.files);
        } else {
            QCOMPARE(now, before);
            // Yesterday's backup whole; today's absent or whole; no temporary file.
            const QString todays = u"diary-20040908-100000.zip"_qs;
            QVERIFY2(inBackup == (QStringList{u".written-backups"_qs, yesterday}) ||
                         inBackup == (QStringList{u".written-backups"_qs, yesterday, todays}),
                     qPrintable(at + inBackup.join(u' ')));
            for (const QString &name : inBackup.mid(1))
                QCOMPARE(keep::verifyArchive(f.dir + u"/Backup/"_qs + name).code, store::Code::Ok);
            if (fault == u"failing" && n == 1) {
                QCOMPARE(
                    shown,
                    u" 今天的自动备份没有写成（磁盘已满或备份文件夹不能写入）；以前的备份都还在。"_qs);
                QVERIFY(!inBackup.contains(todays));
            }
            const store::Result again = keep::backupIfDue(f.dir, QDateTime(today(), QTime(11, 0)));
            QVERIFY2(again.ok() || again.code == store::Code::NotDue,
                     qPrintable(at + again.detail));
            QCOMPARE(keep::listBackups(f.dir).size(), 2);
        }
    }
}

int main(int argc, char **argv) {
    testsupport::dropPrivilegesIfAsked();
    if (qEnvironmentVariableIsSet("QC_CRASH_CHILD")) {
        QApplication a(argc, argv);
        return runChild();
    }
    QApplication a(argc, argv);
    TestCrashSafety t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_crashsafety.moc"
