#include "ui/app/app.h"
#include "ui/diary/syncwatcher.h"

#include "ui/album/fmphoto.h"
#include "ui/diary/calendarwindow.h"
#include "ui/keep/exportwindow.h"
#include "ui/find/findwindow.h"
#include "ui/diary/index.h"
#include "ui/keep/restorewindow.h"
#include "ui/stats/statswindow.h"
#include "store/find/engine.h"
#include "store/keep/backup.h"
#include "store/keep/keepjob.h"
#include "ui/netwindows/connectme.h"
#include "ui/netwindows/login.h"
#include "ui/netwindows/newuser.h"
#include "ui/netwindows/fornull.h"
#include "ui/netwindows/netwindowtext.h"
#include "ui/net/netservice.h"
#include "ui/widgets/richtextbox.h"
#include "ui/app/programicon.h"
#include "ui/app/tips.h"
#include "ui/app/windowkeeper.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QSystemTrayIcon>

App::App(const QString &programDir, Ports ports) : m_folder(programDir), m_ports(ports) {
    // A restore that a killed copy left half done is finished or rolled back before anything
    // reads or creates the diary's files.
    const keep::Recovery recovery = keep::recoverRestore(programDir);
    if (recovery.what != keep::Recovery::Nothing)
        qWarning("an unfinished restore was %s: %s",
                 recovery.what == keep::Recovery::Finished     ? "finished"
                 : recovery.what == keep::Recovery::RolledBack ? "rolled back"
                                                               : "left as it was",
                 qPrintable(recovery.detail));
    // Every window shows the program's icon.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) QGuiApplication::setWindowIcon(programIcon());
}

App::~App() {
    // Nothing the network does reaches the windows that are about to go.
    if (m_net) m_net->disconnect(this);
    // Work in progress ends first; it reports to windows that are about to go. Work that reports
    // its steps (enciphering old entries) stops after the date file it is writing.
    m_keepJob.reset();
    // Windows first, while the App they refer to is still whole.
    delete m_restore.data();
    delete m_export.data();
    delete m_photo.data();
    delete m_newUser.data();
    delete m_login.data();
    m_findWindow.reset();
    m_calendarWindow.reset();
    m_statsWindow.reset();
    m_connectMe.reset();
    m_index.reset();
    m_forNull.reset();
    m_net.reset();
    m_tips.reset();
}

void App::paintBeforeHomePage() {
    m_paintBeforeHomePage = true;
    // A window system reads every picture of the icon when it makes a window: the icon comes
    // once the main window has painted.
    QGuiApplication::setWindowIcon(QIcon());
}

Index *App::index() {
    if (!m_index) {
        m_index = std::make_unique<Index>(m_folder, m_settings, keepJob());
        m_index->setAboutNote(m_aboutNote);
        if (m_paintBeforeHomePage) {
            // After the first paint, or after a second for a window that is not painted (one the
            // desktop starts minimised).
            auto showIcon = [] {
                if (QGuiApplication::windowIcon().isNull()) QGuiApplication::setWindowIcon(programIcon());
            };
            connect(m_index.get(), &Index::firstPainted, this, showIcon);
            QTimer::singleShot(1000, this, showIcon);
        }
        // The window comes back as it was left: size, place, maximised, zoom.
        auto *keeper = new WindowKeeper(m_index.get(), path(windowstate::fileName()));
        keeper->restore();
        m_index->setZoom(keeper->zoom());
        connect(m_index.get(), &Index::zoomChanged, keeper, &WindowKeeper::setZoom);
        connectIndex(m_index.get());
        // The load sequence runs once the window is reachable: the windows it loads use it.
        m_index->LoadSequence(m_paintBeforeHomePage);
        m_index->reopenDraft();
        // Another computer's versions, left as conflict copies by a sync tool, are merged now
        // and whenever they arrive.
        Index *w = m_index.get();
        auto *sync = new SyncWatcher(m_folder, m_settings, [w] { return w->busyFiles(); }, w);
        connect(sync, &SyncWatcher::merged, w, &Index::showStatus);
        connect(sync, &SyncWatcher::diskChanged, w, &Index::diskChanged);
        // Copies of what the edit writes waited for it.
        connect(w, &Index::editEnded, sync, &SyncWatcher::settle);
        sync->scan();
    }
    return m_index.get();
}

