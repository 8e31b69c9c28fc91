#pragma once

#include "store/common/programfolder.h"
#include "store/conflict/conflictname.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Merging the conflict copies a sync tool leaves beside the diary's files. Two computers that
// merge the same two versions write the same bytes, so that a merge never becomes a new conflict.
// Nothing is deleted: every copy ends in Backup/conflicts/ once what it holds is kept.
namespace conflict {

// Two versions of a date file as one. The base is the version with fewer entries (of two with as
// many, the one whose bytes sort first); it stays as it is, and every entry of the other that the
// base does not hold byte for byte follows, in the other's order. An entry edited on both
// computers is kept twice, and a sealed entry is compared as its bytes. ok is false when either
// version is damaged; nothing is merged then. The merged file is base followed by tail; base
// points into the bytes passed in, which must outlive it.
struct DateMerge {
    QByteArrayView base;
    QByteArray tail; // what follows the base: empty when the base holds every entry already
    int added = 0;   // entries the first version gains
    bool ok = true;
    bool secondDamaged = false; // with ok false: the second version cannot be read as entries

    QByteArray bytes() const { return base.toByteArray() + tail; }
};
DateMerge mergeDateFiles(QByteArrayView first, QByteArrayView second);

// The title under which a copy of title is kept beside it: "title（冲突副本 2026-12-10）".
QString copyTitle(const QString &title, const QDate &date);

enum class Outcome {
    Merged,       // a date file took the entries of its copy
    KeptAsItem,   // a collection item's copy (or the older home page) is a new collection item
    HomeReplaced, // the copy of the home page was newer: it is the home page now
    MovedAside,   // nothing to merge (the same bytes, or a file that stays as it is)
    Damaged,      // the copy cannot be read as what it should be; moved aside, nothing merged
    Failed,       // reading or writing failed; the copy stays where it is for the next time
};

struct Step {
    Outcome outcome = Outcome::MovedAside;
    QString copy;   // the copy's path relative to the program folder, where it was found
    QString target; // the file it was merged into, or the new collection item
    int added = 0;  // for Merged: entries the date file gained
    QString detail; // for Failed: why
};

struct Report {
    QList<Step> steps;
    QStringList changed; // absolute paths of the diary's files written anew
    bool empty() const { return steps.isEmpty(); }
};

// Finds the conflict copies of the files the program keeps (date files in DB/, the collection in
// Love/, the home page homePage relative to the program folder, Config.ini, Message.txt and the
// files of UserInfo/) and merges each. A copy whose original file is missing is no copy of ours
// and stays. Copies of the files in busy (absolute paths: an edit is open on them) wait.
Report mergeAll(const ProgramFolder &folder, const QString &homePage,
                const QSet<QString> &busy = {});


// Where a copy is moved once merged: Backup/conflicts/ and the copy's path in the program folder.
QString asidePath(const ProgramFolder &folder, const QString &relativeCopy);

} // namespace conflict
