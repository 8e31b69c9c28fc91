#pragma once

#include <QDialog>

namespace keep {
class Job;
} // namespace keep
namespace store {
struct Result;
} // namespace store
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

// "导出…": the diary (or a range of its dates) and the collection as HTML, Markdown or text into
// a folder the user picks; the export runs on the job.
class ExportWindow : public QDialog {
    Q_OBJECT
public:
    ExportWindow(const QString &programDir, keep::Job &job, QWidget *parent = nullptr);

    // The words for an export's result.
    static QString resultText(const store::Result &result);

private:
    void onBrowse();
    void onExport();

    QString m_programDir;
    keep::Job &m_job;
    QComboBox *cb_format = nullptr;
    QLineEdit *tt_out = nullptr;
    QPushButton *bt_browse = nullptr;
    QCheckBox *ck_range = nullptr;
    QDateEdit *dt_from = nullptr;
    QDateEdit *dt_to = nullptr;
    QPushButton *bt_export = nullptr;
    QPushButton *bt_close = nullptr;
    QLabel *lb_state = nullptr;
};
