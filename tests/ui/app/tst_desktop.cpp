// The program on a desktop whose language is not Chinese (LANG=C) and whose palette may be dark:
// Qt's own texts in Chinese, a name for every control a person reaches, Tab in reading order,
// readable text wherever the program fixes a colour.
#include "../net/netcopy.h"

#include "ui/album/fmphoto.h"
#include "ui/app/chinese.h"
#include "ui/diary/calendarwindow.h"
#include "ui/find/findwindow.h"
#include "ui/keep/exportwindow.h"
#include "ui/keep/restorewindow.h"
#include "ui/netwindows/fornull.h"
#include "ui/netwindows/login.h"
#include "ui/netwindows/newuser.h"
#include "ui/stats/statswindow.h"
#include "ui/widgets/ui.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <QTreeView>
#include <QTimer>
#include <QToolButton>

using netcopy::Copy;

namespace {

// Every window of the program, made through App as the program makes them.
QList<std::pair<QString, QWidget *>> windowsOf(App &app) {
    return {
        {u"Index"_qs, app.index()},
        {u"fmPhoto"_qs, app.photo()},
        {u"FindWindow"_qs, app.findWindow()},
        {u"CalendarWindow"_qs, app.calendarWindow()},
        {u"RestoreWindow"_qs, app.restoreWindow()},
        {u"ExportWindow"_qs, app.exportWindow()},
        {u"ConnectMe"_qs, app.connectMe()},
        {u"Login"_qs, app.login()},
        {u"NewUser"_qs, app.newUser()},
        {u"ForNull"_qs, app.forNull()},
        {u"StatsWindow"_qs, app.statsWindow()},
    };
}

QWidget *windowNamed(App &app, const QString &name) {
    for (const auto &[n, w] : windowsOf(app))
        if (n == name) return w;
    qFatal("no window %s", qPrintable(name));
}

// The widgets that belong to window itself (not to a window it owns).
QList<QWidget *> widgetsOf(QWidget *window) {
    QList<QWidget *> out{window};
    for (QWidget *w : window->findChildren<QWidget *>())
        if (w->window() == window) out << w;
    return out;
}

QString describe(QWidget *w) {
    return QString::fromLatin1(w->metaObject()->className()) + u' ' +
           (w->objectName().isEmpty() ? u"(unnamed)"_qs : w->objectName());
}

// An action's text as a person reads it: without its "&" marker, its "(&C)" and its shortcut.
QString shown(QString text) {
    text = text.section(u'\t', 0, 0);
    text.remove(QRegularExpression(u"\\(&.\\)"_qs));
    return text.remove(u'&').trimmed();
}

bool hasLatinLetter(const QString &text) {
    return text.contains(QRegularExpression(u"[A-Za-z]"_qs));
}

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x35, 0x35, 0x35), base(0x23, 0x23, 0x23), text(0xee, 0xee, 0xee);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(0x6a, 0xb0, 0xf3));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

// The controls of window whose palette the program set, where text and background differ by
// less than 4.5.
QStringList unreadable(QWidget *window) {
    QStringList out;
    for (QWidget *w : widgetsOf(window)) {
        // Qt's own parts (the calendar's month bar) keep Qt's own colours.
        if (!w->testAttribute(Qt::WA_SetPalette) || w->objectName().startsWith(u"qt_"_qs)) continue;
        const QPalette p = w->palette();
        auto check = [&](QPalette::ColorRole back, QPalette::ColorRole text) {
            const double ratio =
                ui::contrastRatio(p.color(QPalette::Active, back), p.color(QPalette::Active, text));
            if (ratio < 4.5)
                out << describe(w) + u": "_qs + p.color(back).name() + u" / "_qs +
                           p.color(text).name() + u" = "_qs + QString::number(ratio, 'f', 2);
        };
        if (qobject_cast<QAbstractScrollArea *>(w) || qobject_cast<QLineEdit *>(w))
            check(QPalette::Base, QPalette::Text);
        if (w->autoFillBackground()) check(QPalette::Window, QPalette::WindowText);
    }
    return out;
}

