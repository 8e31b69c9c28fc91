// The file that keeps the main window's size, place, maximised state and zoom.
#include "store/settings/windowstate.h"

#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using windowstate::State;

Q_DECLARE_METATYPE(State)

namespace {

State state(QRect geometry, bool positioned, bool maximized, int zoom) {
    State s;
    s.geometry = geometry;
    s.positioned = positioned;
    s.maximized = maximized;
    s.zoom = zoom;
    return s;
}

} // namespace

class TestWindowState : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void zoomStep_data();
    void zoomStep();
    void writeAndRead();
};

void TestWindowState::parse_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<State>("expected");
    const State none;
    QTest::newRow("whole") << QByteArray("[Window]\r\nLeft=120\r\nTop=-8\r\nWidth=1200\r\nHeight=800\r\nMaximized=1\r\nZoom=150\r\n")
                           << state({120, -8, 1200, 800}, true, true, 150);
    QTest::newRow("LF, blanks, any case, any order")
        << QByteArray("zoom = 75\nHEIGHT= 600 \nwidth=900\n top=10\nLEFT=20")
        << state({20, 10, 900, 600}, true, false, 75);
    QTest::newRow("size without place") << QByteArray("Width=900\r\nHeight=600\r\nLeft=5\r\n")
                                        << state({0, 0, 900, 600}, false, false, 100);
    QTest::newRow("no height: no geometry") << QByteArray("Left=1\r\nTop=1\r\nWidth=900\r\nZoom=200\r\n")
                                            << state({}, false, false, 200);
    QTest::newRow("zero width") << QByteArray("Width=0\r\nHeight=600\r\n") << none;
    QTest::newRow("not numbers") << QByteArray("Width=9x\r\nHeight=\r\nMaximized=yes\r\nZoom=1e2\r\n") << none;
    QTest::newRow("zoom out of range") << QByteArray("Zoom=401\r\n") << none;
    QTest::newRow("zoom at the bounds, last value counts") << QByteArray("Zoom=400\r\nZoom=50\r\n")
                                                           << state({}, false, false, 50);
    QTest::newRow("maximized other than 0 or 1") << QByteArray("Maximized=2\r\n") << none;
    QTest::newRow("beyond any screen") << QByteArray("Left=2000000\r\nTop=0\r\nWidth=99999999999\r\nHeight=600\r\n")
                                       << none;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("binary") << QByteArray("\0=\xff\r\n=\r\n==Width=3\r\n", 19) << none;
}

void TestWindowState::parse() {
    QFETCH(QByteArray, file);
    QFETCH(State, expected);
    const State s = windowstate::parse(file);
    QCOMPARE(s.geometry, expected.geometry);
    QCOMPARE(s.positioned, expected.positioned);
    QCOMPARE(s.maximized, expected.maximized);
    QCOMPARE(s.zoom, expected.zoom);
    // What was read is written so that it reads back the same.
    QVERIFY(windowstate::parse(windowstate::serialize(s)) == s);
}

void TestWindowState::zoomStep_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("to");
    QTest::newRow("in") << 100 << 1 << 110;
    QTest::newRow("out") << 100 << -1 << 90;
    QTest::newRow("three in") << 100 << 3 << 150;
    QTest::newRow("between levels, in") << 130 << 1 << 150;
    QTest::newRow("between levels, out") << 130 << -1 << 125;
    QTest::newRow("stops at 400") << 300 << 5 << 400;
    QTest::newRow("stops at 50") << 67 << -4 << 50;
    QTest::newRow("none") << 125 << 0 << 125;
    QTest::newRow("beyond the range") << 1000 << -1 << 300;
}

void TestWindowState::zoomStep() {
    QFETCH(int, from);
    QFETCH(int, steps);
    QFETCH(int, to);
    QCOMPARE(windowstate::zoomStep(from, steps), to);
}

void TestWindowState::writeAndRead() {
    QTemporaryDir dir;
    const QString path = dir.filePath(windowstate::fileName());
    QVERIFY(windowstate::read(path) == State());

    const State s = state({-30, 40, 1000, 700}, true, true, 250);
    QVERIFY(windowstate::write(path, s));
    QCOMPARE(testsupport::readFile(path),
             QByteArray("[Window]\r\nLeft=-30\r\nTop=40\r\nWidth=1000\r\nHeight=700\r\nMaximized=1\r\nZoom=250\r\n"));
    QVERIFY(windowstate::read(path) == s);
    // Replaced whole, no temporary file left beside it.
    QVERIFY(windowstate::write(path, State()));
    QCOMPARE(testsupport::readFile(path), QByteArray("[Window]\r\nMaximized=0\r\nZoom=100\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{windowstate::fileName()});

    // A file too large to be ours is not read.
    QVERIFY(testsupport::writeFile(path, "Zoom=200\r\n" + QByteArray(windowstate::kMaxFileSize, ' ')));
    QVERIFY(windowstate::read(path) == State());
    // A folder that is not there: nothing written, and it says so.
    QVERIFY(!windowstate::write(dir.filePath(u"missing/Window.ini"_qs), s));
}

QTEST_GUILESS_MAIN(TestWindowState)
#include "tst_windowstate.moc"
