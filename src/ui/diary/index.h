#pragma once

#include "store/common/programfolder.h"
#include "store/diary/diarystore.h"
#include "store/diary/fos.h"
#include "store/settings/settings.h"

#include <QDate>
#include <QMainWindow>
#include <QSet>

#include <memory>
#include <optional>

namespace cipher {
struct Conversion;
}
namespace keep {
class Job;
struct Resealing;
}
namespace recovery {
struct Draft;
}
class DraftKeeper;
class RichTextBox;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

// The main window of the diary: one date at a time with its entries, the editor, the home page,
// the collection, and the ways to the album and the network windows. It is handed the program
// folder (with its clock and random numbers), the settings it reads and writes, and the job runner
// its long work runs on; what leads to another window it asks for with a signal.
class Index : public QMainWindow {
    Q_OBJECT
public:
    Index(const ProgramFolder &folder, Settings &settings, keep::Job &job, QWidget *parent = nullptr);
    ~Index() override;

    // What the window shows: a date of the diary, the collection, or the home page being edited.
    enum class View { Diary, Collection, HomePage };
    View view() const { return m_view; }

    // The editor pane mmw.
    RichTextBox *editor() const { return mmw; }
    // The menu "工具" after the commands of the menu bar: our own commands, disabled in edit mode.
    QMenu *toolsMenu() const { return m_tools; }
    void focusEditor();
    // Replaces the status line's text.
    void showStatus(const QString &text);

    // The zoom of the editor's view and the title's, in percent (50 to 400). Ctrl + wheel and
    // Ctrl + "=" / "-" / "0" change it; only what is shown changes, never the text saved.
    int zoom() const { return m_zoom; }
    void setZoom(int percent);

    // Start-up: data folders, settings, home page, tray icon, network windows. Run when the
    // window is first used and again by the about button.
    // At the program's start the window may paint before a large home page fills the editor
    // (paintBeforeHomePage): it fills it right after its first paint, with the same result.
    void LoadSequence(bool paintBeforeHomePage = false);
    // Reopens the edit that a recovery draft left by the last run holds, in edit mode; nothing is
    // written to the diary until it is saved. Run once at start, after the load sequence.
    void reopenDraft();
    // A line the about view adds after the settings' text; empty for none.
    void setAboutNote(const QString &note) { m_aboutNote = note; }

    // Window state.
    QDate CurDate;
    QString CurFile;
    QString HomeText;
    bool IsEditing = false;

    void SetBrowseMode();
    void SetEditMode();
    void ClearDisplay();
    void ShowDate();
    // True when the editor shows the home page file it just loaded.
    bool LoadHomePage();
    diary::Listing ListEntries(const QString &path);
    void NewEntry();
    bool SaveCurrent();
    void ListCollection();

    // Ways in from the search and calendar windows. Each does nothing but say so in the status
    // line while an edit is open, and returns false then.
    // Shows date as "转到" does, back in the diary when the collection was shown.
    bool showDay(const QDate &date);
    // Shows date, selects the entry at place index of its listing (two entries sharing a key
    // stay apart) and opens it as a double click in the list does, with the password box as it
    // is. False also when the listing has no such entry.
    bool openEntry(const QDate &date, int index);
    // Shows the collection, selects the item named title and opens it as a double click does.
    bool openCollectionItem(const QString &title);