void App::connectIndex(Index *w) {
    connect(w, &Index::loaded, this, [this] {
        // The icon belongs to the hidden network window, which loads here.
        ensureTrayIcon();
        closeLogin();
        closeNewUser();
        connectMe()->hide();
        setMainShown(true);
    });
    connect(w, &Index::albumRequested, this, [this] { photo()->show(); });
    connect(w, &Index::messageRequested, this, [this] {
        if (m_settings.IsServer || net().loginPassed()) connectMe()->show();
        else login()->show();
    });
    connect(w, &Index::hideRequested, this, [this, w] {
        // Without a notification area no icon could bring the window back: it is minimised.
        if (trayAvailable()) w->hide();
        else w->showMinimized();
    });
    connect(w, &Index::exitRequested, this, &App::exit);
    connect(w, &Index::findRequested, this, [this] { showWindow(findWindow()); });
    connect(w, &Index::calendarRequested, this, [this] { showWindow(calendarWindow()); });
    connect(w, &Index::statsRequested, this, [this] { showWindow(statsWindow()); });
    connect(w, &Index::restoreRequested, this, [this] { restoreWindow()->show(); });
    connect(w, &Index::exportRequested, this, [this] { exportWindow()->show(); });
}

NetService &App::net() {
    if (m_net) return *m_net;
    m_net = std::make_unique<NetService>(m_folder, m_settings, m_ports);
    NetService *net = m_net.get();
    connect(net, &NetService::ticked, this, [this](const QTime &time) {
        index()->setWindowTitle(u" "_qs + time.toString(u"H:mm:ss"_qs));
        ensureTrayIcon();
    });
    connect(net, &NetService::serverStarted, this, [this] {
        index()->editor()->setText(u"\r\n  服务器已运行"_qs);
        connectMe()->enterServerMode();
    });
    connect(net, &NetService::messageNotServed, this, [this](const store::Result &loaded) {
        connectMe()->appendToContent(netwindow::messageNotServedText(loaded));
    });
    connect(net, &NetService::reportAdded, this,
            [this](const QString &text) { connectMe()->appendToContent(text); });
    connect(net, &NetService::connectionLogged, this,
            [this](const QString &entry) { connectMe()->logConnection(entry); });
    connect(net, &NetService::replyReceived, this, [this](const QString &piece, bool continued) {
        connectMe()->showReceived(piece, continued);
    });
    // Any reply on the shared client socket ends a registration; the message shows unless it
    // is the one fetched quietly at start.
    connect(net, &NetService::replyArrived, this, [this](bool showWindow) {
        closeNewUser();
        if (showWindow) connectMe()->show();
    });
    connect(net, &NetService::loginAccepted, this, [this] {
        closeLogin();
        connectMe()->show();
    });
    // Started once reachable: in server mode its start shows in the windows, which use it.
    net->start();
    return *net;
}

ForNull *App::forNull() {
    NetService &service = net();
    if (!m_forNull) m_forNull = std::make_unique<ForNull>(service, m_settings);
    return m_forNull.get();
}

ConnectMe *App::connectMe() {
    if (m_connectMe) return m_connectMe.get();
    // The service's start may itself have needed the window (server mode).
    NetService &service = net();
    if (!m_connectMe) {
        m_connectMe = std::make_unique<ConnectMe>(service, m_settings, m_folder);
        connect(m_connectMe.get(), &ConnectMe::backRequested, this, [this] {
            backToIndex();
            index()->focusEditor();
        });
        connect(m_connectMe.get(), &ConnectMe::registrationRequested, this,
                [this] { newUser()->show(); });
        connect(m_connectMe.get(), &ConnectMe::closed, this, &App::windowLeft);
        m_connectMe->load();
    }
    return m_connectMe.get();
}

