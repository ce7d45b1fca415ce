#!/usr/bin/env bash
# Downloads one generated file from a local HTTP/1.0 server with the HTTP client and with
# curl in the same run, and prints throughput, CPU seconds and peak memory with their ratios.
# Then fetches a 50 MB page in memory mode to show memory proportional to the page.
#   bash bench/bench_http_download.sh [SIZE_MB]   (default 1024)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-1024}
bin=build/bench_http_download
[ -x "$bin" ] || bash scripts/build.sh
if [ ! -x /usr/bin/time ]; then
    echo "needs /usr/bin/time (Debian package 'time')" >&2
    exit 1
fi
work=$(mktemp -d /tmp/kelvorn-bench.XXXXXX)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/www"
# Real data, not a sparse file, so that the server reads from the page cache as for any file.
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/www/big.bin"
head -c "$((50 * 1000 * 1000))" /dev/urandom > "$work/www/page50.bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# Python's http.server (HTTP/1.0, one request per connection), sending files with sendfile so
# that the server is not what limits the two clients.
cat > "$work/server.py" <<'PY'
import functools, http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    def copyfile(self, source, outputfile):
        self.wfile.flush()
        self.connection.sendfile(source)
    def log_message(self, *args):
        pass
handler = functools.partial(Handler, directory=sys.argv[2])
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), handler).serve_forever()
PY
python3 "$work/server.py" "$port" "$work/www" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && break
    python3 -c 'import time; time.sleep(0.1)'
done
url="http://127.0.0.1:$port/big.bin"

# shellcheck source=bench/measure.sh
source bench/measure.sh

bytes=$(stat -c %s "$work/www/big.bin")
cat "$work/www/big.bin" > /dev/null  # warm the page cache for both
# Each client's median round (by time) counts.
rounds=${ROUNDS:-3}
curl_cmd=(curl -s -0 -o "$work/out.bin" "$url")
client_cmd=("$bin" "$url" file "$work/out.bin")
alternate_rounds "$rounds" "$work/www/big.bin"
read -r c_sec c_cpu c_rss < <(median "$work/curl.rounds" "$rounds")
read -r k_sec k_cpu k_rss < <(median "$work/client.rounds" "$rounds")
c_best=$(sort -n "$work/curl.rounds" | awk 'NR == 1 {print $1}')
k_best=$(sort -n "$work/client.rounds" | awk 'NR == 1 {print $1}')
echo "rounds (seconds, CPU seconds, peak KB): curl:" $(tr '\n' ';' < "$work/curl.rounds") "client:" $(tr '\n' ';' < "$work/client.rounds")

awk -v b="$bytes" -v cb="$c_best" -v kb="$k_best" -v cs="$c_sec" -v cc="$c_cpu" -v cr="$c_rss" -v ks="$k_sec" -v kc="$k_cpu" -v kr="$k_rss" 'BEGIN {
    printf "file of %d bytes into a file (InputFileMode) vs curl -0 -o, median of the rounds\n", b
    printf "  %-8s %10s %10s %12s\n", "", "MB/s", "CPU s", "peak MB"
    printf "  %-8s %10.1f %10.2f %12.1f\n", "client", b/1e6/ks, kc, kr/1024
    printf "  %-8s %10.1f %10.2f %12.1f\n", "curl", b/1e6/cs, cc, cr/1024
    printf "  ratios: throughput %.2f (target >= 0.8), CPU %.2f (target <= 1.5), peak %.1f MB (target < 64)\n", cs/ks, (cc>0?kc/cc:0), kr/1024
    printf "  best rounds: client %.1f MB/s, curl %.1f MB/s, ratio %.2f\n", b/1e6/kb, b/1e6/cb, cb/kb
}'

read -r m_sec m_cpu m_rss < <(measure "$bin" "http://127.0.0.1:$port/page50.bin" memory)
awk -v s="$m_sec" -v r="$m_rss" 'BEGIN {
    printf "50 MB page in memory: %.1f MB/s, peak %.1f MB (%.2f x the page)\n", 50/s, r/1024, r/1024/50
}'
