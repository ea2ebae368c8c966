#!/usr/bin/env bash
# Times a tree of small files copied the way the program copies folders (download folder
# and upload folder through the status window on the offscreen platform) against lftp's
# "mirror" and "mirror -R" on the same loopback pyftpdlib server in the same run: 1000
# files of 2 KB in 20 folders, each direction RUNS times (default 3), the best time
# counting. Every copy is compared with the original tree.
#
#   bench/folder_tree.sh [build-dir]
# Last line: "tree download ratio X upload ratio Y" (program time / lftp time).
# Goal: both at most 0.8.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
bench="$build/bench/foldertree_bench"
runs=${RUNS:-3}
[ -x "$bench" ] || { echo "build foldertree_bench first (cmake --build $build --target foldertree_bench)" >&2; exit 1; }
command -v lftp >/dev/null || { echo "lftp is missing" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/tree" "$work/local"
for folder in $(seq -w 1 20); do
    mkdir -p "$work/root/tree/folder$folder"
    for file in $(seq -w 1 50); do
        head -c 2048 /dev/urandom >"$work/root/tree/folder$folder/file$file.bin"
    done
done
cp -r "$work/root/tree" "$work/source"

/usr/bin/python3 "$top/tests/fixtures/ftpserver.py" --root "$work/root" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
    grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
    sleep 0.1
done
port=$(sed -n 's/^PORT //p' "$work/server.out")
[ -n "$port" ] || { echo "the FTP server did not start" >&2; cat "$work/server.out" >&2; exit 1; }

time_of() {
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}
lower() {
    if [ -z "$1" ] || awk "BEGIN { exit !($2 < $1) }"; then echo "$2"; else echo "$1"; fi
}
same() { diff -r "$1" "$2" >/dev/null || { echo "FAILED: $2 differs from $1" >&2; exit 1; }; }
lftp_run() {
    lftp -u user,secret -p "$port" -e "set ftp:passive-mode on; set net:max-retries 1; $1; quit" 127.0.0.1
}

lftp_down=""; program_down=""; lftp_up=""; program_up=""
for _ in $(seq "$runs"); do
    lftp_down=$(lower "$lftp_down" "$(time_of lftp_run "mirror /tree $work/local/lftp")")
    same "$work/source" "$work/local/lftp"
    rm -rf "$work/local/lftp"
    program_down=$(lower "$program_down" "$(sync; "$bench" download "127.0.0.1:$port" user secret /tree "$work/local/program")")
    same "$work/source" "$work/local/program"
    rm -rf "$work/local/program"

    lftp_up=$(lower "$lftp_up" "$(time_of lftp_run "mirror -R $work/source /lftp-up")")
    same "$work/source" "$work/root/lftp-up"
    rm -rf "$work/root/lftp-up"
    program_up=$(lower "$program_up" "$(sync; "$bench" upload "127.0.0.1:$port" user secret "$work/source" /program-up)")
    same "$work/source" "$work/root/program-up"
    rm -rf "$work/root/program-up"
done

printf 'download: lftp %.3f s, program %.3f s\n' "$lftp_down" "$program_down"
printf 'upload:   lftp %.3f s, program %.3f s\n' "$lftp_up" "$program_up"
awk "BEGIN { printf \"tree download ratio %.2f upload ratio %.2f\\n\", $program_down / $lftp_down, $program_up / $lftp_up }"
exit 0
