#!/usr/bin/env bash
# Builds the Debian package (./package.sh), unpacks it with dpkg-deb -x into a temporary folder
# and runs the unpacked tool as an installed one: --version, then a 3-second --demo (offscreen)
# with HOME in a temporary folder and the record window open. Checks that the settings file and
# the record database were written under that home, and that nothing was written into the
# unpacked tree. Builds a tree of its own (build-package/), so the test command does not run it.
set -euo pipefail
cd "$(dirname "$0")/.."
./package.sh
deb="$(ls dist/zyrtool_*.deb)"
version="$(dpkg-deb --field "$deb" Version)"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
home="$tmp/home"
mkdir -p "$root" "$home"
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . | sort) >"$tmp/before"

fail() { echo "check-package: FAILED: $*" >&2; exit 1; }

shown="$("$root/usr/bin/zyrtool" --version)"
[ "$shown" = "zyrtool $version" ] || fail "--version says \"$shown\", the package is $version"
echo "--version: $shown"

# The user's folders follow HOME alone here.
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
    timeout 60 "$root/usr/bin/zyrtool" --demo --window frmUpsRec --quit-after 3 \
    || fail "the unpacked zyrtool --demo ended with status $?"

settings="$home/.config/zyrtool/UserParaIni.ini"
records="$home/.local/share/zyrtool/data/record.mdb"
[ -s "$settings" ] || fail "no settings file at $settings"
grep -q '^ComName=' "$settings" || fail "$settings holds no [LocalPara] keys"
[ -s "$records" ] || fail "no record database at $records"
echo "settings file: ${settings#"$tmp"/}"
echo "record database: ${records#"$tmp"/}"

(cd "$root" && find . | sort) >"$tmp/after"
if ! diff -u "$tmp/before" "$tmp/after"; then
    fail "the run wrote into the unpacked tree"
fi
[ -z "$(find "$root" -name UserParaIni.ini)" ] || fail "a settings file in the unpacked tree"
echo "check-package: OK ($deb, $(du -k "$deb" | cut -f1) KiB)"
