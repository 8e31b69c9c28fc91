#include "ui/keep/exportwindow.h"

#include "store/keep/export.h"
#include "store/keep/keepjob.h"
#include "ui/widgets/ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

ExportWindow::ExportWindow(const QString &programDir, keep::Job &job, QWidget *parent)
    : QDialog(parent), m_programDir(programDir), m_job(job) {
    setWindowTitle(u"导出"_qs);
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    cb_format = new QComboBox(this);
    cb_format->setObjectName(u"cb_format"_qs);
    cb_format->addItem(u"网页（HTML）"_qs, int(keep::Format::Html));
    cb_format->addItem(u"Markdown"_qs, int(keep::Format::Markdown));
    cb_format->addItem(u"纯文本"_qs, int(keep::Format::Text));
    form->addRow(u"格式："_qs, cb_format);

    auto *outRow = new QHBoxLayout;
    tt_out = new QLineEdit(this);
    tt_out->setObjectName(u"tt_out"_qs);
    tt_out->setText(QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + u"/晴窗导出"_qs));
    bt_browse = new QPushButton(u"浏览…"_qs, this);
    bt_browse->setObjectName(u"bt_browse"_qs);
    outRow->addWidget(tt_out);
    outRow->addWidget(bt_browse);
    form->addRow(u"导出到："_qs, outRow);

    ck_range = new QCheckBox(u"只导出这些日期："_qs, this);
    ck_range->setObjectName(u"ck_range"_qs);
    auto *rangeRow = new QHBoxLayout;
    dt_from = new QDateEdit(QDate::currentDate().addYears(-1), this);
    dt_from->setObjectName(u"dt_from"_qs);
    dt_to = new QDateEdit(QDate::currentDate(), this);
    dt_to->setObjectName(u"dt_to"_qs);
    for (QDateEdit *d : {dt_from, dt_to}) {
        d->setDisplayFormat(u"yyyy-MM-dd"_qs);
        d->setCalendarPopup(true);
        d->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
        d->setEnabled(false);
    }
    cb_format->setAccessibleName(u"格式"_qs);
    tt_out->setAccessibleName(u"导出到"_qs);
    dt_from->setAccessibleName(u"开始日期"_qs);
    dt_to->setAccessibleName(u"结束日期"_qs);
    rangeRow->addWidget(dt_from);
    rangeRow->addWidget(new QLabel(u"至"_qs, this));
    rangeRow->addWidget(dt_to);
    form->addRow(ck_range, rangeRow);
    layout->addLayout(form);

    const ui::DialogFoot foot = ui::dialogFoot(this, layout, "bt_export", u"导出"_qs);
    lb_state = foot.state;
    bt_export = foot.action;
    bt_close = foot.close;

    connect(ck_range, &QCheckBox::toggled, dt_from, &QWidget::setEnabled);
    connect(ck_range, &QCheckBox::toggled, dt_to, &QWidget::setEnabled);
    connect(bt_browse, &QPushButton::clicked, this, &ExportWindow::onBrowse);
    connect(bt_export, &QPushButton::clicked, this, &ExportWindow::onExport);
    connect(bt_close, &QPushButton::clicked, this, &QDialog::close);
}

QString ExportWindow::resultText(const store::Result &result) {
    switch (result.code) {
    case store::Code::Ok:
        return u"已导出到："_qs + QDir::toNativeSeparators(result.path);
    case store::Code::BadInput:
        return u"不能导出到日记自己的文件夹里，请另选一个文件夹。"_qs;
    case store::Code::NotEmpty:
        return u"这个文件夹里有别的文件，请选一个空文件夹或以前导出过的文件夹。"_qs;
    default:
        return u"导出没有完成："_qs + result.detail;
    }
}

void ExportWindow::onBrowse() {
    QFileDialog dialog(this, u"导出到"_qs, tt_out->text());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Names only: the detail view's type and date columns speak the system's language, not the
    // program's.
    dialog.setViewMode(QFileDialog::List);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    tt_out->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

void ExportWindow::onExport() {
    keep::ExportOptions options;
    options.format = keep::Format(cb_format->currentData().toInt());
    options.outDir = QDir::fromNativeSeparators(tt_out->text().trimmed());
    if (ck_range->isChecked()) {
        options.from = dt_from->date();
        options.to = dt_to->date();
    }
    if (options.outDir.isEmpty()) {
        lb_state->setText(u"请选择导出到哪个文件夹。"_qs);
        return;
    }
    const QString programDir = m_programDir;
    const bool started =
        m_job.start([programDir, options] { return keep::exportDiary(programDir, options); },
                    [this, alive = QPointer(this)](const store::Result &r) {
                        if (!alive) return;
                        bt_export->setEnabled(true);
                        if (!r.ok())
                            qWarning("export failed: %s %s", store::codeName(r.code),
                                     qPrintable(r.detail));
                        lb_state->setText(resultText(r));
                    });
    if (!started) {
        lb_state->setText(u"备份或导出正在进行，请稍后再试。"_qs);
        return;
    }
    bt_export->setEnabled(false);
    lb_state->setText(u"正在导出……"_qs);
}
