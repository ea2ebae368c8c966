#!/usr/bin/env bash
# Times the inet library against curl on the same loopback FTP server: a file of random
# bytes (500 MB unless SIZE_MB says otherwise) downloaded with 1000-byte Read calls and
# uploaded with 1000-byte Write calls, then the parse of 100,000 Unix LIST lines. Each
# transfer runs RUNS times (default 3) and the median time counts. Everything lives in a
# temporary folder that is removed at the end.
#
#   bench/inet_transfer.sh [build-dir]
# Last line: "download ratio X upload ratio Y" (library time / curl time).
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
bench_use inet_bench "$@"
bench_need curl

mkdir -p "$work/root"
bench_random_file "$work/root/big.bin" "$size_mb"
cp "$work/root/big.bin" "$work/source.bin"
bench_start_server --root "$work/root"
url="ftp://127.0.0.1:$port"

# The median of $runs times of a command, in seconds.
median_time() {
    local times=""
    for _ in $(seq "$runs"); do
        times=$(bench_add "$times" "$(bench_time "$@")")
    done
    # shellcheck disable=SC2086 # the list is split into its times on purpose
    printf '%.3f' "$(bench_median $times)"
}

curl_down=$(median_time curl -sS --user user:secret -o "$work/curl.bin" "$url/big.bin")
bench_same "$work/source.bin" "$work/curl.bin"
rm -f "$work/curl.bin"
inet_down=$(median_time "$bench" download "127.0.0.1:$port" user secret big.bin "$work/inet.bin")
bench_same "$work/source.bin" "$work/inet.bin"
rm -f "$work/inet.bin"

curl_up=$(median_time curl -sS --user user:secret -T "$work/source.bin" "$url/curl-up.bin")
bench_same "$work/source.bin" "$work/root/curl-up.bin"
rm -f "$work/root/curl-up.bin"
inet_up=$(median_time "$bench" upload "127.0.0.1:$port" user secret "$work/source.bin" inet-up.bin)
bench_same "$work/source.bin" "$work/root/inet-up.bin"

"$bench" parse 100000

echo "download: curl ${curl_down} s, inet ${inet_down} s"
echo "upload:   curl ${curl_up} s, inet ${inet_up} s"
echo "download ratio $(bench_ratio "$inet_down" "$curl_down") upload ratio $(bench_ratio "$inet_up" "$curl_up")"
