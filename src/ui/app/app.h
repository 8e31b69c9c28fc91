#pragma once

#include "store/common/programfolder.h"
#include "store/settings/settings.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class Index;
class ForNull;
class ConnectMe;
class Login;
class NewUser;
class fmPhoto;
class Tips;
class QWidget;
class FindWindow;
class CalendarWindow;
class StatsWindow;
class RestoreWindow;
class ExportWindow;
namespace find {
class Engine;
struct Hit;
}
namespace keep {
class Job;
}

// The fixed ports of the three services; tests pass others.
struct Ports {
    quint16 message = 9983;
    quint16 registration = 9980;
    quint16 login = 2799;
};

// The one object that owns the program's state: the program directory, the settings, the clock
// and random numbers, and the windows, created on first use. Main creates it; tests create it
// over a temporary folder.
class App : public QObject {
    Q_OBJECT
public:
    explicit App(const QString &programDir, Ports ports = {});
    ~App() override;

    QString programDir() const { return m_folder.dir; }
    // programDir + "/" + relative, with "\" read as the separator (ProgramFolder::path).
    QString path(const QString &relative) const { return m_folder.path(relative); }
    // The folder with the clock and random source below: what the store's functions take.
    const ProgramFolder &folder() const { return m_folder; }
    Settings &settings() { return m_settings; }
    const Ports &ports() const { return m_ports; }

    // The clock; tests may set their own.
    QDateTime now() const { return m_folder.now(); }
    QDate today() const { return now().date(); }
    void setClock(std::function<QDateTime()> clock) { m_folder.clock = std::move(clock); }

    // A random whole number from 0 to bound: r in [0, 1) times bound, rounded to nearest with
    // halves to even, the generator seeded from the clock first. Tests may set the source of r.
    qint64 random(qint64 bound) const { return m_folder.random(bound); }
    void setRandomSource(std::function<double()> source) { m_folder.randomSource = std::move(source); }

    // Windows. Index, ForNull and ConnectMe live until the App ends once created; the others
    // can be closed (unloaded) and come back afresh on their next use.
    Index *index();
    // At the program's start: the main window, once created, paints before it fills in a large
    // home page, and before the window system is handed the icon's pictures (tests see the whole
    // load sequence at once).
    void paintBeforeHomePage();
    ForNull *forNull();
    bool forNullLoaded() const { return m_forNull != nullptr; }
    ConnectMe *connectMe();
    bool connectMeLoaded() const { return m_connectMe != nullptr; }
    Login *login();
    bool loginLoaded() const;
    void closeLogin();
    NewUser *newUser();
    bool newUserLoaded() const;
    void closeNewUser();
    fmPhoto *photo();
    bool photoLoaded() const;
    void closePhoto();

    // The search over the diary and its windows, reached from the menu "工具" of the main window.
    find::Engine *findEngine();
    FindWindow *findWindow();
    CalendarWindow *calendarWindow();
    // The statistics: a click on a day shows it in the main window, a click on a tag searches.
    StatsWindow *statsWindow();
    // Opens a hit of the search or of 那年今日 in the main window, which comes to the front.
    void openHit(const find::Hit &hit);

    // The notification-area icon.
    Tips *tips();
    // The icon's left (0x201) and right (0x204) presses; other events do nothing.
    void TrayWindowProc(int mouseEvent);
    // Whether the desktop has a notification area; tests of the icon's clicks may say it has.
    bool trayAvailable() const;
    void setTrayAvailable(std::function<bool()> available) { m_trayAvailable = std::move(available); }
    // Puts the icon into the notification area when it is not there (load sequence and timer).
    bool ensureTrayIcon();

    // Shows the main window, restores it when minimised and brings it to the front (the icon's
    // left press, a second start of the program).
    void raiseMainWindow();
    // A window of ours was left by a way that shows no other. Where the desktop has no
    // notification area, no icon could bring the diary back: the main window shows again once no
    // window of ours is visible.
    void windowLeft();

    // Ends the program: removes the icon and quits the event loop.
    void exit();

    // Backups, restore and export: one piece of such work at a time, off the UI thread.
    keep::Job &keepJob();
    // The start-of-day backup: at most one a calendar day; a failure shows in the main window's
    // status line and never stops the program.
    void startDailyBackup();
    // The windows of "恢复备份…" and "导出…" in the menu 工具.
    RestoreWindow *restoreWindow();
    ExportWindow *exportWindow();

    // A line the about view adds after the settings' text (the installed program says there
    // where the diary lives); empty for none.
    QString aboutNote() const { return m_aboutNote; }
    void setAboutNote(const QString &note);

private:
    static void showWindow(QWidget *w);
    // What the main window asks for reaches the windows and the program.
    void connectIndex(Index *w);
    // The main window, shown and brought to the front.
    Index *frontIndex();

    ProgramFolder m_folder;
    Ports m_ports;
    Settings m_settings;

    std::unique_ptr<Index> m_index;
    std::unique_ptr<ForNull> m_forNull;
    std::unique_ptr<ConnectMe> m_connectMe;
    QPointer<Login> m_login;
    QPointer<NewUser> m_newUser;
    QPointer<fmPhoto> m_photo;
    std::unique_ptr<Tips> m_tips;
    std::unique_ptr<find::Engine> m_findEngine;
    std::unique_ptr<FindWindow> m_findWindow;
    std::unique_ptr<CalendarWindow> m_calendarWindow;
    std::unique_ptr<StatsWindow> m_statsWindow;
    bool m_exiting = false;
    std::function<bool()> m_trayAvailable;
    bool m_paintBeforeHomePage = false;
    std::unique_ptr<keep::Job> m_keepJob;
    QPointer<RestoreWindow> m_restore;
    QPointer<ExportWindow> m_export;
    QString m_aboutNote;
};