// Where screenshots go when QC_SHOTS names a folder (for a person to look at them).
void screenshot(QWidget *window, const QString &name) {
    const QString dir = QString::fromLocal8Bit(qgetenv("QC_SHOTS"));
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    const bool wasVisible = window->isVisible();
    window->show();
    QTest::qWait(50);
    window->grab().save(dir + u'/' + name + u".png"_qs);
    if (!wasVisible) window->hide();
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void contrastRatio_data();
    void contrastRatio();
    void contextMenus_data();
    void contextMenus();
    void calendarSpeaksChinese();
    void folderDialogSpeaksChinese();
    void everyControlHasAName();
    void tabFollowsTheLayout_data();
    void tabFollowsTheLayout();
    void readablePalettes_data();
    void readablePalettes();
};

void TestDesktop::initTestCase() {
    QCOMPARE(qgetenv("LANG"), QByteArray("C"));
    QVERIFY2(chinese::install(),
             qPrintable(u"Qt's Chinese catalogue is missing (package qt6-translations-l10n): "_qs +
                        chinese::cataloguePath()));
    QCOMPARE(QLocale().language(), QLocale::Chinese);
    QCOMPARE(QLocale().territory(), QLocale::China);
}

void TestDesktop::contrastRatio_data() {
    QTest::addColumn<QColor>("a");
    QTest::addColumn<QColor>("b");
    QTest::addColumn<double>("ratio");
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
    QTest::newRow("same colour") << QColor(0x35, 0x35, 0x35) << QColor(0x35, 0x35, 0x35) << 1.0;
    QTest::newRow("grey on white") << QColor(0x76, 0x76, 0x76) << QColor(Qt::white) << 4.54;
    QTest::newRow("white on grey, either order")
        << QColor(Qt::white) << QColor(0x76, 0x76, 0x76) << 4.54;
    QTest::newRow("album help page")
        << QColor(0x27, 0x27, 0x27) << QColor(0x90, 0x90, 0x90) << 4.68;
}

void TestDesktop::contrastRatio() {
    QFETCH(QColor, a);
    QFETCH(QColor, b);
    QFETCH(double, ratio);
    QVERIFY2(qAbs(ui::contrastRatio(a, b) - ratio) < 0.01,
             qPrintable(QString::number(ui::contrastRatio(a, b))));
    // The text chosen for a background keeps the desktop's colour where it reads, else the better
    // of black and white.
    QCOMPARE(ui::readableText(QColor(Qt::white), QColor(0x11, 0x11, 0x11)),
             QColor(0x11, 0x11, 0x11));
    QCOMPARE(ui::readableText(QColor(0xef, 0xef, 0xef), QColor(0xee, 0xee, 0xee)),
             QColor(Qt::black));
    QCOMPARE(ui::readableText(QColor(0x23, 0x23, 0x23), QColor(0x30, 0x30, 0x30)),
             QColor(Qt::white));
}

void TestDesktop::contextMenus_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::newRow("title box") << u"Index"_qs << u"Titles"_qs;
    QTest::newRow("rich-text box") << u"Index"_qs << u"mmw"_qs;
    QTest::newRow("search words") << u"FindWindow"_qs << u"tt_words"_qs;
}

void TestDesktop::contextMenus() {
    QFETCH(QString, window);
    QFETCH(QString, control);
    Copy copy;
    QWidget *w = windowNamed(*copy.app, window);
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *box = w->findChild<QWidget *>(control);
    QVERIFY(box);
    auto *area = qobject_cast<QAbstractScrollArea *>(box);
    QWidget *target = area ? area->viewport() : box;

    // The menu runs its own loop: it is read and closed from inside it.
    QStringList texts;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) return;
        poll.stop();
        for (QAction *a : menu->actions())
            if (!a->isSeparator()) texts << shown(a->text());
        menu->close();
    });
    poll.start();
    // Through the window system, as a mouse gives it.
    QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, target->mapTo(w, QPoint(8, 6)));
    QTRY_VERIFY_WITH_TIMEOUT(!texts.isEmpty(), 5000);
    QVERIFY2(texts.contains(u"复制"_qs), qPrintable(texts.join(u" | "_qs)));
    QVERIFY2(texts.contains(u"全选"_qs), qPrintable(texts.join(u" | "_qs)));
    for (const QString &t : std::as_const(texts))
        QVERIFY2(!hasLatinLetter(t), qPrintable(t));
}

