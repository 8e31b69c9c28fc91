#include "ui/diary/index.h"

#include "store/cipher/convert.h"
#include "store/common/localname.h"
#include "store/common/textfile.h"
#include "store/diary/mylove.h"
#include "store/diary/recovery.h"
#include "store/keep/keepjob.h"
#include "store/keep/reseal.h"
#include "store/rtf/rtf.h"
#include "store/settings/config.h"
#include "store/settings/windowstate.h"
#include "store/stats/count.h"
#include "ui/app/helpdoc.h"
#include "ui/diary/diarytext.h"
#include "ui/diary/draftkeeper.h"
#include "ui/widgets/richtextbox.h"
#include "ui/widgets/ui.h"

#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QHBoxLayout>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

namespace {

const QDate kFirstDate(100, 1, 1);
const QDate kLastDate(9999, 12, 31);

// The list items carry the entry's key and which entry of that key they are.
constexpr int KeyRole = Qt::UserRole;
constexpr int OccurrenceRole = Qt::UserRole + 1;

// The count of the open edit follows the typing at most this often, so that a long entry types as
// fast as a short one.
constexpr int kCountDelayMs = 300;

QString msg(const char16_t *text) { return u"\r\n"_qs + QString::fromUtf16(text); }

// What the editor shows after removing an entry.
QString removeEntryText(const store::Result &removed) {
    if (removed) return msg(u"  日记删除成功！");
    if (removed.code == store::Code::WrongPassword)
        return msg(u"  * 记录已加密！\r\n  * 请输入正确的密码，然后再执行刚才的操作。");
    return msg(u"  文件操作失败，可能文件已经损坏！");
}

// The window shows its own words; what failed goes to the log.
void logFailure(const char *what, const store::Result &result) {
    qWarning("%s: %s %s", what, store::codeName(result.code), qPrintable(result.detail));
}

QString sixAsterisks() {
    return u"{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
           u"\\'cb\\'ce\\'cc\\'e5;}}\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18******\\par }"_qs;
}

} // namespace

Index::Index(const ProgramFolder &folder, Settings &settings, keep::Job &job, QWidget *parent)
    : QMainWindow(parent), m_folder(folder), m_settings(settings), m_job(job) {
    setWindowTitle(u" "_qs);
    buildControls();
}

Index::~Index() = default;

