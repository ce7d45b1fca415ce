#!/usr/bin/env bash
# kelvorn-get harvesting a page of 500 files over https from nginx on 127.0.0.1 (a certificate
# of a test authority made here by openssl), against wget2 --max-threads=8 and aria2c -j8 on the
# same list, rounds alternating; prints wall time, CPU seconds and peak memory with the ratios.
# Then the start-up of kelvorn-get --version, timed by hyperfine.
#   bash bench/bench_cli.sh [FILES] [SIZE_KB]   (default 500 files of 64 KB; ROUNDS=n, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-500}
size_kb=${2:-64}
get=$PWD/build/kelvorn-get
[ -x "$get" ] || bash scripts/build.sh
for tool in /usr/bin/time nginx openssl curl wget2 aria2c hyperfine; do
    command -v "$tool" >/dev/null || { echo "needs $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/kelvorn-bench-cli.XXXXXX)
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/www"
chmod 755 "$work" "$work/www"
# shellcheck source=bench/test_authority.sh
source bench/test_authority.sh
make_test_authority "$work"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="https://127.0.0.1:$port"
{
    echo "<html><body>"
    for i in $(seq "$files"); do
        head -c "$((size_kb * 1024))" /dev/urandom > "$work/www/p$i.jpg"
        echo "<a href=\"p$i.jpg\">$i</a>"
        echo "$base/p$i.jpg" >> "$work/list.txt"
    done
    echo "</body></html>"
} > "$work/www/index.html"
chmod 644 "$work/www/"*
start_https_nginx "$work" "$port"
cat "$work/www/"* > /dev/null  # warm the page cache for all

# shellcheck source=bench/measure.sh
source bench/measure.sh
total=$(cat "$work/www/"p*.jpg | wc -c)
run() {
    local who=$1 out=$work/out
    rm -rf "$out" && mkdir "$out"
    case $who in
    classic) measure env SSL_CERT_FILE="$work/ca.pem" "$get" --no-config --classic -d "$out" "$base/index.html" ;;
    modern) measure env SSL_CERT_FILE="$work/ca.pem" "$get" --no-config --modern --connections-per-host 8 \
        -d "$out" "$base/index.html" ;;
    wget2) measure wget2 -q --max-threads=8 --no-robots --ca-certificate="$work/ca.pem" -P "$out" -i "$work/list.txt" ;;
    aria2c) measure aria2c -q -j8 --ca-certificate="$work/ca.pem" -d "$out" -i "$work/list.txt" ;;
    esac
    local got
    got=$(cat "$out"/p*.jpg 2>/dev/null | wc -c)
    [ "$got" = "$total" ] || { echo "$who brought $got of $total bytes" >&2; cat "$work/stderr.log" >&2; exit 1; }
}
rounds=${ROUNDS:-3}
tools=(classic modern wget2 aria2c)
for t in "${tools[@]}"; do : > "$work/$t.rounds"; done
for _ in $(seq "$rounds"); do
    for t in "${tools[@]}"; do run "$t" >> "$work/$t.rounds" 2>>"$work/stderr.log"; done
done
for t in "${tools[@]}"; do read -r "${t}_sec" "${t}_cpu" "${t}_rss" < <(median "$work/$t.rounds" "$rounds"); done
echo "$files files of $size_kb KB over https from nginx, median of $rounds rounds"
printf "  %-22s %8s %8s %9s %10s %10s\n" "" "wall s" "CPU s" "peak MB" "wall/wget2" "wall/aria2"
for t in "${tools[@]}"; do
    s=${t}_sec c=${t}_cpu r=${t}_rss
    awk -v n="$t" -v s="${!s}" -v c="${!c}" -v r="${!r}" -v w="$wget2_sec" -v a="$aria2c_sec" \
        'BEGIN { printf "  %-22s %8.2f %8.2f %9.1f %10.2f %10.2f\n", n, s, c, r/1024, s/w, s/a }'
done
echo "(classic: kelvorn-get --classic, eight engines on the program's HTTP/1.0 client;"
echo " modern: kelvorn-get --modern --connections-per-host 8, the libcurl engine)"

echo
echo "start-up of --version (target for kelvorn-get < 50 ms), peers in the same run:"
hyperfine -N --warmup 5 --runs 50 --export-json "$work/startup.json" \
    "$get --version" "wget2 --version" "aria2c --version" > /dev/null
python3 - "$work/startup.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
ours = results[0]["median"]
for r in results:
    print("  %-40s mean %6.1f ms, median %6.1f ms, max %6.1f ms; median ratio to it: %.2f" % (
        r["command"].split("/")[-1], r["mean"] * 1e3, r["median"] * 1e3, r["max"] * 1e3, ours / r["median"]))
PY
