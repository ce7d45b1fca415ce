# Sourced by the download benchmarks. measure CMD...: runs the command under /usr/bin/time
# (its output thrown away) and prints "wall_seconds cpu_seconds maxrss_kb"; uses $work.
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
