#!/usr/bin/env bash
# Fails on an include that points against the rooms of src/:
#   1 model  <  2 comm  <  3 ui, store  <  4 settings, records, diag  <  5 app, cli
# A file may include its own folder and the folders below it, but the rooms of one layer keep
# apart: ui/ and store/ never include each other, nor do the three window folders; app/ may
# include cli/ (it hands a headless command over), cli/ never includes app/, and cli/ reaches
# no window folder. model/, comm/, store/ and cli/ include no header of QtWidgets, QtGui or
# QtPrintSupport: the headless commands run on a core application with no platform plugin.
# The simulated cabinet includes nothing of src/.
# Prints each offending file with its line and include. An argument names another tree.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

# The folders a room may include besides its own.
below() {
  case "$1" in
    model) echo "" ;;
    comm) echo "model" ;;
    ui|store) echo "model comm" ;;
    settings|records|diag) echo "model comm ui store" ;;
    cli) echo "model comm store" ;;
    app) echo "model comm ui store settings records diag cli" ;;
  esac
}
isRoom() {
  case "$1" in model|comm|ui|store|settings|records|diag|app|cli) return 0 ;; *) return 1 ;; esac
}

include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)/'
bad=0
# Plain bash in the loop (no program started per include): the tree has a few thousand.
while IFS= read -r hit; do
  file=${hit%%:*}; rest=${hit#*:}; line=${rest%%:*}; text=${rest#*:}
  [[ $text =~ $include_re ]] || continue
  target=${BASH_REMATCH[1]}
  isRoom "$target" || continue
  case "$file" in
    tools/*)
      echo "$file:$line: $text  (the simulated cabinet stands apart from src/)"; bad=1
      continue ;;
  esac
  room=${file#src/}; room=${room%%/*}
  isRoom "$room" || continue
  [ "$target" = "$room" ] && continue
  allowed=" $(below "$room") "
  if [[ $allowed != *" $target "* ]]; then
    echo "$file:$line: $text  ($room/ may include only $room/ and:$allowed)"; bad=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' src tools --include='*.h' --include='*.cpp')

# Widget and painting headers: QtWidgets, QtGui and QtPrintSupport by module path, and the
# classes of those modules by name.
gui='Qt(Widgets|Gui|PrintSupport)(/|>)|(Q(Application|GuiApplication|Widget|Dialog|MessageBox|MainWindow|Label|Frame|Menu|MenuBar|StatusBar|ToolBar|Splitter|ScrollArea|Printer|PrintDialog|PdfWriter|Painter|Font|FontMetrics|Image|Pixmap|Icon|Color|Palette|Screen|Window|Action|Style|StyleOption))>|Q[A-Za-z]*(Widget|Dialog|Button|Box|Edit|Layout|Delegate|Bar|View|Item)>'
core_views='<Q(StringView|AnyStringView|ByteArrayView|Utf8StringView|Latin1StringView)>'
while IFS= read -r hit; do
  file=${hit%%:*}; rest=${hit#*:}; line=${rest%%:*}; text=${rest#*:}
  room=${file#src/}; room=${room%%/*}
  # The core's own views (QStringView ...) end like widget classes but are not.
  [[ $text =~ $core_views ]] && continue
  echo "$file:$line: $text  ($room/ knows no widget and no painting)"; bad=1
done < <(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($gui)" src/model src/comm src/store src/cli \
           --include='*.h' --include='*.cpp' 2>/dev/null)

if [ "$bad" -ne 0 ]; then
  echo "check-layers: includes against the layers (see docs/architecture.md)" >&2
  exit 1
fi
echo "check-layers: every include points down"
