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
#
# FOLDERS and FILES (default 20 and 50) shape the tree, DELAY_MS (default 0) makes the
# server wait that long before each reply, as a server that far away would, and
# LFTP_PARALLEL (default 1) lets lftp move that many files at once. It also prints the
# commands the program sent per file, from the server's log. bench/folder_tree_far.sh
# runs the far-server case.
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
bench_use foldertree_bench "$@"
bench_need lftp

folders=${FOLDERS:-20}
files=${FILES:-50}
delay_ms=${DELAY_MS:-0}
lftp_parallel=${LFTP_PARALLEL:-1}
bench_make_tree "$folders" "$files"
bench_start_server --root "$work/root" --log "$work/server.log" \
    --reply-delay "$(awk "BEGIN { print $delay_ms / 1000 }")"

lftp_run() {
    lftp -u user,secret -p "$port" -e "set ftp:passive-mode on; set net:max-retries 1; $1; quit" 127.0.0.1
}

# The commands the server was sent after line $1 of its log, per file of the tree.
commands_per_file() {
    tail -n +"$(($1 + 1))" "$work/server.log" |
        awk -v files=$((folders * files)) '$2 !~ /^(CONNECT|DISCONNECT|LOGIN|DATA-TLS)$/ { n++ }
            END { printf "%.1f", n / files }'
}
log_lines() { wc -l <"$work/server.log"; }

lftp_down=""; program_down=""; lftp_up=""; program_up=""
for _ in $(seq "$runs"); do
    lftp_down=$(bench_add "$lftp_down" "$(bench_time lftp_run "mirror --parallel=$lftp_parallel /tree $work/local/lftp")")
    bench_same "$work/source" "$work/local/lftp"
    rm -rf "$work/local/lftp"
    before=$(log_lines)
    program_down=$(bench_add "$program_down" "$(sync; "$bench" download "127.0.0.1:$port" user secret /tree "$work/local/program")")
    down_commands=$(commands_per_file "$before")
    bench_same "$work/source" "$work/local/program"
    rm -rf "$work/local/program"

    lftp_up=$(bench_add "$lftp_up" "$(bench_time lftp_run "mirror -R --parallel=$lftp_parallel $work/source /lftp-up")")
    bench_same "$work/source" "$work/root/lftp-up"
    rm -rf "$work/root/lftp-up"
    before=$(log_lines)
    program_up=$(bench_add "$program_up" "$(sync; "$bench" upload "127.0.0.1:$port" user secret "$work/source" /program-up)")
    up_commands=$(commands_per_file "$before")
    bench_same "$work/source" "$work/root/program-up"
    rm -rf "$work/root/program-up"
done
bench_medians lftp_down program_down lftp_up program_up

printf 'download: lftp %.3f s, program %.3f s\n' "$lftp_down" "$program_down"
printf 'upload:   lftp %.3f s, program %.3f s\n' "$lftp_up" "$program_up"
echo "program commands per file: download $down_commands upload $up_commands"
echo "tree download ratio $(bench_ratio "$program_down" "$lftp_down") upload ratio $(bench_ratio "$program_up" "$lftp_up")"
