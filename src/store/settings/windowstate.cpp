#include "store/common/localname.h"
#include "store/settings/windowstate.h"

#include "store/common/savefile.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <optional>

namespace windowstate {

namespace {

constexpr std::array kZoomLevels{50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400};

// Screens are not larger than this; anything beyond is a damaged file.
constexpr int kMaxCoordinate = 1 << 20;

std::optional<int> number(QByteArrayView text, int least, int most) {
    bool ok = false;
    const int n = QByteArray(text.trimmed().data(), text.trimmed().size()).toInt(&ok);
    if (!ok || n < least || n > most) return std::nullopt;
    return n;
}

} // namespace

QString fileName() { return localname::perHost(u"Window"_qs, u".ini"_qs); }

State parse(QByteArrayView data) {
    State state;
    std::optional<int> left, top, width, height;
    for (QByteArrayView line : QByteArray(data.data(), data.size()).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.first(eq).trimmed().toByteArray().toLower();
        const QByteArrayView value = line.sliced(eq + 1);
        if (key == "left") left = number(value, -kMaxCoordinate, kMaxCoordinate);
        else if (key == "top") top = number(value, -kMaxCoordinate, kMaxCoordinate);
        else if (key == "width") width = number(value, 1, kMaxCoordinate);
        else if (key == "height") height = number(value, 1, kMaxCoordinate);
        else if (key == "maximized") state.maximized = number(value, 0, 1).value_or(0) == 1;
        else if (key == "zoom") state.zoom = number(value, kMinZoom, kMaxZoom).value_or(kNormalZoom);
    }
    if (width && height) {
        state.positioned = left && top;
        state.geometry = QRect(state.positioned ? *left : 0, state.positioned ? *top : 0, *width, *height);
    }
    return state;
}

QByteArray serialize(const State &state) {
    QByteArray out = "[Window]\r\n";
    auto line = [&out](const char *key, int value) { out += key + ('=' + QByteArray::number(value)) + "\r\n"; };
    if (state.geometry.isValid()) {
        if (state.positioned) {
            line("Left", state.geometry.x());
            line("Top", state.geometry.y());
        }
        line("Width", state.geometry.width());
        line("Height", state.geometry.height());
    }
    line("Maximized", state.maximized ? 1 : 0);
    line("Zoom", state.zoom);
    return out;
}

State read(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileSize) return {};
    return parse(f.read(kMaxFileSize));
}

store::Result write(const QString &path, const State &state) {
    return store::saveFile(path, serialize(state));
}

int zoomStep(int percent, int steps) {
    int z = std::clamp(percent, kMinZoom, kMaxZoom);
    for (; steps > 0; --steps) {
        const auto next = std::upper_bound(kZoomLevels.begin(), kZoomLevels.end(), z);
        if (next == kZoomLevels.end()) break;
        z = *next;
    }
    for (; steps < 0; ++steps) {
        const auto below = std::lower_bound(kZoomLevels.begin(), kZoomLevels.end(), z);
        if (below == kZoomLevels.begin()) break;
        z = *(below - 1);
    }
    return z;
}

} // namespace windowstate
