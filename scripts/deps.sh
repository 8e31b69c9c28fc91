#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test packages is missing. Run as root.
set -euo pipefail
# libasan8 and libubsan1 serve the sanitizer build (g++); clang, libclang-rt-14-dev and llvm (whose
# llvm-symbolizer names the lines of a fuzzer's report) serve the fuzz targets. strace kills the
# crash test's child at its rename. libarchive writes and reads the backups; dpkg-dev
# (dpkg-shlibdeps) and desktop-file-utils serve the package. qt6-translations-l10n holds Qt's
# Chinese catalogue, which the program loads. qt6-charts-dev draws the statistics' months; its
# CMake files need libqt6opengl6-dev, which the package does not pull in.
packages=(cmake ninja-build g++ libasan8 libubsan1 clang libclang-rt-14-dev llvm ccache pkg-config
          qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libbenchmark-dev libicu-dev
          libsodium-dev libarchive-dev zlib1g-dev dpkg-dev desktop-file-utils qt6-translations-l10n
          fonts-wqy-microhei xvfb xauth trayer x11-utils strace)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