    // The files an open edit will write (its date file, the home page or the collection item):
    // a merge of their conflict copies waits until the edit is saved or cancelled.
    QSet<QString> busyFiles() const;
    // Files of the diary changed on disk (another computer's entries, a merge): the list of the
    // date or of the collection on screen shows what is there now. Nothing changes while an edit
    // is open; saving or cancelling lists the file again anyway.
    void diskChanged();

signals:
    // The window left edit mode: the edit was saved or cancelled.
    void editEnded();
    void zoomChanged(int percent);
    // At the program's start (LoadSequence(true)): the window has painted for the first time.
    void firstPainted();
    // The load sequence has read the settings and the home page: the notification-area icon and
    // the network windows are set up as at start.
    void loaded();
    // The user asked for the album ("相册", the about button with Ctrl held in the list); the
    // window has hidden.
    void albumRequested();
    // "消 息": the messages window; the window has hidden.
    void messageRequested();
    // "隐藏": the window is to leave the screen.
    void hideRequested();
    // "退出" or the close box: the program is to end.
    void exitRequested();
    // The commands of the menu "工具".
    void findRequested();
    void calendarRequested();
    void statsRequested();
    void restoreRequested();
    void exportRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void anchorControls();
    void buildZoom();
    void buildKeys();
    void nameControls();
    void setMode(bool editing);
    // The one place the view changes: the password button's words and, outside an edit, what
    // can be reached from there.
    void setView(View view);
    void stepDay(int days, const QString &outOfRange);
    void backToToday(bool asterisks);
    std::optional<QDate> typedDate();
    void setDateBoxes();
    void enableNavigation(bool on);
    QString titleLine() const;
    std::optional<QString> readSelectedEntry(QListWidgetItem *item);
    // Shows an entry's body read by readSelectedEntry.
    void showEntryBody(const QString &body);
    QString lovePath(const QString &name) const;
    // The list item the user selected: the current item only while it is highlighted.
    QListWidgetItem *selectedItem() const;
    // While the open edit holds changes, says so and returns true: the command must not run.
    bool refuseWhileChanged();
    // Called when an edit has been set up: what it shows now is its starting point.
    void editStarted();
    void onEdited();
    // The recovery draft of the open edit, as it stands.
    recovery::Draft currentDraft() const;
    // " 字数 N" of the open edit at the end of the status line.
    void showCount();
    void fillHomePage();
    // Reads the home page file into box and HomeText from it; the prompt when there is none.
    bool readHomePage(RichTextBox *box);
    void showEditorMessage(const QString &message);

    // Handlers.
    void onPrevious();
    void onNext();
    void onToday();
    void onGoTo();
    void onSeeDiary();
    void onListDoubleClick();
    void onListDelete();
    void onNew();
    void onReWrite();
    void onPaste();
    void onSave();
    void onCancel();
    void onEditHomePage();
    void onCheckPassword();
    void onOK();
    void onEncipherOld();
    void finishEncipherOld(const cipher::Conversion &c, const keep::Resealing &copies);
    // While work of its own runs in the background, the window takes no commands but "停止".
    void setWorking(bool working);
    void showWorkStep(int stage, int done, int total);
    void onStopWork();
    void placeWorkBar();
    void onNewCollectionItem();
    void onViewCollection();
    void saveCollectionItem();
    void onAbout();
    void onMessage();
    void onHelp();
    void onHidden();
    void onExit();

    const ProgramFolder &m_folder;
    Settings &m_settings;
    keep::Job &m_job;
    QString m_aboutNote;
    View m_view = View::Diary;
    std::unique_ptr<FOS> oFOS;
    DraftKeeper *m_draft = nullptr;

    RichTextBox *Titles = nullptr;
    QLabel *lb_tit = nullptr;
    QCheckBox *ck_pw = nullptr;
    RichTextBox *rt_pw = nullptr;
    QPushButton *bt_OK = nullptr;
    QPushButton *bt_love = nullptr;
    QPushButton *bt_about = nullptr;
    RichTextBox *mmw = nullptr;
    QGroupBox *Fms = nullptr;
    QPushButton *m_seeDiary = nullptr;
    QPushButton *m_viewlove = nullptr;
    QGroupBox *fmDate = nullptr;
    RichTextBox *tt_year = nullptr;
    RichTextBox *tt_month = nullptr;
    RichTextBox *tt_day = nullptr;
    QPushButton *bt_to = nullptr;
    QPushButton *btReWrite = nullptr;
    QGroupBox *fm_list = nullptr;
    QListWidget *PicList = nullptr;
    QPushButton *btBefore = nullptr;
    QPushButton *btAfter = nullptr;
    QPushButton *btReturn = nullptr;
    RichTextBox *says = nullptr;
    QPushButton *bt_v = nullptr;
    QPushButton *bt_save = nullptr;
    QPushButton *bt_cancel = nullptr;
    QPushButton *bt_hidden = nullptr;
    QPushButton *bt_exit = nullptr;
    QAction *m_new = nullptr;
    QAction *m_edit = nullptr;
    QAction *m_loveme = nullptr;
    QAction *m_help = nullptr;
    QMenu *m_tools = nullptr;
    QAction *m_encipherOld = nullptr;
    QWidget *m_workBar = nullptr; // progress and "停止" of the window's own background work
    QProgressBar *pb_work = nullptr;
    QPushButton *bt_stopWork = nullptr;
    bool m_stopAsked = false;
    int m_zoom = 100;

    bool m_homePending = false;  // the start's home page is still to be filled in
    bool m_editorWritten = false; // something wrote into the editor while it was pending
    QTimer *m_countTimer = nullptr;
    QString m_countText; // the count the status line ends with
    bool m_lockedShown = false; // the editor shows the words of a locked entry, opened
};