void Index::buildControls() {
    auto *form = new QWidget(this);
    form->setObjectName(u"form"_qs);
    setCentralWidget(form);
    ui::growable(form, 8520, 5565);

    auto *bar = menuBar();
    m_new = bar->addAction(u"新建日记"_qs);
    m_new->setObjectName(u"m_new"_qs);
    m_edit = bar->addAction(u"设置首页"_qs);
    m_edit->setObjectName(u"m_edit"_qs);
    m_loveme = bar->addAction(u"新建珍藏"_qs);
    m_loveme->setObjectName(u"m_loveme"_qs);
    m_help = bar->addAction(u"帮助"_qs);
    m_help->setObjectName(u"m_help"_qs);
    m_tools = bar->addMenu(u"工具"_qs);
    m_tools->setObjectName(u"m_tools"_qs);
    m_encipherOld = m_tools->addAction(u"加密旧日记"_qs);
    m_encipherOld->setObjectName(u"m_encipherOld"_qs);
    auto tool = [this](const char *name, const QString &text, void (Index::*requested)()) {
        QAction *a = m_tools->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, requested);
        return a;
    };
    tool("m_find", u"查找日记"_qs, &Index::findRequested)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    tool("m_calendar", u"日历"_qs, &Index::calendarRequested);
    tool("m_stats", u"统计"_qs, &Index::statsRequested);
    tool("m_restore", u"恢复备份…"_qs, &Index::restoreRequested);
    tool("m_export", u"导出…"_qs, &Index::exportRequested);

    // The frame is the background of the right-hand column; everything else lies above it.
    Fms = ui::place(new QGroupBox(form), "Fms", 0, -90, 8520, 5265);
    Fms->setFlat(true);
    lb_tit = ui::place(new QLabel(u"标题"_qs, Fms), "lb_tit", 120, 240, 360, 180);
    m_seeDiary = ui::button(Fms, "m_seeDiary", u"查看日记"_qs, 7185, 615, 945, 300);
    m_viewlove = ui::button(Fms, "m_viewlove", u"查看珍藏"_qs, 7185, 1005, 945, 300);

    Titles = ui::lineBox(form, "Titles", 585, 90, 2160, 285);
    Titles->setText(u"无标题"_qs);
    ck_pw = ui::place(new QCheckBox(u"加密"_qs, form), "ck_pw", 3285, 120, 705, 225);
    rt_pw = ui::lineBox(form, "rt_pw", 4065, 75, 1740, 300);
    rt_pw->setText(u"******"_qs);
    bt_OK = ui::button(form, "bt_OK", u"确认密码"_qs, 5850, 75, 930, 315);
    bt_love = ui::button(form, "bt_love", u"消 息"_qs, 7035, 75, 630, 315);
    bt_about = ui::button(form, "bt_about", u"关于"_qs, 7845, 75, 540, 315);
    bt_about->setProperty("tag", u"0"_qs);
    mmw = ui::place(new RichTextBox(form), "mmw", 30, 405, 6780, 4740);

    fmDate = ui::place(new QGroupBox(u"选择日期"_qs, form), "fmDate", 6885, 1380, 1590, 1440);
    tt_year = ui::lineBox(fmDate, "tt_year", 345, 240, 630, 300, 4);
    ui::place(new QLabel(u"年"_qs, fmDate), "lbYear", 1020, 300, 165, 195);
    tt_month = ui::lineBox(fmDate, "tt_month", 210, 615, 330, 300, 2);
    ui::place(new QLabel(u"月"_qs, fmDate), "lbMonth", 555, 675, 165, 195);
    tt_day = ui::lineBox(fmDate, "tt_day", 825, 630, 330, 300, 2);
    ui::place(new QLabel(u"日"_qs, fmDate), "lbDay", 1185, 675, 165, 195);
    bt_to = ui::button(fmDate, "bt_to", u"转到"_qs, 165, 1020, 600, 315);
    btReWrite = ui::button(fmDate, "btReWrite", u"添加"_qs, 825, 1020, 600, 315);

    fm_list = ui::place(new QGroupBox(u"列表"_qs, form), "fm_list", 6885, 3000, 1590, 2085);
    PicList = ui::place(new QListWidget(form), "PicList", 6930, 3225, 1455, 1320);
    PicList->installEventFilter(this);
    btBefore = ui::button(form, "btBefore", u"<="_qs, 6975, 4650, 330, 315);
    btAfter = ui::button(form, "btAfter", u"=>"_qs, 7425, 4650, 330, 315);
    btReturn = ui::button(form, "btReturn", u"=="_qs, 8040, 4650, 330, 315);

    says = ui::lineBox(form, "says", 15, 5250, 3585, 300);
    says->setReadOnly(true);
    bt_v = ui::button(form, "bt_v", u"粘 贴"_qs, 3915, 5235, 750, 300);
    bt_save = ui::button(form, "bt_save", u"保 存"_qs, 5010, 5235, 750, 300);
    bt_cancel = ui::button(form, "bt_cancel", u"取 消"_qs, 5895, 5235, 750, 300);
    bt_hidden = ui::button(form, "bt_hidden", u"隐藏"_qs, 7020, 5235, 600, 300);
    bt_exit = ui::button(form, "bt_exit", u"退出"_qs, 7755, 5235, 600, 300);

    connect(btBefore, &QPushButton::clicked, this, &Index::onPrevious);
    connect(btAfter, &QPushButton::clicked, this, &Index::onNext);
    connect(btReturn, &QPushButton::clicked, this, &Index::onToday);
    connect(bt_to, &QPushButton::clicked, this, &Index::onGoTo);
    connect(m_seeDiary, &QPushButton::clicked, this, &Index::onSeeDiary);
    connect(PicList, &QListWidget::itemClicked, this, [this] {
        if (selectedItem()) says->setText(u" 双击加载该记录."_qs);
    });
    // Moving the selection with the keys says the same as a click.
    connect(PicList, &QListWidget::itemSelectionChanged, this, [this] {
        if (PicList->hasFocus() && selectedItem()) says->setText(u" 双击加载该记录."_qs);
    });
    connect(PicList, &QListWidget::itemDoubleClicked, this, &Index::onListDoubleClick);
    connect(m_new, &QAction::triggered, this, &Index::onNew);
    connect(btReWrite, &QPushButton::clicked, this, &Index::onReWrite);
    connect(bt_v, &QPushButton::clicked, this, &Index::onPaste);
    connect(bt_save, &QPushButton::clicked, this, &Index::onSave);
    connect(bt_cancel, &QPushButton::clicked, this, &Index::onCancel);
    connect(m_edit, &QAction::triggered, this, &Index::onEditHomePage);
    connect(ck_pw, &QCheckBox::clicked, this, &Index::onCheckPassword);
    connect(bt_OK, &QPushButton::clicked, this, &Index::onOK);
    connect(m_loveme, &QAction::triggered, this, &Index::onNewCollectionItem);
    connect(m_viewlove, &QPushButton::clicked, this, &Index::onViewCollection);
    connect(bt_about, &QPushButton::clicked, this, &Index::onAbout);
    connect(bt_love, &QPushButton::clicked, this, &Index::onMessage);
    connect(m_help, &QAction::triggered, this, &Index::onHelp);
    connect(m_encipherOld, &QAction::triggered, this, &Index::onEncipherOld);
    connect(bt_hidden, &QPushButton::clicked, this, &Index::onHidden);
    connect(bt_exit, &QPushButton::clicked, this, &Index::onExit);

    // The bar of the window's own background work lies over the edit buttons, which that work
    // never needs; it stays usable while the rest of the window waits.
    m_workBar = new QWidget(this);
    m_workBar->setObjectName(u"fmWork"_qs);
    auto *workLayout = new QHBoxLayout(m_workBar);
    workLayout->setContentsMargins(0, 0, 0, 0);
    pb_work = new QProgressBar(m_workBar);
    pb_work->setObjectName(u"pb_work"_qs);
    pb_work->setAccessibleName(u"进度"_qs);
    bt_stopWork = new QPushButton(u"停止"_qs, m_workBar);
    bt_stopWork->setObjectName(u"bt_stopWork"_qs);
    workLayout->addWidget(pb_work, 1);
    workLayout->addWidget(bt_stopWork);
    m_workBar->hide();
    connect(bt_stopWork, &QPushButton::clicked, this, &Index::onStopWork);

    m_draft = new DraftKeeper(
        m_folder.dir, [this] { return currentDraft(); },
        // An entry to be locked by a password never reaches the disk in clear.
        [this] { return m_view == View::Diary && ck_pw->isChecked(); }, this);
    m_countTimer = new QTimer(this);
    m_countTimer->setObjectName(u"tmCount"_qs);
    m_countTimer->setSingleShot(true);
    m_countTimer->setInterval(kCountDelayMs);
    connect(m_countTimer, &QTimer::timeout, this, &Index::showCount);
    connect(mmw, &QTextEdit::textChanged, this, &Index::onEdited);
    connect(Titles, &QTextEdit::textChanged, this, &Index::onEdited);
    anchorControls();
    buildZoom();
    buildKeys();
    nameControls();
}

