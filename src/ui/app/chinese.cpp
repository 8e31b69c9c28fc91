#include "ui/app/chinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace chinese {

QString cataloguePath() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u"/qtbase_zh_CN.qm"_qs;
}

bool install() {
    // One translator for the life of the application, however often this is called.
    static QPointer<QTranslator> installed;
    const QLocale china(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(china);
    if (installed) return true;
    auto *app = QCoreApplication::instance();
    if (!app) return false;
    auto *translator = new QTranslator(app);
    if (!translator->load(cataloguePath())) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

} // namespace chinese
