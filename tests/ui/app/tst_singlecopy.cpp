#include "ui/app/singlecopy.h"
#include "testsupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestSingleCopy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void oneCopyPerFolder();
    void leftoverLockFileKeepsNobodyOut();
    void secondStartAsksTheFirstToShow();

private:
    std::unique_ptr<QTemporaryDir> m_tmp; // the temporary folder the locks and sockets go to
};

void TestSingleCopy::initTestCase() {
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
    QCOMPARE(QDir::tempPath(), QDir(m_tmp->path()).canonicalPath());
}

void TestSingleCopy::oneCopyPerFolder() {
    QTemporaryDir a, b;
    auto first = std::make_unique<SingleCopy>(a.path());
    QVERIFY(first->acquire());
    // A second start in the same folder is refused, one in another folder is not.
    QVERIFY(!SingleCopy(a.path()).acquire());
    SingleCopy other(b.path());
    QVERIFY(other.acquire());
    // The lock ends with its holder.
    first.reset();
    SingleCopy next(a.path());
    QVERIFY(next.acquire());
    QVERIFY(!SingleCopy(a.path()).acquire());
}

void TestSingleCopy::leftoverLockFileKeepsNobodyOut() {
    // A lock file some earlier copy left behind, with what that copy wrote in it (its own
    // process number among it), is no running copy.
    QTemporaryDir folder;
    for (const QString &name : QDir(m_tmp->path()).entryList({u"qingchuang-*.lock"_qs}, QDir::Files))
        QVERIFY(QFile::remove(m_tmp->path() + u'/' + name));
    {
        SingleCopy gone(folder.path());
        QVERIFY(gone.acquire());
    }
    const QStringList left = QDir(m_tmp->path()).entryList({u"qingchuang-*.lock"_qs}, QDir::Files);
    QCOMPARE(left.size(), 1);
    QVERIFY(testsupport::writeFile(m_tmp->path() + u'/' + left[0],
                                   QByteArray::number(QCoreApplication::applicationPid()) + "\nqingchuang\nhost\n"));
    SingleCopy copy(folder.path());
    QVERIFY(copy.acquire());
}

void TestSingleCopy::secondStartAsksTheFirstToShow() {
    QTemporaryDir folder;
    SingleCopy first(folder.path());
    QVERIFY(first.acquire());
    QSignalSpy shown(&first, &SingleCopy::showRequested);
    SingleCopy second(folder.path());
    QVERIFY(!second.acquire());
    QVERIFY(second.tellRunningCopy());
    QVERIFY(shown.wait(5000));
    QCOMPARE(shown.size(), 1);
}

QTEST_MAIN(TestSingleCopy)
#include "tst_singlecopy.moc"