// The window grows from its laid-out size: the editor takes the room; the right-hand column
// keeps its width at the right edge, its list growing in height; the bottom row keeps to the
// bottom, the status line taking the width.
void Index::anchorControls() {
    using ui::Bottom, ui::Left, ui::Right, ui::Top;
    ui::anchor({mmw, Fms}, Left | Top | Right | Bottom);
    ui::anchor({m_seeDiary, m_viewlove, bt_love, bt_about, fmDate}, Top | Right);
    ui::anchor({fm_list, PicList}, Top | Right | Bottom);
    ui::anchor({btBefore, btAfter, btReturn}, Right | Bottom);
    ui::anchor(says, Left | Right | Bottom);
    ui::anchor({bt_v, bt_save, bt_cancel, bt_hidden, bt_exit}, Right | Bottom);
}

// Zoom keys act wherever the focus is in the window, in either mode; the wheel over the editor
// or the title.
void Index::buildZoom() {
    auto key = [this](const char *name, QList<QKeySequence> keys, std::function<int()> to) {
        auto *a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, to] { setZoom(to()); });
    };
    key("m_zoomIn", {Qt::CTRL | Qt::Key_Equal, Qt::CTRL | Qt::Key_Plus}, [this] { return windowstate::zoomStep(m_zoom, 1); });
    key("m_zoomOut", {Qt::CTRL | Qt::Key_Minus}, [this] { return windowstate::zoomStep(m_zoom, -1); });
    key("m_zoomNormal", {Qt::CTRL | Qt::Key_0}, [] { return windowstate::kNormalZoom; });
    for (RichTextBox *box : {mmw, Titles})
        connect(box, &RichTextBox::zoomWheel, this, [this](int steps) { setZoom(windowstate::zoomStep(m_zoom, steps)); });
}

// The keys every editor has. Each clicks its button or triggers its command, so it does exactly
// what that does and is refused whenever that is (a disabled button does nothing).
void Index::buildKeys() {
    m_new->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    auto key = [this](const char *name, const QKeySequence &keys, std::function<void()> act) {
        auto *a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, act);
    };
    key("k_save", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { bt_save->click(); });
    // One key never throws text away: Esc leaves only an edit that holds no change.
    key("k_cancel", QKeySequence(Qt::Key_Escape), [this] {
        if (IsEditing && !m_draft->hasChanges()) bt_cancel->click();
    });
    key("k_previous", QKeySequence(Qt::ALT | Qt::Key_Left), [this] { btBefore->click(); });
    key("k_next", QKeySequence(Qt::ALT | Qt::Key_Right), [this] { btAfter->click(); });
}

