#!/usr/bin/env bash
# Plants one include of each forbidden kind in a small tree and checks that the layer check
# fails and names every one of them, and passes the allowed ones.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/src/{model,comm,ui,settings,records,diag,app} "$tree"/tools/cabinet-sim
printf '#include "model/a.h"\n#include "comm/b.h"\n' > "$tree/src/ui/ok.cpp"
printf '#include "ui/uNamed.h"\n' > "$tree/src/comm/up.cpp"
printf '#include "app/uLocalPara.h"\n' > "$tree/src/model/up2.h"
printf '#include "records/x.h"\n' > "$tree/src/settings/sibling.cpp"
printf '#include "comm/uKModbus.h"\n' > "$tree/tools/cabinet-sim/sim.cpp"
printf '#include "settings/uPassword.h"\n' > "$tree/src/ui/up3.cpp"

if out=$("$check" "$tree" 2>&1); then
  echo "FAIL: the check passed a tree with wrong-way includes"; echo "$out"; exit 1
fi
status=0
for want in 'src/comm/up.cpp:1: #include "ui/uNamed.h"' 'src/model/up2.h:1: #include "app/uLocalPara.h"' \
            'src/settings/sibling.cpp:1: #include "records/x.h"' 'src/ui/up3.cpp:1: #include "settings/uPassword.h"' \
            'tools/cabinet-sim/sim.cpp:1: #include "comm/uKModbus.h"'; do
  grep -qF "$want" <<<"$out" || { echo "FAIL: not named: $want"; status=1; }
done
if grep -q 'ok.cpp' <<<"$out"; then echo "FAIL: an allowed include was named"; status=1; fi
[ $status -eq 0 ] && echo "every wrong-way include named"
exit $status
