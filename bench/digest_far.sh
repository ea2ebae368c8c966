#!/usr/bin/env bash
# What checking copies by digest costs against a far server: the folder tree of
# folder_tree_far.sh (200 files of 2 KB in 10 folders, 20 ms round trip) copied the way
# the program copies folders, each direction RUNS times (default 3), against proftpd with
# mod_digest loaded ("on": it offers HASH and the program checks every file by digest) and
# without it ("off": size only). Every copy is compared with the original tree.
#
#   PROFTPD=/path/to/sbin/proftpd bench/digest_far.sh [build-dir]
# Last line: "digest on/off download ratio X upload ratio Y". Goal: both at most 1.15.
#
# PROFTPD names the server binary (an unpacked proftpd-core package will do: set
# LD_LIBRARY_PATH for its libraries); PROFTPD_MODULES the folder holding mod_digest.so
# (default: ../lib/proftpd beside the binary's folder). FOLDERS, FILES and DELAY_MS (default
# 10, 20 and 20) shape the tree and the link; PORT (default 22121) is the server's port and
# the 1000 above 42000 its passive ports.
#
# The server listens on 127.0.0.2 and only traffic to and from that address is slowed:
# with tc (a prio qdisc on lo whose netem band a u32 filter feeds), removed at the end; where
# the kernel has no netem, through bench/delay_link.py on 127.0.0.2, which holds every byte
# half the delay each way in front of the server on 127.0.0.3. Nothing leaves 127.0.0.0/8.
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
bench_use foldertree_bench "$@"
bench_need openssl

[ -n "${PROFTPD:-}" ] || bench_fail "set PROFTPD to the proftpd binary (e.g. from
  apt-get download proftpd-core; dpkg-deb -x proftpd-core_*.deb DIR: DIR/usr/sbin/proftpd)"
[ -x "$PROFTPD" ] || bench_fail "PROFTPD=$PROFTPD is not an executable"
modules=${PROFTPD_MODULES:-$(dirname "$PROFTPD")/../lib/proftpd}
[ -f "$modules/mod_digest.so" ] || bench_fail "no mod_digest.so in $modules (set PROFTPD_MODULES)"

folders=${FOLDERS:-10}
files=${FILES:-20}
delay_ms=${DELAY_MS:-20}
port=${PORT:-22121}
passive_first=42000
passive_last=42999
far=127.0.0.2
link_pid=""
qdisc=""

server_pid=""
digest_cleanup() {
    local status=$?
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    [ -z "$link_pid" ] || kill "$link_pid" 2>/dev/null || true
    [ -z "$qdisc" ] || tc qdisc del dev lo root 2>/dev/null || true
    (exit "$status")
    bench_cleanup
}
trap digest_cleanup EXIT

# The delay: netem on lo for 127.0.0.2 alone where the kernel has it, else the delaying link.
if tc qdisc add dev lo root handle 1: prio bands 4 priomap 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 \
    2>/dev/null; then
    qdisc=yes
    tc qdisc add dev lo parent 1:4 handle 40: netem delay "$(awk "BEGIN { print $delay_ms / 2 }")ms"
    tc filter add dev lo parent 1: protocol ip prio 1 u32 match ip dst "$far/32" flowid 1:4
    tc filter add dev lo parent 1: protocol ip prio 2 u32 match ip src "$far/32" flowid 1:4
    server_host=$far
    echo "delay: tc netem on lo for $far, $delay_ms ms round trip"
else
    server_host=127.0.0.3
    /usr/bin/python3 "$top/bench/delay_link.py" "$far" "$server_host" "$delay_ms" "$port" \
        "$passive_first-$passive_last" >"$work/link.out" 2>&1 &
    link_pid=$!
    for _ in $(seq 50); do
        grep -q '^READY' "$work/link.out" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^READY' "$work/link.out" || { cat "$work/link.out" >&2; bench_fail "the link did not start"; }
    echo "delay: no netem here; bench/delay_link.py on $far, $delay_ms ms round trip"
fi

bench_make_tree "$folders" "$files"
echo "user:$(openssl passwd -6 secret):$(id -u):$(id -g)::$work/root:/bin/sh" >"$work/passwd"
chmod 600 "$work/passwd"

# start_server on|off: proftpd in the foreground, with or without mod_digest.
start_server() {
    {
        echo "ServerType standalone"
        echo "DefaultAddress $server_host"
        [ "$server_host" = "$far" ] || echo "MasqueradeAddress $far"
        echo "SocketBindTight on"
        echo "Port $port"
        echo "PassivePorts $passive_first $passive_last"
        echo "User $(id -un)"
        echo "Group $(id -gn)"
        echo "ModulePath $modules"
        [ "$1" = off ] || echo "LoadModule mod_digest.c"
        echo "PidFile $work/proftpd.pid"
        echo "ScoreboardFile $work/proftpd.scoreboard"
        echo "SystemLog $work/proftpd.log"
        echo "TransferLog none"
        echo "WtmpLog off"
        echo "DelayEngine off"
        echo "UseReverseDNS off"
        echo "AuthOrder mod_auth_file.c"
        echo "AuthUserFile $work/passwd"
        echo "RequireValidShell off"
        echo "RootLogin on"
        echo "DefaultRoot ~"
        echo "AllowOverwrite on"
        echo "MaxInstances 30"
    } >"$work/proftpd.conf"
    "$PROFTPD" -n -c "$work/proftpd.conf" >"$work/proftpd.out" 2>&1 &
    server_pid=$!
    for _ in $(seq 50); do
        features >/dev/null 2>&1 && return
        sleep 0.1
    done
    cat "$work/proftpd.out" >&2
    bench_fail "proftpd did not start"
}
stop_server() {
    kill "$server_pid"
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
}
# The server's FEAT reply, through the delay.
features() {
    /usr/bin/python3 - "$far" "$port" <<'PY'
import socket, sys
s = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=5)
f = s.makefile("rb")
def reply():
    line = f.readline()
    text = line
    while not (line[:3].isdigit() and line[3:4] == b" "):
        line = f.readline()
        text += line
    return text.decode()
reply()
s.sendall(b"USER user\r\n"); reply()
s.sendall(b"PASS secret\r\n"); reply()
s.sendall(b"FEAT\r\n"); print(reply(), end="")
s.sendall(b"QUIT\r\n")
PY
}

for mode in off on; do
    start_server "$mode"
    if features | grep -q '^ HASH '; then offers=on; else offers=off; fi
    [ "$offers" = "$mode" ] || bench_fail "with mod_digest $mode the server's FEAT says HASH $offers"
    down=""; up=""
    for _ in $(seq "$runs"); do
        down=$(bench_add "$down" "$(sync; "$bench" download "$far:$port" user secret /tree "$work/local/program")")
        bench_same "$work/source" "$work/local/program"
        rm -rf "$work/local/program"
        up=$(bench_add "$up" "$(sync; "$bench" upload "$far:$port" user secret "$work/source" /program-up)")
        bench_same "$work/source" "$work/root/program-up"
        rm -rf "$work/root/program-up"
    done
    stop_server
    bench_medians down up
    if [ "$mode" = on ]; then down_on=$down up_on=$up; else down_off=$down up_off=$up; fi
    printf 'digest %-3s: download %.3f s, upload %.3f s\n' "$mode" "$down" "$up"
done
echo "digest on/off download ratio $(bench_ratio "$down_on" "$down_off") upload ratio $(bench_ratio "$up_on" "$up_off")"
