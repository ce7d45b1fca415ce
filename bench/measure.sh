# Sourced by the download benchmarks; uses $work.
# measure CMD...: runs the command under /usr/bin/time (its output thrown away) and prints
# "wall_seconds cpu_seconds maxrss_kb".
measure() {
    local log="$work/time.log"
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -v -o "$log" "$@" >/dev/null
    end=$(date +%s.%N)
    local user sys rss
    user=$(awk -F': ' '/User time/ {print $2}' "$log")
    sys=$(awk -F': ' '/System time/ {print $2}' "$log")
    rss=$(awk -F': ' '/Maximum resident/ {print $2}' "$log")
    awk -v s="$start" -v e="$end" -v u="$user" -v y="$sys" -v r="$rss" 'BEGIN { print e - s, u + y, r }'
}

# median FILE ROUNDS: the middle line of FILE by its first field.
median() { sort -n "$1" | awk -v n="$2" 'NR == int((n + 1) / 2)'; }

# alternate_rounds ROUNDS REFERENCE: runs the arrays curl_cmd and client_cmd in turn, ROUNDS
# times (the machine may be shared: neither gets all the quiet moments); each writes
# $work/out.bin, which must equal REFERENCE. Appends the measurements to $work/curl.rounds and
# $work/client.rounds.
alternate_rounds() {
    : > "$work/curl.rounds"
    : > "$work/client.rounds"
    local who
    for _ in $(seq "$1"); do
        for who in curl client; do
            if [ "$who" = curl ]; then
                measure "${curl_cmd[@]}" >> "$work/curl.rounds"
            else
                measure "${client_cmd[@]}" >> "$work/client.rounds"
            fi
            cmp -s "$2" "$work/out.bin" || { echo "$who's file differs" >&2; exit 1; }
            rm -f "$work/out.bin"
        done
    done
}
