#pragma once

#include "store/common/storeresult.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QRect>
#include <QString>

// The main window as the user left it: its size, its place, whether it was maximised, and the
// zoom of its editor. Kept in a small file of the program's own in the program folder
// ("Window-HOST.ini", one per computer that shares the folder; Config.ini is the user's and
// never rewritten), for example:
//
//     [Window]
//     Left=120
//     Top=80
//     Width=1200
//     Height=800
//     Maximized=0
//     Zoom=150
//
// ASCII, CR LF. Reading takes what it understands and leaves the rest at its default: an
// unknown key, a bad number or a broken line changes nothing else.
namespace windowstate {

// The editor's zoom, in percent.
constexpr int kMinZoom = 50;
constexpr int kMaxZoom = 400;
constexpr int kNormalZoom = 100;

// A file larger than this is no state of ours and is not read.
constexpr qsizetype kMaxFileSize = 64 * 1024;

struct State {
    // The window's normal (not maximised) geometry; empty when not remembered. Its position
    // counts only when positioned is set.
    QRect geometry;
    bool positioned = false;
    bool maximized = false;
    int zoom = kNormalZoom;

    bool operator==(const State &) const = default;
};

QString fileName();

State parse(QByteArrayView data);
QByteArray serialize(const State &state);

// The state in the file at path; the defaults when it is missing, too large or unreadable.
State read(const QString &path);
// Replaces the file at path atomically: it holds the old state or the new one, never a part.
store::Result write(const QString &path, const State &state);

// The zoom steps levels up (positive) or down from percent, along 50, 67, 75, 80, 90, 100, 110,
// 125, 150, 175, 200, 250, 300, 400; a percent between two levels goes to the next one in the
// direction asked. Stays within 50 to 400.
int zoomStep(int percent, int steps);

} // namespace windowstate
