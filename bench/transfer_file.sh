#!/usr/bin/env bash
# Times one file copied the way the program copies it (the status window on the offscreen
# platform, with its progress, polling and the checks after the transfer) against curl on
# the same loopback pyftpdlib server in the same run: a file of random bytes (500 MB unless
# SIZE_MB says otherwise), downloaded and uploaded, each RUNS times (default 3), the best
# time counting. Every copy is compared with the original.
#
#   bench/transfer_file.sh [build-dir]
# Last line: "program download ratio X upload ratio Y" (program time / curl time).
# Goal: both at most 1.1.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
bench="$build/bench/transfer_bench"
size_mb=${SIZE_MB:-500}
runs=${RUNS:-3}
[ -x "$bench" ] || { echo "build transfer_bench first (cmake --build $build --target transfer_bench)" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/local"
echo "making a ${size_mb} MB file of random bytes"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/root/big.bin"
cp "$work/root/big.bin" "$work/source.bin"

/usr/bin/python3 "$top/tests/fixtures/ftpserver.py" --root "$work/root" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
    grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
    sleep 0.1
done
port=$(sed -n 's/^PORT //p' "$work/server.out")
[ -n "$port" ] || { echo "the FTP server did not start" >&2; cat "$work/server.out" >&2; exit 1; }
url="ftp://127.0.0.1:$port"

# Seconds one command takes, after the dirty pages of the run before are on disk.
time_of() {
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}
# The program tells its own time: from the login to the end of the copy, as curl's run.
program_time() {
    sync
    "$bench" "$@"
}
lower() {
    if [ -z "$1" ] || awk "BEGIN { exit !($2 < $1) }"; then echo "$2"; else echo "$1"; fi
}

same() { cmp -s "$1" "$2" || { echo "FAILED: $2 differs from $1" >&2; exit 1; }; }

# curl and the program take turns, so that both meet the same machine; the best run counts.
curl_down=""; program_down=""; curl_up=""; program_up=""
for _ in $(seq "$runs"); do
    curl_down=$(lower "$curl_down" "$(time_of curl -sS --user user:secret -o "$work/local/curl.bin" "$url/big.bin")")
    same "$work/source.bin" "$work/local/curl.bin"
    rm -f "$work/local/curl.bin"
    program_down=$(lower "$program_down" "$(program_time download "127.0.0.1:$port" user secret /big.bin "$work/local/program.bin")")
    same "$work/source.bin" "$work/local/program.bin"
    rm -f "$work/local/program.bin"

    curl_up=$(lower "$curl_up" "$(time_of curl -sS --user user:secret -T "$work/source.bin" "$url/curl-up.bin")")
    same "$work/source.bin" "$work/root/curl-up.bin"
    rm -f "$work/root/curl-up.bin"
    program_up=$(lower "$program_up" "$(program_time upload "127.0.0.1:$port" user secret "$work/source.bin" /program-up.bin)")
    same "$work/source.bin" "$work/root/program-up.bin"
    rm -f "$work/root/program-up.bin"
done

printf 'download: curl %.3f s, program %.3f s\n' "$curl_down" "$program_down"
printf 'upload:   curl %.3f s, program %.3f s\n' "$curl_up" "$program_up"
awk "BEGIN { printf \"program download ratio %.2f upload ratio %.2f\\n\", $program_down / $curl_down, $program_up / $curl_up }"
exit 0