// Names a screen reader says, and the order Tab follows: the top row, the editor, then the
// right-hand column from top to bottom, then the bottom row.
void Index::nameControls() {
    const std::pair<QWidget *, const char16_t *> names[] = {
        {Titles, u"标题"},     {rt_pw, u"密码"},    {mmw, u"日记内容"},   {tt_year, u"年"},
        {tt_month, u"月"},     {tt_day, u"日"},     {PicList, u"列表"},   {btBefore, u"前一天"},
        {btAfter, u"后一天"},  {btReturn, u"今天"}, {says, u"状态"},
    };
    for (const auto &[w, name] : names)
        w->setAccessibleName(QString::fromUtf16(name));
    QWidget *const order[] = {Titles, ck_pw,   rt_pw,    bt_OK,  bt_love,   bt_about, mmw,      m_seeDiary,
                              m_viewlove, tt_year, tt_month, tt_day, bt_to,     btReWrite, PicList, btBefore,
                              btAfter, btReturn, says,     bt_v,   bt_save,   bt_cancel, bt_hidden, bt_exit};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Index::setZoom(int percent) {
    percent = std::clamp(percent, windowstate::kMinZoom, windowstate::kMaxZoom);
    if (percent == m_zoom) return;
    m_zoom = percent;
    mmw->setZoom(percent);
    // The title box keeps its laid-out height: its zoom goes only as far as its letters fit.
    int title = percent;
    while (title > windowstate::kNormalZoom && Titles->fontInfo().pixelSize() * title / 100.0 > Titles->viewport()->height())
        title = windowstate::zoomStep(title, -1);
    Titles->setZoom(title);
    emit zoomChanged(percent);
}

void Index::focusEditor() { mmw->setFocus(); }

void Index::showStatus(const QString &text) { says->setText(text); }

void Index::showEditorMessage(const QString &message) { mmw->setText(message); }

void Index::LoadSequence(bool paintBeforeHomePage) {
    setWindowTitle(u" LOADING ..."_qs);
    CurDate = m_folder.now().date();
    says->setText(diary::dateStatusText(CurDate));
    setView(View::Diary);
    SetBrowseMode();
    oFOS = std::make_unique<FOS>();
    for (const QString &name : {u"DB"_qs, u"Love"_qs})
        if (!QFileInfo::exists(m_folder.path(name))) QDir(m_folder.dir).mkdir(name);
    settings::LoadConfig(m_folder.dir, m_settings);
    if (paintBeforeHomePage) {
        // Reading a large home page costs many times what the window's first paint does: the
        // window shows first, and the home page comes right after (fillHomePage).
        mmw->setText(QString());
        m_homePending = true;
        m_editorWritten = false;
        mmw->viewport()->installEventFilter(this);
    } else {
        m_homePending = false;
        if (!LoadHomePage()) mmw->setTextRTF(HomeText);
    }
    setDateBoxes();
    // The icon belongs to the hidden network window; loading that window in server mode starts
    // its services and writes its own message into the editor.
    emit loaded();
}

// The two modes set the same controls in opposite ways; the password box is enabled by browse
// mode and left alone by edit mode.
void Index::setMode(bool editing) {
    // Leaving an edit (saved, cancelled or left unchanged) ends its draft.
    if (IsEditing && !editing) {
        m_countTimer->stop();
        m_draft->editEnded();
        // The home page's edit over, the window shows the diary.
        if (m_view == View::HomePage) m_view = View::Diary;
        // Queued: the save or cancel that ends the edit finishes first.
        QMetaObject::invokeMethod(this, &Index::editEnded, Qt::QueuedConnection);
    }
    IsEditing = editing;
    for (RichTextBox *box : {mmw, Titles}) {
        box->setBackColor(editing ? ui::windowBackground() : ui::buttonFace());
        box->setReadOnly(!editing);
        box->setAppearance(editing ? 0 : 1);
    }
    for (QAction *a : {m_new, m_edit, m_loveme, m_tools->menuAction()})
        a->setEnabled(!editing);
    // The commands of the menu too, so that their shortcuts are off as well.
    for (QAction *a : m_tools->actions())
        a->setEnabled(!editing);
    for (QWidget *w : std::initializer_list<QWidget *>{btReWrite, bt_to, btBefore, btAfter, btReturn, m_seeDiary,
                                                       m_viewlove, bt_love, PicList, tt_year, tt_month, tt_day})
        w->setEnabled(!editing);
    for (QWidget *w : std::initializer_list<QWidget *>{bt_v, bt_save, bt_cancel})
        w->setEnabled(editing);
    // Only a new entry of the diary can be locked.
    ck_pw->setEnabled(editing && m_view == View::Diary);
    if (!editing) rt_pw->setEnabled(true);
    else if (m_view != View::Diary) rt_pw->setEnabled(false);
}

void Index::setView(View view) {
    m_view = view;
    bt_OK->setText(view == View::Collection ? u"编辑珍藏"_qs : u"确认密码"_qs);
    // An edit sets the controls itself when it ends.
    if (IsEditing) return;
    if (view == View::Collection) {
        for (QWidget *w : std::initializer_list<QWidget *>{btBefore, btAfter, bt_to, ck_pw, rt_pw})
            w->setEnabled(false);
    } else if (view == View::Diary) {
        enableNavigation(true);
        rt_pw->setEnabled(true);
    }
}

void Index::SetBrowseMode() { setMode(false); }

void Index::SetEditMode() { setMode(true); }

void Index::ClearDisplay() {
    mmw->setTextRTF(rtf::emptyDocument());
    Titles->setTextRTF(rtf::documentWithBody(rtf::escapeText(u"晴窗"_qs)));
}

bool Index::LoadHomePage() { return readHomePage(mmw); }

bool Index::readHomePage(RichTextBox *box) {
    if (oFOS) oFOS->closeAll();
    Settings &s = m_settings;
    if (s.FirstPage.isEmpty()) s.FirstPage = u"index.KAV"_qs;
    const QString path = m_folder.path(s.FirstPage);
    if (QFileInfo(path).isFile() && box->loadFile(path)) {
        HomeText = box->textRTF();
        return true;
    }
    HomeText = msg(u"  *  请从列表中选择...");
    return false;
}

void Index::fillHomePage() {
    if (!m_homePending) return;
    m_homePending = false;
    if (!m_editorWritten) {
        if (!LoadHomePage()) mmw->setTextRTF(HomeText);
        return;
    }
    // The editor already shows something newer (the server's start message, a reopened draft):
    // the home page is read beside it, as the load sequence would have read it before.
    RichTextBox reader;
    readHomePage(&reader);
}

void Index::setDateBoxes() {
    tt_year->setText(QString::number(CurDate.year()));
    tt_month->setText(QString::number(CurDate.month()));
    tt_day->setText(QString::number(CurDate.day()));
}

void Index::enableNavigation(bool on) {
    for (QWidget *w : std::initializer_list<QWidget *>{btBefore, btAfter, bt_to})
        w->setEnabled(on);
}

void Index::ShowDate() {
    CurFile = m_folder.path(u"DB/"_qs + diary::DateKey(CurDate) + u".KAV"_qs);
    PicList->clear();
    if (!QFileInfo::exists(CurFile)) {
        mmw->setText(diary::noRecordText(CurDate));
    } else {
        mmw->setTextRTF(u"\r\n"_qs + HomeText);
        ListEntries(CurFile);
    }
    Titles->setText(u"  ---"_qs);
    says->setText(diary::dateStatusText(CurDate));
}

diary::Listing Index::ListEntries(const QString &path) {
    PicList->clear();
    const diary::Listing listing = diary::ListEntries(path);
    for (const diary::EntryItem &e : listing.items) {
        auto *item = new QListWidgetItem(e.title, PicList);
        item->setData(KeyRole, e.key);
        item->setData(OccurrenceRole, e.occurrence);
    }
    if (!listing.result) {
        logFailure("listing the entries", listing.result);
        mmw->setText(msg(u"  文件格式错误或文件已被破坏。"));
    }
    return listing;
}

void Index::onPrevious() {
    stepDay(-1, msg(u"  很高兴我的软件在计算机出现之前有人使用。请代我向我先人的问好。"));
}

void Index::onNext() { stepDay(1, msg(u"  很高兴您能用到现在。请代我向我的后人问好。")); }

void Index::stepDay(int days, const QString &outOfRange) {
    ClearDisplay();
    const QDate d = CurDate.addDays(days);
    if (!d.isValid() || d < kFirstDate || d > kLastDate) {
        mmw->setText(outOfRange);
        return;
    }
    CurDate = d;
    ShowDate();
    setDateBoxes();
    focusEditor();
}

void Index::onToday() { backToToday(false); }

void Index::onSeeDiary() { backToToday(true); }

// "==" and "查看日记": back to the diary on today's date; the latter also refills the password box.
void Index::backToToday(bool asterisks) {
    setView(View::Diary);
    ClearDisplay();
    if (asterisks) rt_pw->setTextRTF(sixAsterisks());
    CurDate = m_folder.now().date();
    ShowDate();
    setDateBoxes();
    focusEditor();
}

// The date typed into the three boxes; when it is no date, says so in the editor.
std::optional<QDate> Index::typedDate() {
    const std::optional<QDate> d = diary::parseTypedDate(tt_year->text(), tt_month->text(), tt_day->text());
    if (!d) {
        mmw->setText(msg(u"  您的输入错了，您家的日历里有这个日子吗？"));
        focusEditor();
    }
    return d;
}

void Index::onGoTo() {
    const std::optional<QDate> d = typedDate();
    if (!d) return;
    CurDate = *d;
    ShowDate();
    focusEditor();
}

void Index::onListDoubleClick() {
    QListWidgetItem *item = selectedItem();
    if (!item) return;
    const QDateTime started = m_folder.now();
    mmw->setText(QString());
    ClearDisplay();
    Titles->setText(item->text());
    bool ok = true;
    if (m_view == View::Collection) {
        Titles->setText(item->text());
        ok = mmw->loadFile(lovePath(item->text()));
    } else {
        oFOS->fr(CurFile);
        const std::optional<QString> body = readSelectedEntry(item);
        if (body) showEntryBody(*body);
        ok = body.has_value();
        oFOS->closeAll();
    }
    if (!ok) {
        mmw->setText(msg(u"  加载文件出错，可能文件格式有误。"));
        return;
    }
    focusEditor();
    const qint64 seconds = qMax<qint64>(0, started.secsTo(m_folder.now()));
    says->setText(u" 加载用时："_qs + diary::elapsedText(seconds) + u"    |("_qs +
                  QString::number(mmw->textRTF().size()) + u")"_qs);
}

// getContent of the entry of a list item with the password in rt_pw: its body, the locked-entry
// text, or a text of ours for an enciphered entry that cannot be opened; nothing when the entry
// is not in the file.
std::optional<QString> Index::readSelectedEntry(QListWidgetItem *item) {
    // A sealed entry's key derivation takes a quarter of a second: the entry is read beside the
    // window, which keeps painting and ticking meanwhile; what is typed or clicked waits.
    struct Read {
        std::optional<QString> body;
        cipher::Result result;
        bool passOK = false;
        bool locked = false;
    };
    QFuture<Read> reading = QtConcurrent::run(
        [path = CurFile, key = QString::number(item->data(KeyRole).toInt()), occurrence = item->data(OccurrenceRole).toInt(),
         password = rt_pw->text()]() mutable {
            FOS fos;
            fos.fr(path);
            Read r{fos.getContent(key, password, occurrence), fos.LastResult, fos.PassOK, fos.Locked};
            cipher::wipe(password);
            return r;
        });
    if (!reading.isFinished()) {
        QEventLoop loop;
        QFutureWatcher<Read> watcher;
        connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(reading);
        if (!reading.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    Read read = reading.takeResult();
    oFOS->LastResult = read.result;
    oFOS->PassOK = read.passOK;
    oFOS->Locked = read.locked;
    std::optional<QString> body = std::move(read.body);
    if (!body) return body;
    switch (oFOS->LastResult.code) {
    case cipher::Code::WrongPassword: return msg(u"  * 记录已加密，请输入正确的密码。");
    case cipher::Code::Damaged: return msg(u"  * 加密记录已损坏或被改动，无法打开。");
    case cipher::Code::Unavailable: return msg(u"  * 内存不足，无法解密这篇日记。");
    default: return body;
    }
}

void Index::showEntryBody(const QString &body) {
    mmw->setTextRTF(body);
    // Set after the text: any later change of the editor's text clears it (onEdited).
    m_lockedShown = oFOS->Locked && oFOS->PassOK;
}

void Index::onListDelete() {
    const Settings &s = m_settings;
    QListWidgetItem *item = selectedItem();
    if (m_view == View::Collection) {
        if (s.LoveDeletion != u"1") {
            mmw->setText(msg(u"  当前设置禁止删除珍藏！\r\n  请修改安装目录下的Config.ini文件。"));
            return;
        }
        says->setText(u" 删除珍藏"_qs);
        if (!item) return;
        const store::Result removed = mylove::removeItem(lovePath(item->text()));
        if (!removed && removed.code != store::Code::NotFound) {
            logFailure("removing a collection item", removed);
            return;
        }
        ListCollection();
        mmw->setText(msg(u" 珍藏删除成功！"));
        return;
    }
    if (s.DiaryDeletion != u"1") {
        mmw->setText(msg(u"  当前设置禁止删除日记！\r\n  请修改安装目录下的Config.ini文件。"));
        return;
    }
    if (!item) return;
    QString password = rt_pw->text();
    const store::Result removed = diary::removeEntry(CurFile, m_folder.path(u"DB/"_qs + localname::dateTempName()),
                                                     item->data(KeyRole).toInt(), item->data(OccurrenceRole).toInt(), password);
    cipher::wipe(password);
    if (!removed && removed.code != store::Code::WrongPassword) logFailure("removing an entry", removed);
    ShowDate();
    mmw->setText(removeEntryText(removed));
}

QListWidgetItem *Index::selectedItem() const {
    // The list keeps a current item that need not be highlighted (Tab into the list, Ctrl+click
    // on the selected row, a click below the rows); nothing acts on such an item.
    QListWidgetItem *item = PicList->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

bool Index::eventFilter(QObject *watched, QEvent *event) {
    if (m_homePending && watched == mmw->viewport() && event->type() == QEvent::Paint) {
        // The first paint is under way: the home page follows once it is done.
        mmw->viewport()->removeEventFilter(this);
        QMetaObject::invokeMethod(
            this,
            [this] {
                emit firstPainted();
                fillHomePage();
            },
            Qt::QueuedConnection);
    }
    if (watched == PicList) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Control) {
                bt_about->setText(u"相册"_qs);
                bt_about->setProperty("tag", u"1"_qs);
            } else if (key == Qt::Key_Delete) {
                onListDelete();
                return true;
            } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                // Enter opens the highlighted row as a double click does.
                onListDoubleClick();
                return true;
            }
        } else if (event->type() == QEvent::KeyRelease) {
            bt_about->setText(u"关于"_qs);
            bt_about->setProperty("tag", u"0"_qs);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Index::closeEvent(QCloseEvent *event) {
    // The close box ends the program like "退出", but never while an edit is open: what was
    // typed would be lost.
    if (IsEditing) {
        event->ignore();
        says->setText(u" 请先保存或取消当前的编辑。"_qs);
        return;
    }
    event->accept();
    emit exitRequested();
}

// --- Ways in from the search and calendar windows ---

bool Index::showDay(const QDate &date) {
    if (IsEditing) {
        says->setText(u" 请先保存或取消当前的编辑。"_qs);
        return false;
    }
    setView(View::Diary);
    ClearDisplay();
    CurDate = date;
    ShowDate();
    setDateBoxes();
    focusEditor();
    return true;
}

bool Index::openEntry(const QDate &date, int index) {
    if (!showDay(date)) return false;
    if (index < 0 || index >= PicList->count()) return false;
    PicList->setCurrentRow(index);
    onListDoubleClick();
    return true;
}

bool Index::openCollectionItem(const QString &title) {
    if (IsEditing) {
        says->setText(u" 请先保存或取消当前的编辑。"_qs);
        return false;
    }
    onViewCollection();
    const QList<QListWidgetItem *> items = PicList->findItems(title, Qt::MatchExactly);
    if (items.isEmpty()) return false;
    PicList->setCurrentItem(items.first());
    onListDoubleClick();
    return true;
}

bool Index::refuseWhileChanged() {
    if (!IsEditing || !m_draft->hasChanges()) return false;
    says->setText(u" 请先保存或取消当前的编辑。"_qs);
    return true;
}

// --- The recovery draft ---

void Index::editStarted() {
    m_draft->editStarted();
    if (!m_countTimer->isActive()) m_countTimer->start();
}

void Index::showCount() {
    if (!IsEditing) return;
    // The count stands after whatever the status line says, in place of the count before it.
    QString text = says->text();
    if (!m_countText.isEmpty() && text.endsWith(m_countText)) text.chop(m_countText.size());
    m_countText = u" 字数 "_qs + QString::number(stats::characterCount(mmw->toPlainText()));
    says->setText(text + m_countText);
}

void Index::onEdited() {
    m_lockedShown = false;
    if (m_homePending) m_editorWritten = true;
    if (!IsEditing) return;
    if (!m_countTimer->isActive()) m_countTimer->start();
    m_draft->edited();
}

recovery::Draft Index::currentDraft() const {
    recovery::Draft d;
    d.kind = m_view == View::Collection ? recovery::Kind::CollectionItem
             : m_view == View::Diary    ? recovery::Kind::Entry
                                        : recovery::Kind::HomePage;
    if (d.kind == recovery::Kind::Entry) d.date = CurDate;
    d.title = Titles->text();
    d.richText = mmw->textRTF();
    return d;
}

void Index::reopenDraft() {
    const std::optional<recovery::Draft> d = m_draft->leftOver();
    if (!d) return;
    switch (d->kind) {
    case recovery::Kind::Entry:
        CurDate = d->date;
        NewEntry();
        break;
    case recovery::Kind::HomePage:
        onEditHomePage();
        break;
    case recovery::Kind::CollectionItem:
        setView(View::Collection);
        SetEditMode();
        ListCollection();
        editStarted();
        break;
    }
    Titles->setText(d->title);
    mmw->setTextRTF(d->richText);
    // The recovered words are changes not yet saved: they stay in the draft until saved.
    m_draft->markChanged();
    focusEditor();
    says->setText(u" 已恢复上次未保存的编辑，请保存或取消。"_qs);
}

// --- Writing entries and the home page ---

QString Index::titleLine() const {
    // The title is one line of the date file: each line break typed into it becomes a blank.
    return diary::oneLine(Titles->text());
}

void Index::onNew() {
    CurDate = m_folder.now().date();
    NewEntry();
}

void Index::onReWrite() {
    const std::optional<QDate> d = typedDate();
    if (!d) return;
    CurDate = *d;
    NewEntry();
}

void Index::NewEntry() {
    setView(View::Diary);
    CurFile = m_folder.path(u"DB/"_qs + diary::DateKey(CurDate) + u".KAV"_qs);
    ClearDisplay();
    Titles->setText(diary::shortDate(CurDate));
    says->setText(u" 新建日记"_qs);
    mmw->setText(QString());
    setDateBoxes();
    SetEditMode();
    rt_pw->setText(QString());
    rt_pw->setEnabled(ck_pw->isChecked());
    focusEditor();
    mmw->setText(diary::entryTemplate(CurDate));
    editStarted();
}

void Index::onPaste() {
    focusEditor();
    mmw->pasteClipboard();
}

void Index::onSave() {
    if (m_view == View::Collection) saveCollectionItem();
    else SaveCurrent();
}

bool Index::SaveCurrent() {
    oFOS->closeAll();
    const bool newEntry = m_view == View::Diary;
    const qsizetype limit = newEntry ? 400000 : 800000;
    const QString rich = mmw->textRTF();
    // A refused or failed save keeps the edit open with everything typed.
    if (rich.size() > limit) {
        says->setText(u" 文件太大了，无法保存！"_qs);
        return false;
    }
    store::Result saved;
    if (newEntry) {
        // A locked entry is enciphered unless the settings keep the old lock.
        diary::Lock lock{ck_pw->isChecked() ? rt_pw->text() : QString(), m_settings.Encrypt != u"0"};
        saved = diary::appendEntry(CurFile, Titles->text(), lock, rich, [this] { return m_folder.random(999999); });
        cipher::wipe(lock.password);
    } else {
        saved = store::writeTextLineAtomically(CurFile, rich);
    }
    if (!saved) {
        logFailure("saving", saved);
        says->setText(u" 文件没有保存."_qs);
        return false;
    }
    SetBrowseMode();
    if (!newEntry) LoadHomePage();
    focusEditor();
    ListEntries(CurFile);
    says->setText(diary::dateStatusText(CurDate));
    return true;
}

void Index::onCancel() {
    SetBrowseMode();
    if (m_view == View::Collection) enableNavigation(false);
    else ShowDate();
    ClearDisplay();
    mmw->setText(msg(u"  取消操作..."));
    focusEditor();
}

void Index::onEditHomePage() {
    // The home page and its draft are kept in clear: a locked entry's words never go there.
    if (m_lockedShown) {
        says->setText(u" 加锁的日记不能设为首页。"_qs);
        return;
    }
    setView(View::HomePage);
    SetEditMode();
    Settings &s = m_settings;
    if (s.FirstPage.isEmpty()) s.FirstPage = u"index.KAV"_qs;
    CurFile = m_folder.path(s.FirstPage);
    setDateBoxes();
    says->setText(u" 点击 [保存] 当前信息将被设置为首页."_qs);
    editStarted();
}

// --- Passwords ---

void Index::onCheckPassword() {
    rt_pw->setEnabled(ck_pw->isChecked());
    rt_pw->setTextRTF(sixAsterisks());
    rt_pw->setText(QString());
    // A draft written before the box was ticked goes at once; unticked, the next one comes soon.
    if (IsEditing) m_draft->lockChanged();
}

void Index::onOK() {
    if (m_view == View::Collection) {
        // "编辑珍藏": the loaded item becomes editable (an edit already open goes on as it is).
        const bool wasEditing = IsEditing;
        SetEditMode();
        focusEditor();
        if (!wasEditing) editStarted();
        return;
    }
    if (IsEditing) {
        focusEditor();
        return;
    }
    QListWidgetItem *item = selectedItem();
    mmw->setText(QString());
    Titles->setText(item ? item->text() : QString());
    oFOS->fr(CurFile);
    if (!item) {
        focusEditor();
        return;
    }
    const std::optional<QString> body = readSelectedEntry(item);
    oFOS->closeAll();
    if (!body) mmw->setText(msg(u"  文件不存在！"));
    else showEntryBody(*body);
    focusEditor();
}

// "加密旧日记": every entry that an older copy locked with the password now in rt_pw is enciphered
// under it. Each entry costs a key derivation (a quarter of a second): the work runs on the job
// runner, one date file at a time, as the only work of its kind; the window shows how far it is
// and can stop it after the date file being written.
void Index::onEncipherOld() {
    QString password = rt_pw->text();
    if (password.isEmpty()) {
        mmw->setText(msg(u"  请在密码框中输入旧日记的密码，然后再执行刚才的操作。"));
        return;
    }
    auto c = std::make_shared<cipher::Conversion>();
    auto copies = std::make_shared<keep::Resealing>();
    const QString programDir = m_folder.dir;
    const QString db = m_folder.path(u"DB"_qs);
    const QString temp = m_folder.path(u"DB/"_qs + localname::dateTempName());
    const bool started = m_job.start(
        [c, copies, programDir, db, temp, password](const keep::Job::Steps &steps) mutable {
            *c = cipher::encipherLegacyDiary(db, temp, password, cipher::standardLimits(), steps.progress(0));
            // The backups taken before still hold these entries with their old password code.
            if (!c->stopped)
                *copies = keep::encipherLegacyCopies(programDir, password, cipher::standardLimits(), steps.progress(1));
            cipher::wipe(password);
            return store::Result{};
        },
        [this, c, copies](const store::Result &) { finishEncipherOld(*c, *copies); },
        [this](int stage, int done, int total) { showWorkStep(stage, done, total); });
    cipher::wipe(password);
    if (!started) {
        says->setText(u" 正在备份、恢复或导出，请稍后再加密旧日记。"_qs);
        return;
    }
    setWorking(true);
    mmw->setText(msg(u"  正在加密旧日记；之前的备份中这些日记的副本也将一并加密。"));
    says->setText(u" 正在加密旧日记..."_qs);
}

void Index::showWorkStep(int stage, int done, int total) {
    if (m_stopAsked) return;
    pb_work->setRange(0, qMax(total, 1));
    pb_work->setValue(done);
    const QString text = stage == 0 ? u" 正在加密旧日记... %1 / %2"_qs : u" 正在加密备份中的旧日记... %1 / %2"_qs;
    says->setText(text.arg(done).arg(total));
}

void Index::onStopWork() {
    if (!m_job.isRunning()) return;
    m_stopAsked = true;
    m_job.cancel();
    bt_stopWork->setEnabled(false);
    says->setText(u" 正在停止，写完当前的日记文件后停下..."_qs);
}

void Index::setWorking(bool working) {
    centralWidget()->setEnabled(!working);
    menuBar()->setEnabled(!working);
    m_stopAsked = false;
    pb_work->setRange(0, 0);
    bt_stopWork->setEnabled(working);
    if (working) {
        placeWorkBar();
        m_workBar->show();
        m_workBar->raise();
        bt_stopWork->setFocus();
    } else {
        m_workBar->hide();
    }
}

// Over the row of "粘 贴", "保 存" and "取 消", wherever the window's size has put it.
void Index::placeWorkBar() {
    const QRect row = bt_v->geometry().united(bt_cancel->geometry());
    m_workBar->setGeometry(QRect(bt_v->parentWidget()->mapTo(this, row.topLeft()), row.size()));
}

void Index::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    if (m_workBar && m_workBar->isVisible()) placeWorkBar();
}

void Index::finishEncipherOld(const cipher::Conversion &c, const keep::Resealing &copies) {
    const bool stopAsked = m_stopAsked;
    setWorking(false);
    QString report = msg(u"  已加密 %1 篇旧日记。").arg(c.enciphered);
    if (copies.enciphered > 0) report += msg(u"  备份中另加密了 %1 篇的副本。").arg(copies.enciphered);
    if (!c.result.ok()) report += u"\r\n  有日记文件未能加密："_qs + c.result.detail;
    if (!copies.result.ok()) report += u"\r\n  有备份未能加密："_qs + copies.result.detail;
    const QStringList others = c.otherLocks + copies.otherLocks;
    if (!others.isEmpty()) {
        report += msg(u"  以下日记用另一个密码加锁，仍是旧格式（用它的密码再加密一次）：");
        for (const QString &other : others)
            report += u"\r\n    "_qs + other;
    }
    mmw->setText(report);
    if (stopAsked && c.stopped)
        says->setText(u" 已停止加密旧日记：已加密 %1 篇（%2 个日记文件），其余的仍是旧格式。"_qs.arg(c.enciphered).arg(c.files));
    else if (stopAsked)
        says->setText(u" 旧日记已加密；已停止加密备份中的副本（已加密 %1 篇的副本）。"_qs.arg(copies.enciphered));
    else if (!copies.result.ok()) says->setText(u" 旧日记已加密，但有备份未能加密。"_qs);
    else if (c.stopped || !c.result.ok()) says->setText(diary::dateStatusText(CurDate));
    else says->setText(u" 旧日记已加密，之前备份中的副本也已加密。"_qs);
    focusEditor();
}

// --- The collection ---

// The file of a listed item. The name comes from the folder's own listing and is used as it is:
// the title rules are for new titles, and a name holding "\\" must not become a sub-path.
QSet<QString> Index::busyFiles() const {
    if (!IsEditing) return {};
    if (m_view == View::Collection) return {lovePath(Titles->text())};
    return {CurFile};
}

void Index::diskChanged() {
    if (IsEditing) return;
    if (m_view == View::Collection) {
        const QStringList names = mylove::itemNames(m_folder.path(u"Love"_qs));
        QStringList shown;
        for (int i = 0; i < PicList->count(); ++i)
            shown << PicList->item(i)->text();
        if (names != shown) ListCollection();
        return;
    }
    if (CurFile != m_folder.path(u"DB/"_qs + diary::DateKey(CurDate) + u".KAV"_qs)) return;
    if (PicList->count() == 0) {
        // The date showed that it has no entry; now it has.
        if (QFileInfo::exists(CurFile)) ShowDate();
        return;
    }
    const diary::Listing listing = diary::ListEntries(CurFile);
    bool same = listing.items.size() == PicList->count();
    for (int i = 0; same && i < PicList->count(); ++i) {
        const QListWidgetItem *item = PicList->item(i);
        const diary::EntryItem &e = listing.items[i];
        same = item->text() == e.title && item->data(KeyRole).toInt() == e.key &&
               item->data(OccurrenceRole).toInt() == e.occurrence;
    }
    if (same) return;
    // The entry selected stays selected where it is still listed.
    QListWidgetItem *selected = selectedItem();
    const QVariant key = selected ? selected->data(KeyRole) : QVariant();
    const QVariant occurrence = selected ? selected->data(OccurrenceRole) : QVariant();
    ListEntries(CurFile);
    for (int i = 0; key.isValid() && i < PicList->count(); ++i) {
        if (PicList->item(i)->data(KeyRole) == key && PicList->item(i)->data(OccurrenceRole) == occurrence) {
            PicList->setCurrentRow(i);
            break;
        }
    }
}

QString Index::lovePath(const QString &name) const { return m_folder.path(u"Love"_qs) + u'/' + name; }

void Index::ListCollection() {
    PicList->clear();
    PicList->addItems(mylove::itemNames(m_folder.path(u"Love"_qs)));
}

void Index::onNewCollectionItem() {
    setView(View::Collection);
    says->setText(u" 新建珍藏"_qs);
    mmw->setText(QString());
    SetEditMode();
    ListCollection();
    Titles->setText(u"KAV_"_qs + QString::number(m_folder.random(999999)));
    editStarted();
}

void Index::onViewCollection() {
    setView(View::Collection);
    ListCollection();
    focusEditor();
    ClearDisplay();
    mmw->setText(msg(u"  请在列表中选择珍藏..."));
    Titles->setText(QString());
}

void Index::saveCollectionItem() {
    QString title = titleLine();
    if (title.isEmpty()) {
        title = u"Null"_qs;
        Titles->setText(title);
    }
    if (!mylove::isValidTitle(title)) {
        says->setText(u" 标题命名错误，有非法字符。"_qs);
        return;
    }
    if (const store::Result saved = mylove::writeItem(m_folder.path(u"Love/"_qs + title), mmw->textRTF()); !saved) {
        logFailure("saving a collection item", saved);
        says->setText(u" 文件没有保存."_qs);
        return;
    }
    SetBrowseMode();
    ListCollection();
    enableNavigation(false);
}

// --- Commands that lead away from the diary ---

void Index::onAbout() {
    if (bt_about->property("tag").toString() != u"1" && refuseWhileChanged()) return;
    if (bt_about->property("tag").toString() == u"1") {
        bt_about->setProperty("tag", u"0"_qs);
        bt_about->setText(u"关于"_qs);
        emit albumRequested();
        hide();
        return;
    }
    LoadSequence();
    PicList->clear();
    SetBrowseMode();
    focusEditor();
    Titles->setTextRTF(diary::aboutTitleRtf());
    mmw->setTextRTF(rtf::emptyDocument());
    mmw->setText(diary::AboutHeader());
    mmw->setText(mmw->text() +
                 (m_settings.ConfigUnreadable ? diary::configErrorText() : m_settings.AboutText));
    if (!m_aboutNote.isEmpty()) mmw->setText(mmw->text() + u"\r\n"_qs + m_aboutNote);
    focusEditor();
}

void Index::onMessage() {
    mmw->setText(m_settings.NewMessage);
    focusEditor();
    hide();
    emit messageRequested();
}

void Index::onHelp() {
    if (refuseWhileChanged()) return;
    ClearDisplay();
    Titles->setText(u"帮助"_qs);
    PicList->clear();
    SetBrowseMode();
    if (m_view == View::Collection) enableNavigation(false);
    mmw->setText(QString());
    mmw->setText(BuildHelpText());
    focusEditor();
}

void Index::onHidden() { emit hideRequested(); }

void Index::onExit() {
    if (refuseWhileChanged()) return;
    emit exitRequested();
}
