#!/usr/bin/env bash
# Downloads one generated file over https from nginx on 127.0.0.1 (a certificate of a test
# authority made here by openssl) with the HTTP client and with curl in the same run, rounds
# alternating, and prints wall time, CPU seconds and peak memory with their ratios.
#   bash bench/bench_https_download.sh [SIZE_MB]   (default 1024; ROUNDS=n, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-1024}
bin=build/bench_http_download
[ -x "$bin" ] || bash scripts/build.sh
for tool in /usr/bin/time nginx openssl curl; do
    command -v "$tool" >/dev/null || { echo "needs $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/kelvorn-bench-https.XXXXXX)
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/www"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/www/big.bin"
# nginx's worker runs as an unprivileged user: it must be able to read the file.
chmod 755 "$work" "$work/www"
chmod 644 "$work/www/big.bin"

# A test authority ($work/ca.pem) and a certificate for 127.0.0.1 signed by it.
# shellcheck source=bench/test_authority.sh
source bench/test_authority.sh
make_test_authority "$work"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
start_https_nginx "$work" "$port"
url="https://127.0.0.1:$port/big.bin"

# shellcheck source=bench/measure.sh
source bench/measure.sh

bytes=$(stat -c %s "$work/www/big.bin")
cat "$work/www/big.bin" > /dev/null  # warm the page cache for both
# Both check the certificate against the same authority; both speak HTTP/1.0.
rounds=${ROUNDS:-3}
curl_cmd=(curl -fs -0 --cacert "$work/ca.pem" -o "$work/out.bin" "$url")
client_cmd=(env SSL_CERT_FILE="$work/ca.pem" "$bin" "$url" file "$work/out.bin")
alternate_rounds "$rounds" "$work/www/big.bin"
read -r c_sec c_cpu c_rss < <(median "$work/curl.rounds" "$rounds")
read -r k_sec k_cpu k_rss < <(median "$work/client.rounds" "$rounds")
echo "rounds (seconds, CPU seconds, peak KB): curl:" $(tr '\n' ';' < "$work/curl.rounds") "client:" $(tr '\n' ';' < "$work/client.rounds")

awk -v b="$bytes" -v cs="$c_sec" -v cc="$c_cpu" -v cr="$c_rss" -v ks="$k_sec" -v kc="$k_cpu" -v kr="$k_rss" 'BEGIN {
    printf "https file of %d bytes from nginx into a file vs curl -0 -o, median of the rounds\n", b
    printf "  %-8s %10s %10s %10s %12s\n", "", "wall s", "MB/s", "CPU s", "peak MB"
    printf "  %-8s %10.2f %10.1f %10.2f %12.1f\n", "client", ks, b/1e6/ks, kc, kr/1024
    printf "  %-8s %10.2f %10.1f %10.2f %12.1f\n", "curl", cs, b/1e6/cs, cc, cr/1024
    printf "  ratios: wall %.2f (target <= 1.10), CPU %.2f (target <= 1.20), peak %.1f MB (target < 48)\n", ks/cs, (cc>0?kc/cc:0), kr/1024
}'
