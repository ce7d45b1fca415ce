#!/usr/bin/env bash
# Download files with the modern option (the real window command, offscreen: bench_download
# modern) and the modern engine alone (bench_transfer) against curl, in the same run, from nginx
# on 127.0.0.1 (keep-alive; a test authority made here by openssl for https). For the window, the
# wall and CPU of the command itself are taken (the window's start-up is left out), and of the
# whole process beside them:
#   1. 500 files of 20-200 KB over https, 8 at once, vs curl --parallel --parallel-max 8
#      (wall, CPU, connections opened, counted in nginx's log);
#   2. one large file over http and over https through one engine vs curl (SIZE_MB, default 1024);
#   3. a 40 MB file whose connection drops once half way (bench/drop_server.py), bytes moved.
# Qt Network's QNetworkAccessManager (bench_qnam) runs 1 and 2 beside them, the peer the engine
# was chosen against.
#   bash bench/bench_transfer.sh            (ROUNDS=n rounds each, default 3; SIZE_MB=n)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bench_transfer
window=build/bench_download
qnam=build/bench_qnam
[ -x "$bin" ] && [ -x "$window" ] && [ -x "$qnam" ] || bash scripts/build.sh
for tool in /usr/bin/time nginx openssl curl python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
done
rounds=${ROUNDS:-3}
size_mb=${SIZE_MB:-1024}
work=$(mktemp -d /tmp/kelvorn-bench-transfer.XXXXXX)
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    [ -n "${drop_pid:-}" ] && kill "$drop_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www/small" "$work/out" "$work/tmp"
python3 - "$work/www/small" <<'PY'
import os, random, sys
random.seed(7)
for i in range(500):
    with open(os.path.join(sys.argv[1], "f%03d.bin" % i), "wb") as f:
        f.write(os.urandom(random.randint(20, 200) * 1024))
PY
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/www/big.bin"
chmod -R a+rX "$work"

# A test authority ($work/ca.pem) and a certificate for 127.0.0.1 signed by it.
# shellcheck source=bench/test_authority.sh
source bench/test_authority.sh
make_test_authority "$work"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
tls_port=$(free_port)
plain_port=$(free_port)
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
    log_format conn '\$connection';
    access_log $work/access.log conn;
    sendfile on;
    keepalive_requests 10000;
    client_body_temp_path $work/tmp;
    proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp;
    scgi_temp_path $work/tmp;
    server {
        listen 127.0.0.1:$tls_port ssl http2;
        listen 127.0.0.1:$plain_port;
        ssl_certificate $work/server.pem;
        ssl_certificate_key $work/server.key;
        root $work/www;
    }
}
CONF
nginx -e "$work/error.log" -p "$work" -c "$work/nginx.conf"
for _ in $(seq 100); do
    curl -s --cacert "$work/ca.pem" -o /dev/null "https://127.0.0.1:$tls_port/" && break
    python3 -c 'import time; time.sleep(0.1)'
done
cat "$work/www/small/"* "$work/www/big.bin" > /dev/null  # warm the page cache for both

# shellcheck source=bench/measure.sh
source bench/measure.sh

# window_measure LIST DIR PER_HOST: the window's Download files; prints "wall cpu process_wall
# process_cpu" (the command's own wall and CPU, then the process's).
window_measure() {
    local line process
    process=$(QT_QPA_PLATFORM=offscreen SSL_CERT_FILE="$work/ca.pem" measure sh -c \
        "'$window' modern '$1' '$2' '$3' > '$work/window.out'")
    line=$(cat "$work/window.out")
    grep -q 'downloaded=\([0-9]*\) of \1$' "$work/window.out" || { echo "window: $line" >&2; exit 1; }
    echo "$(echo "$line" | sed 's/.*wall_s=\([0-9.]*\).*/\1/') $(echo "$line" | sed 's/.*command_cpu_s=\([0-9.]*\).*/\1/') $process"
}

# --- 1. many small files --------------------------------------------------------------------
: > "$work/list"
: > "$work/curl.cfg"
for f in "$work/www/small/"*; do
    name=$(basename "$f")
    echo "https://127.0.0.1:$tls_port/small/$name" >> "$work/list"
    printf 'url = "https://127.0.0.1:%s/small/%s"\noutput = "%s/out/%s"\n' "$tls_port" "$name" "$work" "$name" >> "$work/curl.cfg"
