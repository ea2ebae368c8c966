#!/usr/bin/env bash
# Fills the file list pane with a folder of 100,000 entries, locally and over FTP, and
# compares with ls -l and curl on the same folder in the same run. Last line:
#   local X ftp Y resort Z ms bytes-per-entry W
# Goals: X <= 1.0, Y <= 1.5, Z <= 100, W <= 256.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-100000}
"$top/scripts/setup" >/dev/null
work=$(mktemp -d)
trap 'kill ${server:-} 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/root/big"
/usr/bin/python3 - "$work/root/big" "$count" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    open(os.path.join(folder, "file%06d.dat" % i), "w").close()
PY
/usr/bin/python3 "$top/tests/fixtures/ftpserver.py" --root "$work/root" >"$work/server.out" 2>&1 &
server=$!
for _ in $(seq 1 100); do grep -q '^PORT' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$work/server.out")
"$top/build/bench/panes_bench" "$work/root/big" "127.0.0.1:$port" /big
