#!/usr/bin/env bash
# Fills the file list pane with a folder of 100,000 entries, locally and over FTP, and
# compares with ls -l and curl on the same folder in the same run. Last line:
#   local X ftp Y resort Z ms bytes-per-entry W
# Goals: X <= 1.0, Y <= 1.5, Z <= 100, W <= 256.
#
#   bench/panes_fill.sh [entries]
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
count=${1:-100000}
"$top/scripts/setup" --target panes_bench >/dev/null
bench_use panes_bench

mkdir -p "$work/root/big"
/usr/bin/python3 - "$work/root/big" "$count" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    open(os.path.join(folder, "file%06d.dat" % i), "w").close()
PY
bench_start_server --root "$work/root"
"$bench" "$work/root/big" "127.0.0.1:$port" /big
