#!/usr/bin/env bash
# Plants one include of each forbidden kind in a small tree and checks that the layer check
# fails and names every one of them, and passes the allowed ones.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/src/{model,comm,ui,store,settings,records,diag,app,cli} "$tree"/tools/cabinet-sim
printf '#include "model/a.h"\n#include "comm/b.h"\n' > "$tree/src/ui/ok.cpp"
printf '#include "ui/uNamed.h"\n' > "$tree/src/comm/up.cpp"
printf '#include "app/uLocalPara.h"\n' > "$tree/src/model/up2.h"
printf '#include "records/x.h"\n' > "$tree/src/settings/sibling.cpp"
printf '#include "comm/uKModbus.h"\n' > "$tree/tools/cabinet-sim/sim.cpp"
printf '#include "settings/uPassword.h"\n' > "$tree/src/ui/up3.cpp"
# The rooms without windows: a widget header, a painting one, a window folder, a sibling.
printf '#include <QWidget>\n' > "$tree/src/cli/widget.cpp"
printf '#include <QtWidgets/QMessageBox>\n' > "$tree/src/cli/box.h"
printf '#include <QPainter>\n' > "$tree/src/store/paint.cpp"
printf '#include <QApplication>\n' > "$tree/src/comm/app.cpp"
printf '#include "ui/uUiSeam.h"\n' > "$tree/src/store/seam.cpp"
printf '#include "store/uRecordDb.h"\n' > "$tree/src/ui/db.cpp"
printf '#include "records/uUpsRec.h"\n' > "$tree/src/cli/window.cpp"
printf '#include "app/uStartup.h"\n' > "$tree/src/cli/app.cpp"
# Allowed: a window reads a store, app hands a command to cli/, cli/ drives the link and a
# store on a core application.
printf '#include "store/uRecordDb.h"\n#include "comm/uFrmCom.h"\n' > "$tree/src/records/ok2.cpp"
printf '#include "cli/uHeadless.h"\n#include <QApplication>\n' > "$tree/src/app/ok3.cpp"
printf '#include "store/uRecordDb.h"\n#include <QCoreApplication>\n#include <QStringView>\n' > "$tree/src/cli/ok4.cpp"

if out=$("$check" "$tree" 2>&1); then
  echo "FAIL: the check passed a tree with wrong-way includes"; echo "$out"; exit 1
fi
status=0
for want in 'src/comm/up.cpp:1: #include "ui/uNamed.h"' 'src/model/up2.h:1: #include "app/uLocalPara.h"' \
            'src/settings/sibling.cpp:1: #include "records/x.h"' 'src/ui/up3.cpp:1: #include "settings/uPassword.h"' \
            'tools/cabinet-sim/sim.cpp:1: #include "comm/uKModbus.h"' \
            'src/cli/widget.cpp:1: #include <QWidget>' 'src/cli/box.h:1: #include <QtWidgets/QMessageBox>' \
            'src/store/paint.cpp:1: #include <QPainter>' 'src/comm/app.cpp:1: #include <QApplication>' \
            'src/store/seam.cpp:1: #include "ui/uUiSeam.h"' 'src/ui/db.cpp:1: #include "store/uRecordDb.h"' \
            'src/cli/window.cpp:1: #include "records/uUpsRec.h"' 'src/cli/app.cpp:1: #include "app/uStartup.h"'; do
  grep -qF "$want" <<<"$out" || { echo "FAIL: not named: $want"; status=1; }
done
if grep -qE 'ok[0-9]*\.cpp' <<<"$out"; then echo "FAIL: an allowed include was named"; status=1; fi
[ $status -eq 0 ] && echo "every wrong-way include named"
exit $status