done
connections() { sort -u "$work/access.log" | wc -l; }
check_small() {
    for f in "$work/www/small/"*; do cmp -s "$f" "$work/out/$(basename "$f")" || { echo "$1: $(basename "$f") differs" >&2; exit 1; }; done
    rm -f "$work/out/"*
}
: > "$work/curl.rounds"
: > "$work/client.rounds"
: > "$work/window.rounds"
: > "$work/qnam.rounds"
for _ in $(seq "$rounds"); do
    : > "$work/access.log"; kill -USR1 "$(cat "$work/nginx.pid")"
    echo "$(measure curl -fs --cacert "$work/ca.pem" --parallel --parallel-max 8 -K "$work/curl.cfg") $(connections)" >> "$work/curl.rounds"
    check_small curl
    : > "$work/access.log"; kill -USR1 "$(cat "$work/nginx.pid")"
    echo "$(measure env SSL_CERT_FILE="$work/ca.pem" "$bin" "$work/list" "$work/out" 8 8) $(connections)" >> "$work/client.rounds"
    check_small engine
    : > "$work/access.log"; kill -USR1 "$(cat "$work/nginx.pid")"
    echo "$(window_measure "$work/list" "$work/out" 8) $(connections)" >> "$work/window.rounds"
    check_small window
    : > "$work/access.log"; kill -USR1 "$(cat "$work/nginx.pid")"
    echo "$(measure env SSL_CERT_FILE="$work/ca.pem" "$qnam" "$work/list" "$work/out" 8) $(connections)" >> "$work/qnam.rounds"
    check_small qnam
done
read -r c_sec c_cpu c_rss c_conn < <(median "$work/curl.rounds" "$rounds")
read -r k_sec k_cpu k_rss k_conn < <(median "$work/client.rounds" "$rounds")
read -r w_sec w_cpu wp_sec wp_cpu wp_rss w_conn < <(median "$work/window.rounds" "$rounds")
read -r q_sec q_cpu q_rss q_conn < <(median "$work/qnam.rounds" "$rounds")
awk -v cs="$c_sec" -v cc="$c_cpu" -v cn="$c_conn" -v ks="$k_sec" -v kc="$k_cpu" -v kn="$k_conn" 'BEGIN {
    printf "500 files of 20-200 KB over https, 8 at once (median of the rounds)\n"
    printf "  engine %.2f s wall, %.2f s CPU, %d connections; curl --parallel %.2f s, %.2f s CPU, %d connections\n", ks, kc, kn, cs, cc, cn
    printf "  ratios: wall %.2f (target <= 1.3), CPU %.2f (target <= 1.3); engine connections %d (target <= 8)\n", ks/cs, (cc>0?kc/cc:0), kn
}'
awk -v cs="$c_sec" -v cc="$c_cpu" -v ws="$w_sec" -v wc="$w_cpu" -v ps="$wp_sec" -v pc="$wp_cpu" -v wn="$w_conn" 'BEGIN {
    printf "  window Download files (8 per host): command %.2f s wall, %.2f s CPU; whole process %.2f s, %.2f s CPU; %d connections\n", ws, wc, ps, pc, wn
    printf "  ratios: command wall %.2f, CPU %.2f; process wall %.2f, CPU %.2f\n", ws/cs, (cc>0?wc/cc:0), ps/cs, (cc>0?pc/cc:0)
}'
awk -v cs="$c_sec" -v cc="$c_cpu" -v qs="$q_sec" -v qc="$q_cpu" -v qr="$q_rss" -v qn="$q_conn" 'BEGIN {
    printf "  QNetworkAccessManager: %.2f s wall, %.2f s CPU, %.1f MB peak, %d connections; ratios wall %.2f, CPU %.2f\n", qs, qc, qr/1024, qn, qs/cs, (cc>0?qc/cc:0)
}'

