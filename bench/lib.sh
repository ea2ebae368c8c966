# shellcheck shell=bash disable=SC2034 # the variables are for the scripts that source it
# The ground every bench script stands on: a temporary work folder removed at the end, the
# loopback test server and its end, timing, comparing copies and ratios. Source it from a
# script that runs under `set -euo pipefail`:
#
#   . "$(dirname "$0")/lib.sh"
#
# It sets `top` (the source tree), `work` (the work folder), `runs` (RUNS, default 3) and
# `size_mb` (SIZE_MB, default 500) and installs the clean-up.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
server_pid=""
runs=${RUNS:-3}
size_mb=${SIZE_MB:-500}

# Ends the server and removes the work folder, keeping the script's own exit status (the
# server's 143 from the kill is no verdict on the benchmark).
bench_cleanup() {
    local status=$?
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap bench_cleanup EXIT

bench_fail() {
    echo "$*" >&2
    exit 1
}

# bench_use NAME [BUILD]: sets `bench` to the bench program NAME of the build folder BUILD
# (default build/ in the tree), which must have been built.
bench_use() {
    local build=${2:-"$top/build"}
    bench="$build/bench/$1"
    [ -x "$bench" ] || bench_fail "build $1 first (cmake --build $build --target $1)"
}

# bench_need COMMAND...: every command is on the PATH.
bench_need() {
    local command
    for command in "$@"; do
        command -v "$command" >/dev/null || bench_fail "$command is missing"
    done
}

# bench_random_file PATH MB: a file of MB megabytes of random bytes.
bench_random_file() {
    echo "making a $2 MB file of random bytes"
    head -c "$(($2 * 1024 * 1024))" /dev/urandom >"$1"
}

# bench_start_server OPTIONS...: starts the test server with ftpserver.py's options (--root
# FOLDER at least; user "user", password "secret") and sets `port` once it listens.
bench_start_server() {
    /usr/bin/python3 "$top/tests/fixtures/ftpserver.py" "$@" >"$work/server.out" 2>&1 &
    server_pid=$!
    for _ in $(seq 50); do
        grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
        sleep 0.1
    done
    port=$(sed -n 's/^PORT //p' "$work/server.out")
    [ -n "$port" ] || { cat "$work/server.out" >&2; bench_fail "the FTP server did not start"; }
}

# bench_time COMMAND...: the seconds COMMAND takes, after the dirty pages of the run before
# are on disk. Its output is dropped.
bench_time() {
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}

# bench_add TIMES TIME: the list TIMES (empty before the first run) with TIME added.
bench_add() {
    echo "${1:+$1 }$2"
}

# bench_median TIME...: the median of the times; one slow or lucky run does not decide.
bench_median() {
    printf '%s\n' "$@" | sort -g |
        awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}

# bench_medians VAR...: replaces each variable's list of times by its median.
bench_medians() {
    local name
    for name in "$@"; do
        # shellcheck disable=SC2086 # the list is split into its times on purpose
        printf -v "$name" '%s' "$(bench_median ${!name})"
    done
}

# bench_ratio A B: A / B with two decimals.
bench_ratio() {
    awk "BEGIN { printf \"%.2f\", $1 / $2 }"
}

# bench_same ORIGINAL COPY: fails the run unless the file or folder tree COPY is ORIGINAL's
# to the byte.
bench_same() {
    if [ -d "$1" ]; then
        diff -r "$1" "$2" >/dev/null || bench_fail "FAILED: $2 differs from $1"
    else
        cmp -s "$1" "$2" || bench_fail "FAILED: $2 differs from $1"
    fi
}

# bench_make_tree FOLDERS FILES: $work/root/tree holds FOLDERS folders of FILES files of 2 KB
# of random bytes, $work/source a copy of it to compare with; $work/local is made empty.
bench_make_tree() {
    mkdir -p "$work/root/tree" "$work/local"
    local folder file
    for folder in $(seq -w 1 "$1"); do
        mkdir -p "$work/root/tree/folder$folder"
        for file in $(seq -w 1 "$2"); do
            head -c 2048 /dev/urandom >"$work/root/tree/folder$folder/file$file.bin"
        done
    done
    cp -r "$work/root/tree" "$work/source"
}
