#!/usr/bin/env bash
# Fails on an include that points against the layers of src/:
#   1 model  <  2 comm  <  3 ui  <  4 settings, records, diag  <  5 app
# A file may include its own folder and any folder of a lower layer; the three window folders
# of layer 4 never include each other. The simulated cabinet includes nothing of src/.
# Prints each offending file with its line and include. An argument names another tree.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

rank() {
  case "$1" in
    model) echo 1 ;; comm) echo 2 ;; ui) echo 3 ;;
    settings|records|diag) echo 4 ;; app) echo 5 ;; *) echo 0 ;;
  esac
}

bad=0
while IFS= read -r hit; do
  file=${hit%%:*}; rest=${hit#*:}; line=${rest%%:*}; text=${rest#*:}
  target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
  case "$file" in
    tools/*)
      if [ "$(rank "$target")" -ne 0 ]; then
        echo "$file:$line: $text  (the simulated cabinet stands apart from src/)"; bad=1
      fi
      continue ;;
  esac
  room=$(cut -d/ -f2 <<<"$file")
  from=$(rank "$room"); to=$(rank "$target")
  [ "$to" -eq 0 ] && continue
  if [ "$to" -gt "$from" ]; then
    echo "$file:$line: $text  ($room/ is layer $from, $target/ is layer $to above it)"; bad=1
  elif [ "$to" -eq 4 ] && [ "$from" -eq 4 ] && [ "$target" != "$room" ]; then
    echo "$file:$line: $text  ($room/ and $target/ are sibling window folders)"; bad=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' src tools --include='*.h' --include='*.cpp')

if [ "$bad" -ne 0 ]; then
  echo "check-layers: includes against the layers (see docs/architecture.md)" >&2
  exit 1
fi
echo "check-layers: every include points down"
