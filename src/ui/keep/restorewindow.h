#pragma once

#include <QDateTime>
#include <QDialog>

#include <functional>

namespace keep {
class Job;
} // namespace keep
namespace store {
struct Result;
} // namespace store
class QLabel;
class QListWidget;
class QPushButton;

// "恢复备份…": the backups of the program folder, newest first; restoring one runs on the job and
// first moves the current files aside. Modal, so that nothing is saved while files move.
class RestoreWindow : public QDialog {
    Q_OBJECT
public:
    RestoreWindow(const QString &programDir, keep::Job &job, std::function<QDateTime()> clock,
                  QWidget *parent = nullptr);

    // Lists the backups again.
    void refresh();

    // The words for a restore's result.
    static QString resultText(const store::Result &result);

signals:
    // A backup was restored; the old files are in asidePath.
    void restored(const QString &asidePath);

private:
    void onRestore();

    QString m_programDir;
    keep::Job &m_job;
    std::function<QDateTime()> m_clock;
    QListWidget *lst_backups = nullptr;
    QPushButton *bt_restore = nullptr;
    QPushButton *bt_close = nullptr;
    QLabel *lb_state = nullptr;
};
