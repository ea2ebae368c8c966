#!/usr/bin/env bash
# Times FTP over explicit TLS (AUTH TLS, PROT P) in the inet library against curl
# --ssl-reqd on the same loopback server (the test server in its TLS mode, with a
# certificate made here): a file of random bytes (500 MB unless SIZE_MB says otherwise)
# downloaded with 1000-byte Read calls and uploaded with 1000-byte Write calls. Each
# transfer runs RUNS times (default 3), curl and the library in turn, and the best time
# counts. The library trusts the
# certificate through a trust file in a temporary configuration folder; curl is told not
# to check it (-k). Everything lives in a temporary folder that is removed at the end.
#
#   bench/tls_transfer.sh [build-dir]
# Last line: "tls download ratio X upload ratio Y" (library time / curl time).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
bench="$build/bench/inet_bench"
size_mb=${SIZE_MB:-500}
runs=${RUNS:-3}
[ -x "$bench" ] || { echo "build inet_bench first (cmake --build $build --target inet_bench)" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 1; }
command -v openssl >/dev/null || { echo "openssl is missing" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/config"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$work/server.pem" -out "$work/server.pem" -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 2>/dev/null
fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$work/server.pem" |
    sed 's/.*=//; s/://g' | tr 'A-F' 'a-f')

echo "making a ${size_mb} MB file of random bytes"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/root/big.bin"
cp "$work/root/big.bin" "$work/source.bin"

/usr/bin/python3 "$top/tests/fixtures/ftpserver.py" --root "$work/root" --tls explicit \
    --certfile "$work/server.pem" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
    grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
    sleep 0.1
done
port=$(sed -n 's/^PORT //p' "$work/server.out")
[ -n "$port" ] || { echo "the FTP server did not start" >&2; cat "$work/server.out" >&2; exit 1; }
echo "127.0.0.1:$port $fingerprint" >"$work/config/VantorCertificates"
export XDG_CONFIG_HOME="$work/config"
url="ftp://127.0.0.1:$port"
server="ftpes://127.0.0.1:$port"

# The wall-clock time of a command, in seconds.
time_of() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}
faster() { awk "BEGIN { exit !($1 < $2) }"; }

same() { cmp -s "$1" "$2" || { echo "FAILED: $2 differs from $1" >&2; exit 1; }; }

# curl and the library take turns, so that both meet the same load on a shared machine;
# the best of $runs times of each counts.
curl_tls=(curl -sS --ssl-reqd -k --user user:secret)
curl_down="" inet_down="" curl_up="" inet_up=""
for _ in $(seq "$runs"); do
    t=$(time_of "${curl_tls[@]}" -o "$work/curl.bin" "$url/big.bin")
    same "$work/source.bin" "$work/curl.bin"
    rm -f "$work/curl.bin"
    if [ -z "$curl_down" ] || faster "$t" "$curl_down"; then curl_down=$t; fi
    t=$(time_of "$bench" download "$server" user secret big.bin "$work/inet.bin")
    same "$work/source.bin" "$work/inet.bin"
    rm -f "$work/inet.bin"
    if [ -z "$inet_down" ] || faster "$t" "$inet_down"; then inet_down=$t; fi

    t=$(time_of "${curl_tls[@]}" -T "$work/source.bin" "$url/curl-up.bin")
    same "$work/source.bin" "$work/root/curl-up.bin"
    rm -f "$work/root/curl-up.bin"
    if [ -z "$curl_up" ] || faster "$t" "$curl_up"; then curl_up=$t; fi
    t=$(time_of "$bench" upload "$server" user secret "$work/source.bin" inet-up.bin)
    same "$work/source.bin" "$work/root/inet-up.bin"
    rm -f "$work/root/inet-up.bin"
    if [ -z "$inet_up" ] || faster "$t" "$inet_up"; then inet_up=$t; fi
done

printf 'tls download: curl %.3f s, inet %.3f s\n' "$curl_down" "$inet_down"
printf 'tls upload:   curl %.3f s, inet %.3f s\n' "$curl_up" "$inet_up"
awk "BEGIN { printf \"tls download ratio %.2f upload ratio %.2f\\n\", $inet_down / $curl_down, $inet_up / $curl_up }"
