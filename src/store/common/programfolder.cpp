#include "store/common/programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <random>

ProgramFolder::ProgramFolder(const QString &programDir) : dir(programDir) {
    while (dir.endsWith(QLatin1Char('/')) && dir.size() > 1)
        dir.chop(1);
}

namespace store {

bool staysInside(const QString &relative) {
    QString r = relative;
    r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = r.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::none_of(parts.begin(), parts.end(),
                        [](const QString &p) { return p == u"." || p == u".."; });
}

} // namespace store

QString ProgramFolder::path(const QString &relative) const {
    QString r = relative;
    r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString result = dir;
    const QStringList parts = r.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == u"." || part == u"..") continue;
        QString next = result + QLatin1Char('/') + part;
        if (!QFileInfo::exists(next)) {
            const QStringList names = QDir(result).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &name : names)
                if (name.compare(part, Qt::CaseInsensitive) == 0) {
                    next = result + QLatin1Char('/') + name;
                    break;
                }
        }
        result = next;
    }
    if (r.endsWith(QLatin1Char('/'))) result += QLatin1Char('/');
    return result;
}

qint64 ProgramFolder::random(qint64 bound) const {
    double r;
    if (randomSource) {
        r = randomSource();
    } else {
        std::mt19937_64 gen(quint64(now().toMSecsSinceEpoch()) ^ QRandomGenerator::system()->generate64());
        r = std::generate_canonical<double, 53>(gen);
    }
    // nearbyint rounds halves to even in the default rounding mode.
    return qint64(std::nearbyint(r * double(bound)));
}
