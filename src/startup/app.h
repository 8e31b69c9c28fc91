#pragma once

#include "platform/programfolder.h"
#include "startup/settings.h"

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
namespace find {
class Engine;
struct Hit;
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
    // Opens a hit of the search or of 那年今日 in the main window, which comes to the front.
    void openHit(const find::Hit &hit);

    // The notification-area icon.
    Tips *tips();
    // The icon's left (0x201) and right (0x204) presses; other events do nothing.
    void TrayWindowProc(int mouseEvent);
    // Puts the icon into the notification area when it is not there (load sequence and timer).
    bool ensureTrayIcon();

    // Ends the program: removes the icon and quits the event loop.
    void exit();

private:
    static void showWindow(QWidget *w);
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
};
