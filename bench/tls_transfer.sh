#!/usr/bin/env bash
# Times FTP over explicit TLS (AUTH TLS, PROT P) in the inet library against curl
# --ssl-reqd on the same loopback server (the test server in its TLS mode, with a
# certificate made here): a file of random bytes (500 MB unless SIZE_MB says otherwise)
# downloaded with 1000-byte Read calls and uploaded with 1000-byte Write calls. Each
# transfer runs RUNS times (default 3), curl and the library in turn, and the median time
# counts. The library trusts the certificate through a trust file in a temporary
# configuration folder; curl is told not to check it (-k). Everything lives in a temporary
# folder that is removed at the end.
#
#   bench/tls_transfer.sh [build-dir]
# Last line: "tls download ratio X upload ratio Y" (library time / curl time).
set -euo pipefail
# shellcheck source=SCRIPTDIR/lib.sh
. "$(dirname "$0")/lib.sh"
bench_use inet_bench "$@"
bench_need curl openssl

mkdir -p "$work/root" "$work/config"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$work/server.pem" -out "$work/server.pem" -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 2>/dev/null
fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$work/server.pem" |
    sed 's/.*=//; s/://g' | tr 'A-F' 'a-f')

bench_random_file "$work/root/big.bin" "$size_mb"
cp "$work/root/big.bin" "$work/source.bin"
bench_start_server --root "$work/root" --tls explicit --certfile "$work/server.pem"
echo "127.0.0.1:$port $fingerprint" >"$work/config/VantorCertificates"
export XDG_CONFIG_HOME="$work/config"
url="ftp://127.0.0.1:$port"
server="ftpes://127.0.0.1:$port"

# curl and the library take turns, so that both meet the same load on a shared machine;
# the median of $runs times of each counts.
curl_tls=(curl -sS --ssl-reqd -k --user user:secret)
curl_down="" inet_down="" curl_up="" inet_up=""
for _ in $(seq "$runs"); do
    curl_down=$(bench_add "$curl_down" "$(bench_time "${curl_tls[@]}" -o "$work/curl.bin" "$url/big.bin")")
    bench_same "$work/source.bin" "$work/curl.bin"
    rm -f "$work/curl.bin"
    inet_down=$(bench_add "$inet_down" "$(bench_time "$bench" download "$server" user secret big.bin "$work/inet.bin")")
    bench_same "$work/source.bin" "$work/inet.bin"
    rm -f "$work/inet.bin"

    curl_up=$(bench_add "$curl_up" "$(bench_time "${curl_tls[@]}" -T "$work/source.bin" "$url/curl-up.bin")")
    bench_same "$work/source.bin" "$work/root/curl-up.bin"
    rm -f "$work/root/curl-up.bin"
    inet_up=$(bench_add "$inet_up" "$(bench_time "$bench" upload "$server" user secret "$work/source.bin" inet-up.bin)")
    bench_same "$work/source.bin" "$work/root/inet-up.bin"
    rm -f "$work/root/inet-up.bin"
done
bench_medians curl_down inet_down curl_up inet_up

printf 'tls download: curl %.3f s, inet %.3f s\n' "$curl_down" "$inet_down"
printf 'tls upload:   curl %.3f s, inet %.3f s\n' "$curl_up" "$inet_up"
echo "tls download ratio $(bench_ratio "$inet_down" "$curl_down") upload ratio $(bench_ratio "$inet_up" "$curl_up")"
