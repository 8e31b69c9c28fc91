#include "ui/keep/restorewindow.h"

#include "store/keep/backup.h"
#include "store/keep/keepjob.h"
#include "ui/widgets/ui.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

RestoreWindow::RestoreWindow(const QString &programDir, keep::Job &job,
                             std::function<QDateTime()> clock, QWidget *parent)
    : QDialog(parent), m_programDir(programDir), m_job(job), m_clock(std::move(clock)) {
    setWindowTitle(u"恢复备份"_qs);
    setWindowModality(Qt::ApplicationModal);
    auto *layout = new QVBoxLayout(this);
    auto *hint =
        new QLabel(u"选择一个备份。恢复前，现在的文件会移到 Backup 文件夹里，不会删除。"_qs, this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    lst_backups = new QListWidget(this);
    lst_backups->setObjectName(u"lst_backups"_qs);
    lst_backups->setAccessibleName(u"备份"_qs);
    layout->addWidget(lst_backups);
    const ui::DialogFoot foot = ui::dialogFoot(this, layout, "bt_restore", u"恢复"_qs);
    lb_state = foot.state;
    bt_restore = foot.action;
    bt_close = foot.close;
    resize(420, 320);

    connect(bt_restore, &QPushButton::clicked, this, &RestoreWindow::onRestore);
    connect(bt_close, &QPushButton::clicked, this, &QDialog::close);
    connect(lst_backups, &QListWidget::itemDoubleClicked, this, &RestoreWindow::onRestore);
    connect(lst_backups, &QListWidget::currentRowChanged, this,
            [this](int row) { bt_restore->setEnabled(row >= 0 && !m_job.isRunning()); });
    refresh();
}

void RestoreWindow::refresh() {
    lst_backups->clear();
    for (const keep::BackupFile &b : keep::listBackups(m_programDir)) {
        auto *item = new QListWidgetItem(b.time.toString(u"yyyy-MM-dd HH:mm:ss"_qs), lst_backups);
        item->setData(Qt::UserRole, b.path);
    }
    bt_restore->setEnabled(false);
    if (lst_backups->count() == 0) lb_state->setText(u"还没有备份。"_qs);
}

QString RestoreWindow::resultText(const store::Result &result) {
    switch (result.code) {
    case store::Code::Ok:
        return u"已恢复。原来的文件在："_qs + QDir::toNativeSeparators(result.path);
    case store::Code::Damaged:
        return u"这个备份已损坏，日记没有改动。"_qs;
    case store::Code::BadInput:
        return u"找不到这个备份。"_qs;
    default:
        return u"恢复没有完成，日记没有改动："_qs + result.detail;
    }
}

void RestoreWindow::onRestore() {
    QListWidgetItem *item = lst_backups->currentItem();
    if (!item) return;
    const QString archive = item->data(Qt::UserRole).toString();
    const QString programDir = m_programDir;
    const QDateTime now = m_clock();
    const bool started = m_job.start(
        [programDir, archive, now] { return keep::restoreBackup(programDir, archive, now); },
        [this, alive = QPointer(this)](const store::Result &r) {
            if (!alive) return;
            bt_close->setEnabled(true);
            refresh();
            if (!r.ok())
                qWarning("restore failed: %s %s", store::codeName(r.code), qPrintable(r.detail));
            lb_state->setText(resultText(r));
            if (r.ok()) emit restored(r.path);
        });
    if (!started) {
        lb_state->setText(u"备份或导出正在进行，请稍后再试。"_qs);
        return;
    }
    bt_restore->setEnabled(false);
    bt_close->setEnabled(false);
    lb_state->setText(u"正在恢复……"_qs);
}
