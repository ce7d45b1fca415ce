#!/usr/bin/env bash
# CaptureFile throughput against curl, in the same run: both fetch the same generated file from
# the same local server into /tmp; wall time and CPU seconds (user + system) of each client are
# measured alike, and the ratios printed.
#
#   bash bench/bench_capturefile.sh [SIZE-MiB] [ROUNDS] [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
size_mib=${1:-1024}
rounds=${2:-3}
build=${3:-build}
bench="$build/bench_capturefile"
[ -x "$bench" ] || bash scripts/build.sh "$build" >/dev/null

work=$(mktemp -d /tmp/kelvorn-bench.XXXXXX)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/data.bin"
port=$((20000 + RANDOM % 20000))
python3 bench/capture_server.py "$work" "$port" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q ready "$work/server.log" 2>/dev/null && break; sleep 0.05; done

# Runs a command, prints "wall cpu" in seconds.
measure() {
    local TIMEFORMAT='%R %U %S'
    local t
    t=$( { time "$@" >/dev/null; } 2>&1 | tail -n 1)
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$t"
}

url="http://127.0.0.1:$port/data.bin"
bytes=$(stat -c %s "$work/data.bin")
printf "file: %d bytes, %d rounds (best of each)\n" "$bytes" "$rounds"
best_curl_wall=999999; best_curl_cpu=999999; best_ours_wall=999999; best_ours_cpu=999999
for r in $(seq "$rounds"); do
    read -r cw cc < <(measure curl -s -o "$work/curl.out" "$url")
    cmp -s "$work/data.bin" "$work/curl.out" || { echo "curl copy differs"; exit 1; }
    rm -f "$work/curl.out"
    read -r ow oc < <(measure "$bench" 127.0.0.1 "$port" /data.bin "$work/ours.out")
    cmp -s "$work/data.bin" "$work/ours.out" || { echo "CaptureFile copy differs"; exit 1; }
    rm -f "$work/ours.out"
    printf "round %d: curl %.3f s wall %.3f s cpu | CaptureFile %.3f s wall %.3f s cpu\n" "$r" "$cw" "$cc" "$ow" "$oc"
    best_curl_wall=$(awk -v a="$best_curl_wall" -v b="$cw" 'BEGIN{print (b<a)?b:a}')
    best_curl_cpu=$(awk -v a="$best_curl_cpu" -v b="$cc" 'BEGIN{print (b<a)?b:a}')
    best_ours_wall=$(awk -v a="$best_ours_wall" -v b="$ow" 'BEGIN{print (b<a)?b:a}')
    best_ours_cpu=$(awk -v a="$best_ours_cpu" -v b="$oc" 'BEGIN{print (b<a)?b:a}')
done
awk -v n="$bytes" -v cw="$best_curl_wall" -v cc="$best_curl_cpu" -v ow="$best_ours_wall" -v oc="$best_ours_cpu" 'BEGIN {
    mb = n / 1e6
    printf "curl:        %8.1f MB/s  %.3f CPU s\n", mb / cw, cc
    printf "CaptureFile: %8.1f MB/s  %.3f CPU s\n", mb / ow, oc
    printf "throughput ratio (CaptureFile / curl): %.2f   (target >= 0.8)\n", cw / ow
    printf "CPU ratio (CaptureFile / curl):        %.2f   (target <= 1.5)\n", oc / cc
}'
