#!/usr/bin/env bash
# The store library has no window and no socket: no file under src/store includes anything of
# src/ui, of Qt Widgets or of Qt Network. Headers are looked up in Qt's own include folders, so
# <QWidget> is caught as surely as <QtWidgets/QWidget>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
qtinc=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
status=0
while IFS= read -r line; do
    file=${line%%:*}
    rest=${line#*:}
    lineno=${rest%%:*}
    inc=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"${rest#*:}")
    bad=""
    case "$inc" in
        ui/*) bad="the user interface" ;;
        QtWidgets*|QtNetwork*) bad="${inc%%/*}" ;;
        *)
            for module in QtWidgets QtNetwork; do
                [ -e "$qtinc/$module/$inc" ] && bad=$module
            done ;;
    esac
    if [ -n "$bad" ]; then
        echo "$file:$lineno: the store includes $inc ($bad)"
        status=1
    fi
done < <(cd "$top" && grep -rnE '^[[:space:]]*#[[:space:]]*include' src/store)
[ $status -eq 0 ] && echo "include check: the store includes nothing of widgets, the network or src/ui"
exit $status
