#!/usr/bin/env bash
# Times a tree of small files copied the way the program copies folders (download folder
# and upload folder through the status window on the offscreen platform) against lftp's
# "mirror" and "mirror -R" on the same loopback pyftpdlib server in the same run: 1000
# files of 2 KB in 20 folders, each direction RUNS times (default 3), the median time
# counting. Every copy is compared with the original tree.
#
#   bench/folder_tree.sh [build-dir]
# Last line: "tree download ratio X upload ratio Y" (program time / lftp time).
# Goal: both at most 0.8.
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
bench_use foldertree_bench "$@"
bench_need lftp

mkdir -p "$work/root/tree" "$work/local"
for folder in $(seq -w 1 20); do
    mkdir -p "$work/root/tree/folder$folder"
    for file in $(seq -w 1 50); do
        head -c 2048 /dev/urandom >"$work/root/tree/folder$folder/file$file.bin"
    done
done
cp -r "$work/root/tree" "$work/source"
bench_start_server --root "$work/root"

lftp_run() {
    lftp -u user,secret -p "$port" -e "set ftp:passive-mode on; set net:max-retries 1; $1; quit" 127.0.0.1
}

lftp_down=""; program_down=""; lftp_up=""; program_up=""
for _ in $(seq "$runs"); do
    lftp_down=$(bench_add "$lftp_down" "$(bench_time lftp_run "mirror /tree $work/local/lftp")")
    bench_same "$work/source" "$work/local/lftp"
    rm -rf "$work/local/lftp"
    program_down=$(bench_add "$program_down" "$(sync; "$bench" download "127.0.0.1:$port" user secret /tree "$work/local/program")")
    bench_same "$work/source" "$work/local/program"
    rm -rf "$work/local/program"

    lftp_up=$(bench_add "$lftp_up" "$(bench_time lftp_run "mirror -R $work/source /lftp-up")")
    bench_same "$work/source" "$work/root/lftp-up"
    rm -rf "$work/root/lftp-up"
    program_up=$(bench_add "$program_up" "$(sync; "$bench" upload "127.0.0.1:$port" user secret "$work/source" /program-up)")
    bench_same "$work/source" "$work/root/program-up"
    rm -rf "$work/root/program-up"
done
bench_medians lftp_down program_down lftp_up program_up

printf 'download: lftp %.3f s, program %.3f s\n' "$lftp_down" "$program_down"
printf 'upload:   lftp %.3f s, program %.3f s\n' "$lftp_up" "$program_up"
echo "tree download ratio $(bench_ratio "$program_down" "$lftp_down") upload ratio $(bench_ratio "$program_up" "$lftp_up")"