void TestDesktop::calendarSpeaksChinese() {
    netcopy::Options o;
    o.clock = QDateTime(QDate(2004, 12, 8), QTime(10, 0));
    Copy copy(o);
    CalendarWindow *w = copy.app->calendarWindow();
    w->show();
    auto *cal = w->findChild<QCalendarWidget *>(u"cal_days"_qs);
    QVERIFY(cal);
    QCOMPARE(cal->selectedDate(), QDate(2004, 12, 8));
    auto *month = cal->findChild<QToolButton *>(u"qt_calendar_monthbutton"_qs);
    QVERIFY(month);
    QCOMPARE(month->text(), u"十二月"_qs);
    QCOMPARE(cal->firstDayOfWeek(), Qt::Monday);
    auto *view = cal->findChild<QTableView *>(u"qt_calendar_calendarview"_qs);
    QVERIFY(view);
    QStringList header;
    for (int column = 1; column <= 7; ++column)
        header << view->model()->index(0, column).data().toString();
    QCOMPARE(header,
             (QStringList{u"一"_qs, u"二"_qs, u"三"_qs, u"四"_qs, u"五"_qs, u"六"_qs, u"日"_qs}));
}

void TestDesktop::folderDialogSpeaksChinese() {
    Copy copy;
    ExportWindow *w = copy.app->exportWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    // The dialog runs its own loop: it is read and closed from inside it.
    QStringList texts;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll.stop();
        screenshot(dialog, u"folder-dialog"_qs);
        texts << dialog->windowTitle();
        for (QLabel *l : dialog->findChildren<QLabel *>())
            if (l->isVisible()) texts << shown(l->text());
        for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
            if (b->isVisible() && !b->text().isEmpty()) texts << shown(b->text());
        // The folders are listed by name alone: the detail view's type and date columns would
        // speak the system's language.
        auto *details = dialog->findChild<QTreeView *>(u"treeView"_qs);
        if (details && details->isVisible()) texts << u"detail view shown"_qs;
        dialog->reject();
    });
    poll.start();
    QTest::mouseClick(w->findChild<QPushButton *>(u"bt_browse"_qs), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!texts.isEmpty(), 5000);
    QVERIFY2(texts.contains(u"取消"_qs), qPrintable(texts.join(u" | "_qs)));
    for (const QString &t : std::as_const(texts))
        QVERIFY2(!hasLatinLetter(t), qPrintable(texts.join(u" | "_qs)));
}

void TestDesktop::everyControlHasAName() {
    Copy copy;
    QStringList missing;
    for (const auto &[name, window] : windowsOf(*copy.app)) {
        for (QWidget *w : widgetsOf(window)) {
            // A widget with a focus proxy never has the focus itself: its proxy has it.
            if (w->isWindow() || w->focusPolicy() == Qt::NoFocus || w->focusProxy()) continue;
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
            QString text = iface ? iface->text(QAccessible::Name) : QString();
            // On this desktop a list box's name is its current choice; what names the box itself
            // is the name it is given.
            if (qobject_cast<QComboBox *>(w)) text = w->accessibleName();
            // A Chinese name: not empty, not a sign like "<=" or "◀", no English word.
            if (!text.contains(QRegularExpression(u"\\p{Han}"_qs)) || hasLatinLetter(text))
                missing << name + u": "_qs + describe(w) + u" \""_qs + text + u'"';
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u"\n"_qs)));
}

