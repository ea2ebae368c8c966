#!/usr/bin/env bash
# Times one file copied the way the program copies it (the status window on the offscreen
# platform, with its progress, polling and the checks after the transfer) against curl on
# the same loopback pyftpdlib server in the same run: a file of random bytes (500 MB unless
# SIZE_MB says otherwise), downloaded and uploaded, each RUNS times (default 3), the median
# time counting. Every copy is compared with the original.
#
#   bench/transfer_file.sh [build-dir]
# Last line: "program download ratio X upload ratio Y" (program time / curl time).
# Goal: both at most 1.1.
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
bench_use transfer_bench "$@"
bench_need curl

mkdir -p "$work/root" "$work/local"
bench_random_file "$work/root/big.bin" "$size_mb"
cp "$work/root/big.bin" "$work/source.bin"
bench_start_server --root "$work/root"
url="ftp://127.0.0.1:$port"

# The program tells its own time: from the login to the end of the copy, as curl's run.
program_time() {
    sync
    "$bench" "$@"
}

# curl and the program take turns, so that both meet the same machine; the median run counts.
curl_down=""; program_down=""; curl_up=""; program_up=""
for _ in $(seq "$runs"); do
    curl_down=$(bench_add "$curl_down" "$(bench_time curl -sS --user user:secret -o "$work/local/curl.bin" "$url/big.bin")")
    bench_same "$work/source.bin" "$work/local/curl.bin"
    rm -f "$work/local/curl.bin"
    program_down=$(bench_add "$program_down" "$(program_time download "127.0.0.1:$port" user secret /big.bin "$work/local/program.bin")")
    bench_same "$work/source.bin" "$work/local/program.bin"
    rm -f "$work/local/program.bin"

    curl_up=$(bench_add "$curl_up" "$(bench_time curl -sS --user user:secret -T "$work/source.bin" "$url/curl-up.bin")")
    bench_same "$work/source.bin" "$work/root/curl-up.bin"
    rm -f "$work/root/curl-up.bin"
    program_up=$(bench_add "$program_up" "$(program_time upload "127.0.0.1:$port" user secret "$work/source.bin" /program-up.bin)")
    bench_same "$work/source.bin" "$work/root/program-up.bin"
    rm -f "$work/root/program-up.bin"
done
bench_medians curl_down program_down curl_up program_up

printf 'download: curl %.3f s, program %.3f s\n' "$curl_down" "$program_down"
printf 'upload:   curl %.3f s, program %.3f s\n' "$curl_up" "$program_up"
echo "program download ratio $(bench_ratio "$program_down" "$curl_down") upload ratio $(bench_ratio "$program_up" "$curl_up")"
