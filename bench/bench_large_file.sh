#!/usr/bin/env bash
# A file past 2 GiB (sizes are 64-bit everywhere): a sparse file of SIZE_MB (default 2560) served
# by nginx over https on 127.0.0.1, fetched by curl, by the modern engine alone (bench_transfer)
# and by the window's Download files (bench_download modern, offscreen). Each copy must have the
# file's exact length and bytes; the engine must count every byte. Prints wall and CPU of each.
#   bash bench/bench_large_file.sh            (SIZE_MB=n)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bench_transfer
window=build/bench_download
[ -x "$bin" ] && [ -x "$window" ] || bash scripts/build.sh
for tool in /usr/bin/time nginx openssl curl python3 cmp; do
    command -v "$tool" >/dev/null || { echo "needs $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
done
size_mb=${SIZE_MB:-2560}
size=$((size_mb * 1024 * 1024))
work=$(mktemp -d /tmp/kelvorn-bench-large.XXXXXX)
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"
# Mostly a hole, with real bytes at the start, across the 2 GiB and 4 GiB marks and at the end,
# so a copy that wraps a 32-bit offset differs from it.
truncate -s "$size" "$work/www/large.bin"
for mb in 0 2047 2048 4095 4096 $((size_mb - 1)); do
    [ "$mb" -lt "$size_mb" ] && head -c 1048576 /dev/urandom | dd of="$work/www/large.bin" bs=1M seek="$mb" conv=notrunc status=none
done
chmod -R a+rX "$work"

# shellcheck source=bench/test_authority.sh
source bench/test_authority.sh
make_test_authority "$work"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
start_https_nginx "$work" "$port"
url="https://127.0.0.1:$port/large.bin"
echo "$url" > "$work/list"

# shellcheck source=bench/measure.sh
source bench/measure.sh
check() {
    local got
    got=$(stat -c %s "$work/out/large.bin")
    [ "$got" -eq "$size" ] || { echo "$1: $got bytes, not $size" >&2; exit 1; }
    cmp -s "$work/www/large.bin" "$work/out/large.bin" || { echo "$1: the copy differs" >&2; exit 1; }
    rm -f "$work/out/large.bin"
}

read -r c_sec c_cpu _ < <(measure curl -fs --cacert "$work/ca.pem" -o "$work/out/large.bin" "$url")
check curl
read -r k_sec k_cpu _ < <(measure sh -c "SSL_CERT_FILE='$work/ca.pem' '$bin' '$work/list' '$work/out' 1 > '$work/engine.out'")
grep -q "failed=0 bytes=$size " "$work/engine.out" || { echo "engine: $(cat "$work/engine.out")" >&2; exit 1; }
check engine
QT_QPA_PLATFORM=offscreen SSL_CERT_FILE="$work/ca.pem" "$window" modern "$work/list" "$work/out" 2 > "$work/window.out"
grep -q 'downloaded=1 of 1$' "$work/window.out" || { echo "window: $(cat "$work/window.out")" >&2; exit 1; }
w_sec=$(sed 's/.*wall_s=\([0-9.]*\).*/\1/' "$work/window.out")
w_cpu=$(sed 's/.*command_cpu_s=\([0-9.]*\).*/\1/' "$work/window.out")
check window
awk -v mb="$size_mb" -v cs="$c_sec" -v cc="$c_cpu" -v ks="$k_sec" -v kc="$k_cpu" -v ws="$w_sec" -v wc="$w_cpu" 'BEGIN {
    printf "%d MB over https, every copy whole and exact\n", mb
    printf "  curl %.2f s wall, %.2f s CPU; engine %.2f s, %.2f s CPU (ratios %.2f, %.2f); window command %.2f s, %.2f s CPU\n", cs, cc, ks, kc, ks/cs, (cc>0?kc/cc:0), ws, wc
}'