void TestDesktop::tabFollowsTheLayout_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order");
    // Disabled controls are passed over: the main window browses, nothing is selected.
    QTest::newRow("Index") << u"Index"_qs
                           << QStringList{u"Titles"_qs,     u"rt_pw"_qs,      u"bt_OK"_qs,
                                          u"bt_love"_qs,    u"bt_about"_qs,   u"mmw"_qs,
                                          u"m_seeDiary"_qs, u"m_viewlove"_qs, u"tt_year"_qs,
                                          u"tt_month"_qs,   u"tt_day"_qs,     u"bt_to"_qs,
                                          u"btReWrite"_qs,  u"PicList"_qs,    u"btBefore"_qs,
                                          u"btAfter"_qs,    u"btReturn"_qs,   u"says"_qs,
                                          u"bt_hidden"_qs,  u"bt_exit"_qs};
    QTest::newRow("fmPhoto") << u"fmPhoto"_qs
                             << QStringList{u"btFront"_qs, u"btLoad"_qs, u"btHidden"_qs, u"btBack"_qs};
    QTest::newRow("CalendarWindow") << u"CalendarWindow"_qs
                                    << QStringList{u"qt_calendar_calendarview"_qs, u"lv_thatday"_qs};
    QTest::newRow("RestoreWindow") << u"RestoreWindow"_qs
                                   << QStringList{u"lst_backups"_qs, u"bt_restore"_qs, u"bt_close"_qs};
    QTest::newRow("StatsWindow") << u"StatsWindow"_qs
                                 << QStringList{u"bt_lastyear"_qs, u"bt_nextyear"_qs, u"cb_measure"_qs,
                                                u"cv_months"_qs, u"lv_tags"_qs};
    QTest::newRow("FindWindow") << u"FindWindow"_qs
                                << QStringList{u"tt_words"_qs, u"bt_find"_qs, u"lv_hits"_qs};
    QTest::newRow("ExportWindow") << u"ExportWindow"_qs
                                  << QStringList{u"cb_format"_qs, u"tt_out"_qs,    u"bt_browse"_qs,
                                                 u"ck_range"_qs,  u"bt_export"_qs, u"bt_close"_qs};
    QTest::newRow("Login") << u"Login"_qs
                           << QStringList{u"UserName"_qs, u"PassWord"_qs, u"btLogin"_qs,
                                          u"btRegNewUser"_qs, u"btCancel"_qs};
    QTest::newRow("NewUser") << u"NewUser"_qs
                             << QStringList{u"UserName"_qs, u"SexBoy"_qs,   u"PassWord"_qs,
                                            u"Email"_qs,    u"Address"_qs,  u"About"_qs,
                                            u"Reg"_qs,      u"bt_cancel"_qs};
    QTest::newRow("ConnectMe") << u"ConnectMe"_qs
                               << QStringList{u"Content"_qs,   u"HostIP"_qs,  u"bt_connect"_qs,
                                              u"bt_cancel"_qs, u"bt_save"_qs, u"bt_back"_qs};
}

void TestDesktop::tabFollowsTheLayout() {
    QFETCH(QString, window);
    QFETCH(QStringList, order);
    Copy copy;
    QWidget *w = windowNamed(*copy.app, window);
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *first = w->findChild<QWidget *>(order.first());
    QVERIFY(first);
    // Only the controls of the list that are shown and enabled: that depends on the window's state.
    QStringList expected;
    for (const QString &name : std::as_const(order)) {
        auto *c = w->findChild<QWidget *>(name);
        if (c->isEnabled() && c->isVisibleTo(w)) expected << name;
    }
    first->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), first);
    QStringList seen{first->objectName()};
    for (int i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        if (now == first) break;
        seen << (now ? now->objectName() : u"(none)"_qs);
    }
    QCOMPARE(seen.join(u' '), expected.join(u' '));
    // And round again to the first.
    QCOMPARE(QApplication::focusWidget(), first);
}

void TestDesktop::readablePalettes_data() {
    QTest::addColumn<bool>("darkAtStart");
    QTest::addColumn<bool>("darkLater");
    QTest::newRow("light") << false << false;
    QTest::newRow("dark") << true << true;
    QTest::newRow("turned dark while running") << false << true;
}

void TestDesktop::readablePalettes() {
    QFETCH(bool, darkAtStart);
    QFETCH(bool, darkLater);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_qs));
    const QPalette light = QApplication::style()->standardPalette();
    QApplication::setPalette(darkAtStart ? darkPalette() : light);
    netcopy::Options o;
    o.server = true; // the message window's editable look comes with publishing
    Copy copy(o);
    const QString row = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    QStringList bad;
    auto checkAll = [&](const QString &state) {
        if (darkLater != darkAtStart) QApplication::setPalette(darkLater ? darkPalette() : light);
        for (const auto &[name, window] : windowsOf(*copy.app)) {
            for (const QString &b : unreadable(window))
                bad << state + u", "_qs + name + u": "_qs + b;
            screenshot(window, row + u'-' + state + u'-' + name);
        }
        if (darkLater != darkAtStart) QApplication::setPalette(darkAtStart ? darkPalette() : light);
    };
    checkAll(u"browse"_qs);
    // The other looks of the boxes: the main window editing, the message window publishing.
    copy.app->index()->findChild<QAction *>(u"m_new"_qs)->trigger();
    QVERIFY(copy.app->index()->IsEditing);
    copy.cm()->findChild<QAction *>(u"m_issuance"_qs)->trigger();
    QVERIFY(!copy.cm()->content()->isReadOnly());
    checkAll(u"edit"_qs);
    QApplication::setPalette(light);
    QVERIFY2(bad.isEmpty(), qPrintable(bad.join(u"\n"_qs)));
}

int main(int argc, char *argv[]) {
    // A desktop whose language is not Chinese.
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    qunsetenv("LANGUAGE");
    QApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