void App::backToIndex() {
    Index *w = index();
    w->show();
    w->activateWindow();
}

Login *App::login() {
    if (!m_login) {
        m_login = new Login(net(), m_settings);
        connect(m_login, &Login::registrationRequested, this, [this] {
            closeLogin();
            newUser()->show();
        });
        connect(m_login, &Login::backRequested, this, [this] {
            closeLogin();
            backToIndex();
        });
        connect(m_login, &Login::closed, this, &App::windowLeft);
        m_login->load();
    }
    return m_login;
}

bool App::loginLoaded() const { return !m_login.isNull(); }
bool App::newUserLoaded() const { return !m_newUser.isNull(); }
bool App::photoLoaded() const { return !m_photo.isNull(); }

void App::closeLogin() {
    if (!m_login) return;
    Login *w = m_login;
    m_login = nullptr;
    w->autoConnect()->stop();
    w->hide();
    w->deleteLater();
}

NewUser *App::newUser() {
    if (!m_newUser) {
        m_newUser = new NewUser(net(), m_settings);
        connect(m_newUser, &NewUser::backRequested, this, [this] {
            closeNewUser();
            backToIndex();
        });
        connect(m_newUser, &NewUser::closed, this, &App::windowLeft);
        m_newUser->load();
    }
    return m_newUser;
}

void App::closeNewUser() {
    if (!m_newUser) return;
    NewUser *w = m_newUser;
    m_newUser = nullptr;
    w->autoConnect()->stop();
    w->hide();
    w->deleteLater();
}

fmPhoto *App::photo() {
    if (!m_photo) {
        m_photo = new fmPhoto(m_folder, settings());
        connect(m_photo, &fmPhoto::hideRequested, this, [this] {
            closePhoto();
            windowLeft();
        });
        connect(m_photo, &fmPhoto::backRequested, this, [this] {
            closePhoto();
            index()->show();
        });
    }
    return m_photo;
}

void App::closePhoto() {
    if (!m_photo) return;
    fmPhoto *w = m_photo;
    m_photo = nullptr;
    w->hide();
    w->deleteLater();
}

find::Engine *App::findEngine() {
    if (!m_findEngine) m_findEngine = std::make_unique<find::Engine>(programDir());
    return m_findEngine.get();
}

FindWindow *App::findWindow() {
    if (!m_findWindow)
        m_findWindow = std::make_unique<FindWindow>(*findEngine(), [this](const find::Hit &hit) { openHit(hit); });
    return m_findWindow.get();
}

CalendarWindow *App::calendarWindow() {
    if (!m_calendarWindow)
        m_calendarWindow = std::make_unique<CalendarWindow>(
            *findEngine(), [this] { return today(); },
            [this](const QDate &date) { frontIndex()->showDay(date); },
            [this](const find::Hit &hit) { openHit(hit); });
    return m_calendarWindow.get();
}

StatsWindow *App::statsWindow() {
    if (!m_statsWindow)
        m_statsWindow = std::make_unique<StatsWindow>(
            *findEngine(), [this] { return today(); },
            [this](const QDate &date) { return frontIndex()->showDay(date); },
            [this](const QString &tag) {
                FindWindow *w = findWindow();
                showWindow(w);
                w->findWords(tag);
            });
    return m_statsWindow.get();
}

void App::openHit(const find::Hit &hit) {
    if (hit.collection()) frontIndex()->openCollectionItem(hit.title);
    else frontIndex()->openEntry(hit.date, hit.index);
}

Index *App::frontIndex() {
    showWindow(index());
    m_mainShown = true;
    return index();
}

