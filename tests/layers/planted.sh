#!/usr/bin/env bash
# Copies the real src/ and tools/, plants one wrong include in a real file of each window-free
# room, and checks that the layer check fails on the copy and names exactly those plantings,
# while it passes on the copy as it was.
set -euo pipefail
check=$1 source=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cp -r "$source/src" "$source/tools" "$tree"/
"$check" "$tree" >/dev/null || { echo "FAIL: the check refuses the unchanged copy"; "$check" "$tree"; exit 1; }

plant() { # file include
  printf '%s\n' "$2" >>"$tree/$1"
  echo "$1:$(wc -l <"$tree/$1"): $2"
}
wants=$(plant src/cli/uHeadless.cpp '#include <QWidget>'
        plant src/cli/uCmdLine.h '#include "ui/uUiSeam.h"'
        plant src/store/uRecordDb.cpp '#include "ui/uNamed.h"'
        plant src/store/uServiceJournal.h '#include <QPdfWriter>'
        plant src/cli/uScanCommand.cpp '#include "app/uStartup.h"')
if out=$("$check" "$tree" 2>&1); then
  echo "FAIL: the check passed a copy with planted offenders"; exit 1
fi
status=0
while IFS= read -r want; do
  grep -qF "$want" <<<"$out" || { echo "FAIL: not named: $want"; status=1; }
done <<<"$wants"
named=$(grep -c '^src/' <<<"$out" || true)
[ "$named" -eq 5 ] || { echo "FAIL: $named lines named, 5 planted:"; echo "$out"; status=1; }
[ $status -eq 0 ] && echo "every planted include named, nothing else"
exit $status
