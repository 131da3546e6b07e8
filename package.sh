#!/usr/bin/env bash
# Builds the release as the Debian package installs it (files in the user's folders, see
# README) into build-package/ and writes dist/zyrtool_<version>_<arch>.deb with CPack.
# Then checks the menu entry and runs lintian on the package.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh package
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
BUILD_DIR="${ZYR_PACKAGE_BUILD_DIR:-build-package}"

# Debian's hardening flags (fortify, stack protector, relro, bindnow, PIE).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"

cmake -S . -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
    -DZYR_TESTS=OFF -DZYR_PACKAGE=ON -DZYR_INSTALLED_LAYOUT=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
desktop-file-validate packaging/zyrtool.desktop
rm -f dist/zyrtool_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb="$(ls dist/zyrtool_*.deb)"
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends
# lintian fails the build on an error; warnings are listed.
lintian --fail-on error --info "$deb" || { echo "lintian found errors in $deb" >&2; exit 1; }
