#include "startup/app.h"

#include "album/fmphoto.h"
#include "diary/exportwindow.h"
#include "diary/index.h"
#include "diary/restorewindow.h"
#include "keep/keepjob.h"
#include "netclient/connectme.h"
#include "netclient/login.h"
#include "netclient/newuser.h"
#include "netservice/fornull.h"
#include "startup/programicon.h"
#include "startup/tips.h"
#include "startup/trayicons.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QDir>
#include <QTimer>

App::App(const QString &programDir, Ports ports) : m_folder(programDir), m_ports(ports) {
    // Every window shows the program's icon.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) QGuiApplication::setWindowIcon(programIcon());
}

App::~App() {
    // Work in progress ends first; it reports to windows that are about to go.
    m_keepJob.reset();
    // Windows first, while the App they refer to is still whole.
    delete m_restore.data();
    delete m_export.data();
    delete m_photo.data();
    delete m_newUser.data();
    delete m_login.data();
    m_connectMe.reset();
    m_index.reset();
    m_forNull.reset();
    m_tips.reset();
}

Index *App::index() {
    if (!m_index) {
        m_index = std::make_unique<Index>(*this);
        QAction *restore = m_index->toolsMenu()->addAction(u"恢复备份…"_qs);
        restore->setObjectName(u"m_restore"_qs);
        connect(restore, &QAction::triggered, this, [this] { restoreWindow()->show(); });
        QAction *exporting = m_index->toolsMenu()->addAction(u"导出…"_qs);
        exporting->setObjectName(u"m_export"_qs);
        connect(exporting, &QAction::triggered, this, [this] { exportWindow()->show(); });
        // The load sequence runs once the window is reachable: the windows it loads use it.
        m_index->LoadSequence();
    }
    return m_index.get();
}

ForNull *App::forNull() {
    if (!m_forNull) {
        m_forNull = std::make_unique<ForNull>(*this);
        // Loaded once it is reachable, so that the windows its load touches can reach it.
        m_forNull->load();
    }
    return m_forNull.get();
}

ConnectMe *App::connectMe() {
    if (!m_connectMe) {
        m_connectMe = std::make_unique<ConnectMe>(*this);
        // Loaded once it is reachable: its load may load the hidden network window, which
        // reaches back for it.
        m_connectMe->load();
    }
    return m_connectMe.get();
}

Login *App::login() {
    if (!m_login) {
        m_login = new Login(*this);
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
        m_newUser = new NewUser(*this);
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
    if (!m_photo) m_photo = new fmPhoto(*this);
    return m_photo;
}

void App::closePhoto() {
    if (!m_photo) return;
    fmPhoto *w = m_photo;
    m_photo = nullptr;
    w->hide();
    w->deleteLater();
}

Tips *App::tips() {
    if (!m_tips) {
        m_tips = std::make_unique<Tips>();
        connect(m_tips.get(), &Tips::mouseEvent, this, &App::TrayWindowProc);
    }
    return m_tips.get();
}

bool App::ensureTrayIcon() {
    forNull(); // the icon belongs to the hidden window, which loads here
    if (tips()->present()) return false;
    const QPixmap picture = m_settings.IsServer ? trayicons::serverPicture() : trayicons::clientPicture();
    return tips()->AddTrayIcon(QIcon(picture));
}

void App::TrayWindowProc(int mouseEvent) {
    auto showMain = [this] {
        closeNewUser();
        closeLogin();
        closePhoto();
        if (m_connectMe) m_connectMe->hide();
        index()->show();
        index()->raise();
        index()->activateWindow();
        index()->focusEditor();
        m_settings.MainShown = true;
    };
    if (mouseEvent == Tips::LeftButtonDown) {
        showMain();
    } else if (mouseEvent == Tips::RightButtonDown) {
        if (m_settings.MainShown) {
            closeNewUser();
            closeLogin();
            closePhoto();
            if (m_connectMe) m_connectMe->hide();
            index()->hide();
            m_settings.MainShown = false;
        } else {
            showMain();
        }
    }
}

void App::exit() {
    if (m_tips) m_tips->RemoveTrayIcon();
    if (m_index) m_index->hide();
    QCoreApplication::exit(0);
}

keep::Job &App::keepJob() {
    if (!m_keepJob) m_keepJob = std::make_unique<keep::Job>();
    return *m_keepJob;
}

namespace {

QString backupFailedText(const keep::Result &r) {
    return r.code == keep::Result::Damaged ? u" 今天的自动备份读回时校验出错，没有保存；以前的备份都还在。"_qs
                                           : u" 今天的自动备份没有写成（磁盘已满或备份文件夹不能写入）；以前的备份都还在。"_qs;
}

} // namespace

void App::startDailyBackup() {
    const QString dir = programDir();
    const QDateTime time = now();
    keepJob().start([dir, time] { return keep::backupIfDue(dir, time); },
                    [this](const keep::Result &r) {
                        if (r.ok() || r.code == keep::Result::NotDue) return;
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
