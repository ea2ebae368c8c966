#!/usr/bin/env bash
# Times the inet library against curl on the same loopback FTP server: a file of random
# bytes (500 MB unless SIZE_MB says otherwise) downloaded with 1000-byte Read calls and
# uploaded with 1000-byte Write calls, then the parse of 100,000 Unix LIST lines. Each
# transfer runs RUNS times (default 3) and the best time counts. Everything lives in a
# temporary folder that is removed at the end.
#
#   bench/inet_transfer.sh [build-dir]
# Last line: "download ratio X upload ratio Y" (library time / curl time).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
bench="$build/bench/inet_bench"
size_mb=${SIZE_MB:-500}
runs=${RUNS:-3}
[ -x "$bench" ] || { echo "build inet_bench first (cmake --build $build --target inet_bench)" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
# Ends the server and keeps the script's own exit status (the server's 143 from the kill
# is no verdict on the benchmark).
cleanup() {
    local status=$?
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

mkdir -p "$work/root"
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

# The best of $runs wall-clock times of a command, in seconds.
best_time() {
    local best=""
    for _ in $(seq "$runs"); do
        local start end took
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        took=$(awk "BEGIN { print $end - $start }")
        if [ -z "$best" ] || awk "BEGIN { exit !($took < $best) }"; then best=$took; fi
    done
    printf '%.3f' "$best"
}

same() { cmp -s "$1" "$2" || { echo "FAILED: $2 differs from $1" >&2; exit 1; }; }

curl_down=$(best_time curl -sS --user user:secret -o "$work/curl.bin" "$url/big.bin")
same "$work/source.bin" "$work/curl.bin"
rm -f "$work/curl.bin"
inet_down=$(best_time "$bench" download "127.0.0.1:$port" user secret big.bin "$work/inet.bin")
same "$work/source.bin" "$work/inet.bin"
rm -f "$work/inet.bin"

curl_up=$(best_time curl -sS --user user:secret -T "$work/source.bin" "$url/curl-up.bin")
same "$work/source.bin" "$work/root/curl-up.bin"
rm -f "$work/root/curl-up.bin"
inet_up=$(best_time "$bench" upload "127.0.0.1:$port" user secret "$work/source.bin" inet-up.bin)
same "$work/source.bin" "$work/root/inet-up.bin"

"$bench" parse 100000

echo "download: curl ${curl_down} s, inet ${inet_down} s"
echo "upload:   curl ${curl_up} s, inet ${inet_up} s"
awk "BEGIN { printf \"download ratio %.2f upload ratio %.2f\\n\", $inet_down / $curl_down, $inet_up / $curl_up }"