# --- 2. one large file ----------------------------------------------------------------------
for scheme in http https; do
    port=$plain_port; [ "$scheme" = https ] && port=$tls_port
    url="$scheme://127.0.0.1:$port/big.bin"
    echo "$url" > "$work/biglist"
    curl_cmd=(curl -fs --cacert "$work/ca.pem" -o "$work/out.bin" "$url")
    client_cmd=(sh -c "SSL_CERT_FILE='$work/ca.pem' '$bin' '$work/biglist' '$work/bigout' 1 && mv '$work/bigout/big.bin' '$work/out.bin'")
    mkdir -p "$work/bigout"
    alternate_rounds "$rounds" "$work/www/big.bin"
    read -r c_sec c_cpu c_rss < <(median "$work/curl.rounds" "$rounds")
    read -r k_sec k_cpu k_rss < <(median "$work/client.rounds" "$rounds")
    : > "$work/window.rounds"
    for _ in $(seq "$rounds"); do
        window_measure "$work/biglist" "$work/bigout" 2 >> "$work/window.rounds"
        cmp -s "$work/www/big.bin" "$work/bigout/big.bin" || { echo "window's file differs" >&2; exit 1; }
        rm -f "$work/bigout/big.bin"
    done
    read -r w_sec w_cpu _ < <(median "$work/window.rounds" "$rounds")
    : > "$work/qnam.rounds"
    for _ in $(seq "$rounds"); do
        measure env SSL_CERT_FILE="$work/ca.pem" "$qnam" "$work/biglist" "$work/bigout" 1 >> "$work/qnam.rounds"
        cmp -s "$work/www/big.bin" "$work/bigout/big.bin" || { echo "qnam's file differs" >&2; exit 1; }
        rm -f "$work/bigout/big.bin"
    done
    read -r q_sec q_cpu q_rss < <(median "$work/qnam.rounds" "$rounds")
    awk -v s="$scheme" -v mb="$size_mb" -v cs="$c_sec" -v cc="$c_cpu" -v ks="$k_sec" -v kc="$k_cpu" -v kr="$k_rss" 'BEGIN {
        printf "%d MB over %s through one engine vs curl (median)\n", mb, s
        printf "  engine %.2f s wall, %.2f s CPU, %.1f MB peak; curl %.2f s, %.2f s CPU\n", ks, kc, kr/1024, cs, cc
        printf "  ratios: wall %.2f (target <= 1.0), CPU %.2f (target <= 1.1)\n", ks/cs, (cc>0?kc/cc:0)
    }'
    awk -v cs="$c_sec" -v cc="$c_cpu" -v ws="$w_sec" -v wc="$w_cpu" 'BEGIN {
        printf "  window Download files: command %.2f s wall, %.2f s CPU; ratios wall %.2f, CPU %.2f\n", ws, wc, ws/cs, (cc>0?wc/cc:0)
    }'
    awk -v cs="$c_sec" -v cc="$c_cpu" -v qs="$q_sec" -v qc="$q_cpu" -v qr="$q_rss" 'BEGIN {
        printf "  QNetworkAccessManager: %.2f s wall, %.2f s CPU, %.1f MB peak; ratios wall %.2f, CPU %.2f\n", qs, qc, qr/1024, qs/cs, (cc>0?qc/cc:0)
    }'
done

# --- 3. one drop of a 40 MB file -------------------------------------------------------------
head -c $((40 * 1024 * 1024)) /dev/urandom > "$work/www/drop.bin"
drop_port=$(free_port)
python3 bench/drop_server.py "$work/www/drop.bin" "$drop_port" &
drop_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null -r 0-0 "http://127.0.0.1:$drop_port/drop.bin" && break; python3 -c 'import time; time.sleep(0.1)'; done
curl -s -o /dev/null "http://127.0.0.1:$drop_port/reset"
echo "http://127.0.0.1:$drop_port/drop.bin" > "$work/droplist"
mkdir -p "$work/dropout"
line=$("$bin" "$work/droplist" "$work/dropout" 1)
cmp -s "$work/www/drop.bin" "$work/dropout/drop.bin" || { echo "the dropped file differs" >&2; exit 1; }
moved=$(echo "$line" | sed 's/.* moved=\([0-9]*\).*/\1/')
tries=$(echo "$line" | sed 's/.* tries=\([0-9]*\).*/\1/')
awk -v m="$moved" -v t="$tries" -v b=$((40 * 1024 * 1024)) 'BEGIN {
    printf "40 MB file, connection dropped once half way: %d tries, %d bytes moved, %.3fx the file (target <= 1.05)\n", t, m, m/b
}'
