#!/usr/bin/env bash
# The headless commands built on cli/ alone load no widget, GUI or printing library, and run:
# version, help, and a snapshot from a port that cannot open (status 1, the port named).
set -uo pipefail
program=$1
status=0
if libs=$(ldd "$program" 2>/dev/null) && grep -E 'libQt6(Widgets|Gui|PrintSupport|Charts)' <<<"$libs"; then
  echo "FAIL: $program loads a window library"; status=1
fi
out=$("$program" --version) || { echo "FAIL: --version"; status=1; }
grep -q '^zyrtool ' <<<"$out" || { echo "FAIL: --version printed: $out"; status=1; }
help=$("$program" --help) && grep -q -- "--snapshot" <<<"$help" || { echo "FAIL: --help lists no --snapshot"; status=1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
err=$(QT_QPA_PLATFORM=xcb DISPLAY= "$program" --port "$dir/no-such-tty" --snapshot "$dir/s.json" 2>&1 >/dev/null)
code=$?
[ $code -eq 1 ] || { echo "FAIL: a port that cannot open ended with status $code: $err"; status=1; }
grep -qF "$dir/no-such-tty" <<<"$err" || { echo "FAIL: the port is not named: $err"; status=1; }
[ ! -e "$dir/s.json" ] || { echo "FAIL: a snapshot was written without a cabinet"; status=1; }
[ $status -eq 0 ] && echo "the commands run on cli/ alone"
exit $status