void App::showWindow(QWidget *w) {
    w->show();
    w->raise();
    w->activateWindow();
}

Tips *App::tips() {
    if (!m_tips) {
        m_tips = std::make_unique<Tips>();
        connect(m_tips.get(), &Tips::mouseEvent, this, &App::TrayWindowProc);
    }
    return m_tips.get();
}

bool App::ensureTrayIcon() {
    // The icon is the hidden window's picture; making that window starts the network service.
    ForNull *hidden = forNull();
    if (tips()->present()) return false;
    return tips()->AddTrayIcon(hidden->trayIcon());
}

void App::TrayWindowProc(int mouseEvent) {
    auto showMain = [this] {
        closeNewUser();
        closeLogin();
        closePhoto();
        if (m_connectMe) m_connectMe->hide();
        raiseMainWindow();
        index()->focusEditor();
        m_mainShown = true;
    };
    if (mouseEvent == Tips::LeftButtonDown) {
        showMain();
    } else if (mouseEvent == Tips::RightButtonDown) {
        if (m_mainShown) {
            closeNewUser();
            closeLogin();
            closePhoto();
            if (m_connectMe) m_connectMe->hide();
            index()->hide();
            m_mainShown = false;
        } else {
            showMain();
        }
    }
}

bool App::trayAvailable() const {
    return m_trayAvailable ? m_trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void App::raiseMainWindow() {
    Index *w = index();
    if (w->isMinimized()) w->showNormal();
    else w->show();
    w->raise();
    w->activateWindow();
}

void App::windowLeft() {
    // Queued: the window that is being left may still count as visible here.
    QTimer::singleShot(0, this, [this] {
        if (m_exiting || trayAvailable()) return;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *w : windows)
            if (w->isVisible() && (w == m_index.get() || w == m_connectMe.get() || w == m_login.data() ||
                                   w == m_newUser.data() || w == m_photo.data()))
                return;
        raiseMainWindow();
    });
}

void App::exit() {
    m_exiting = true;
    if (m_tips) m_tips->RemoveTrayIcon();
    if (m_index) m_index->hide();
    QCoreApplication::exit(0);
}

keep::Job &App::keepJob() {
    if (!m_keepJob) m_keepJob = std::make_unique<keep::Job>();
    return *m_keepJob;
}

namespace {

QString backupFailedText(const store::Result &r) {
    return r.code == store::Code::Damaged ? u" 今天的自动备份读回时校验出错，没有保存；以前的备份都还在。"_qs
                                           : u" 今天的自动备份没有写成（磁盘已满或备份文件夹不能写入）；以前的备份都还在。"_qs;
}

} // namespace

void App::startDailyBackup() {
    const QString dir = programDir();
    const QDateTime time = now();
    keepJob().start([dir, time] { return keep::backupIfDue(dir, time); },
                    [this](const store::Result &r) {
                        if (r.ok() || r.code == store::Code::NotDue) return;
                        qWarning("backup failed: %s", qPrintable(r.detail));
                        index()->showStatus(backupFailedText(r));
                    });
}

RestoreWindow *App::restoreWindow() {
    if (!m_restore) {
        m_restore = new RestoreWindow(programDir(), keepJob(), [this] { return now(); }, index());
        m_restore->setWindowFlag(Qt::Window);
        // The restored files are read afresh, as at start.
        connect(m_restore, &RestoreWindow::restored, this, [this] {
            index()->LoadSequence();
            index()->showStatus(u" 备份已恢复。"_qs);
        });
    }
    m_restore->refresh();
    return m_restore;
}

ExportWindow *App::exportWindow() {
    if (!m_export) {
        m_export = new ExportWindow(programDir(), keepJob(), index());
        m_export->setWindowFlag(Qt::Window);
    }
    return m_export;
}

void App::setAboutNote(const QString &note) {
    m_aboutNote = note;
    if (m_index) m_index->setAboutNote(note);
}
