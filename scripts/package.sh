#!/usr/bin/env bash
# Builds the Debian package into build/package/: the program built to keep the diary in the user's
# data folder (QC_INSTALLED_LAYOUT), qingchuang-tool, the launcher and the icons. Then checks the
# package: its files, its launcher (desktop-file-validate) and its dependencies.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
build="$top/build/package-build"
out="$top/build/package"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQC_BENCH=OFF -DQC_INSTALLED_LAYOUT=ON \
      -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" --target qingchuang qingchuang-tool
mkdir -p "$out"
rm -f "$out"/*.deb
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/*.deb)

# The check.
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
dpkg-deb -x "$deb" "$check"
for f in usr/bin/qingchuang usr/bin/qingchuang-tool usr/share/applications/qingchuang.desktop \
         usr/share/icons/hicolor/scalable/apps/qingchuang.svg \
         usr/share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/qingchuang.png; do
    [ -f "$check/$f" ] || { echo "package.sh: $f is missing from the package" >&2; exit 1; }
done
desktop-file-validate "$check/usr/share/applications/qingchuang.desktop"
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
case "$depends" in *libqt6widgets6*) ;; *) echo "package.sh: no library dependencies found: $depends" >&2; exit 1;; esac
case "$depends" in *"fonts-wqy-microhei | fonts-noto-cjk"*) ;; *) echo "package.sh: no CJK font in Depends" >&2; exit 1;; esac
case "$depends" in *qt6-translations-l10n*) ;; *) echo "package.sh: no Qt catalogue (qt6-translations-l10n) in Depends" >&2; exit 1;; esac
[ "$recommends" = "fcitx5-frontend-qt6 | ibus" ] || { echo "package.sh: Recommends is '$recommends'" >&2; exit 1; }
# The installed program, run with an empty HOME, keeps its files in HOME's data folder and writes
# nothing beside itself.
home="$check/home"
mkdir -p "$home"
before=$(cd "$check/usr" && find . | sort)
env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen "$check/usr/bin/qingchuang" >/dev/null 2>&1 &
pid=$!
data="$home/.local/share/qingchuang"
for _ in $(seq 300); do
    [ -f "$data/Config.ini" ] && ls "$data"/Backup/diary-*.zip >/dev/null 2>&1 && break
    sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -f "$data/Config.ini" ] && [ -d "$data/DB" ] && ls "$data"/Backup/diary-*.zip >/dev/null 2>&1 ||
    { echo "package.sh: the installed program kept nothing in $data" >&2; exit 1; }
[ "$(cd "$check/usr" && find . | sort)" = "$before" ] ||
    { echo "package.sh: the installed program wrote beside itself" >&2; exit 1; }
echo "$deb"
