#include "store/common/programfolder.h"
#include "store/keep/keepjob.h"
#include "store/settings/settings.h"
#include "ui/diary/index.h"
#include "ui/widgets/richtextbox.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The main window built on its own, without the application object: handed a program folder,
// settings and a job runner, it works and says what the user asked for with its signals.
class TestIndexAlone : public QObject {
    Q_OBJECT

    struct Alone {
        QTemporaryDir dir;
        ProgramFolder folder;
        Settings settings;
        keep::Job job;
        std::unique_ptr<Index> w;

        Alone() : folder(dir.path()) {
            folder.clock = [] { return QDateTime(QDate(2004, 9, 8), QTime(10, 0)); };
            w = std::make_unique<Index>(folder, settings, job);
        }
        template <typename T> T *get(const char *name) const {
            T *c = w->findChild<T *>(QString::fromLatin1(name));
            if (!c) qFatal("no control %s", name);
            return c;
        }
    };

private slots:
    void loadsAlone();
    void asksThroughSignals_data();
    void asksThroughSignals();
};

void TestIndexAlone::loadsAlone() {
    Alone a;
    QSignalSpy loaded(a.w.get(), &Index::loaded);
    a.w->LoadSequence();
    QCOMPARE(loaded.count(), 1);
    QVERIFY(QFileInfo(a.dir.path() + u"/DB"_qs).isDir());
    QVERIFY(QFileInfo(a.dir.path() + u"/Love"_qs).isDir());
    QCOMPARE(a.w->CurDate, QDate(2004, 9, 8));
    QCOMPARE(a.w->view(), Index::View::Diary);
    // The settings handed in are the ones the load sequence fills.
    QCOMPARE(a.settings.FirstPage, u"index.KAV"_qs);
    QCOMPARE(a.get<RichTextBox>("tt_year")->text(), u"2004"_qs);
}

void TestIndexAlone::asksThroughSignals_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<bool>("staysShown");
    QTest::newRow("退出") << u"bt_exit"_qs << QByteArray(SIGNAL(exitRequested())) << true;
    QTest::newRow("隐藏") << u"bt_hidden"_qs << QByteArray(SIGNAL(hideRequested())) << true;
    QTest::newRow("消 息") << u"bt_love"_qs << QByteArray(SIGNAL(messageRequested())) << false;
    QTest::newRow("Ctrl+F") << u"Ctrl+F"_qs << QByteArray(SIGNAL(findRequested())) << true;
    QTest::newRow("close box") << u"close"_qs << QByteArray(SIGNAL(exitRequested())) << false;
}

void TestIndexAlone::asksThroughSignals() {
    QFETCH(QString, how);
    QFETCH(QByteArray, signal);
    QFETCH(bool, staysShown);
    Alone a;
    a.w->LoadSequence();
    a.w->show();
    QVERIFY(QTest::qWaitForWindowActive(a.w.get()));
    QSignalSpy asked(a.w.get(), signal.constData());
    QSignalSpy exiting(a.w.get(), &Index::exitRequested);
    if (how == u"Ctrl+F") {
        QTest::keyClick(a.get<RichTextBox>("mmw"), Qt::Key_F, Qt::ControlModifier);
    } else if (how == u"close") {
        a.w->close();
    } else {
        QPushButton *b = a.get<QPushButton>(how.toLatin1().constData());
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }
    QCOMPARE(asked.count(), 1);
    // Leaving the program is the application's to do: the window only asks.
    if (signal != QByteArray(SIGNAL(exitRequested()))) QCOMPARE(exiting.count(), 0);
    QCOMPARE(a.w->isVisible(), staysShown);
}

QTEST_MAIN(TestIndexAlone)
#include "tst_indexalone.moc"
