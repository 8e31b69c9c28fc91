#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// The program folder, and the clock and random numbers that the store draws from. Model code takes
// one of these instead of the application object; tests make one over a temporary folder with a
// fixed clock or random source.
// Whether relative names something inside the program folder as it is written: no "." or ".."
// part ("\\" read as "/"). Names read from the settings file must be such names.
namespace store {
bool staysInside(const QString &relative);
} // namespace store

struct ProgramFolder {
    QString dir; // no trailing separator
    std::function<QDateTime()> clock;  // unset: the system clock
    std::function<double()> randomSource; // unset: r in [0, 1) from a generator seeded by the clock

    ProgramFolder() = default;
    explicit ProgramFolder(const QString &programDir);

    // dir + "/" + relative, with "\" read as the separator. Names are matched without regard to
    // case: each part that does not exist as written takes the name of an existing entry that
    // differs only in case ("\userinfo\1.usr" finds "UserInfo/1.usr").
    // "." and ".." parts are left out: nothing named this way lies outside dir.
    QString path(const QString &relative) const;

    QDateTime now() const { return clock ? clock() : QDateTime::currentDateTime(); }

    // A random whole number from 0 to bound: r in [0, 1) times bound, rounded to nearest with
    // halves to even.
    qint64 random(qint64 bound) const;
};
