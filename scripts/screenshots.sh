#!/usr/bin/env bash
# Makes the README's pictures in docs/: the real program under Xvfb, harvesting a small generated
# site served by Python's http.server on 127.0.0.1. Every picture is the whole 1000x720 screen, so
# all have the same size and kind. Needs xvfb-run, ImageMagick (import, convert) and xdotool.
#   bash scripts/screenshots.sh            the pictures at 1x, into docs/
#   SCALE=2 OUT=/tmp/shots bash scripts/screenshots.sh   the same at 2x scaling, for a look
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${SCALE:-1}
width=$((1000 * scale))
height=$((720 * scale))
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 ${width}x${height}x24" bash "$0" "$@"
fi
out=${OUT:-docs}
mkdir -p "$out"
KELVORN_TARGET=kelvorn bash scripts/build.sh >/dev/null
convert=/usr/bin/convert

work=$(mktemp -d)
server_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The site: a main page linking to three galleries with pictures and an archive; one gallery
# links to a picture that is missing and to one too small to keep.
site=$work/site
mkdir -p "$site/gallery" "$work/downloads" "$work/config/Kelvorn" "$work/data"
{
    echo '<html><body><h1>Holiday pictures</h1>'
    for g in beach mountains city; do echo "<a href=\"gallery/$g.html\">$g</a>"; done
    echo '<a href="files/all-pictures.zip">everything</a> <img src="title.jpg">'
    echo '</body></html>'
} >"$site/index.html"
colours=(beach:skyblue-khaki mountains:seagreen-white city:slategray-orange)
for entry in "${colours[@]}"; do
    g=${entry%%:*}
    gradient=${entry#*:}
    {
        for i in 1 2 3 4; do echo "<a href=\"$g-$i.jpg\"><img src=\"$g-$i-small.jpg\"></a>"; done
        echo "<a href=\"$g.zip\">all of $g</a>"
    } >"$site/gallery/$g.html"
    for i in 1 2 3 4; do
        $convert -size 400x300 "gradient:$gradient" -fill white -draw "circle $((60 * i)),80 $((60 * i + 30)),80" \
            -quality 90 "$site/gallery/$g-$i.jpg"
    done
done
echo '<a href="missing.jpg">gone</a> <a href="tiny.jpg">tiny</a>' >>"$site/gallery/city.html"
head -c 300 "$site/gallery/city-1.jpg" >"$site/gallery/tiny.jpg"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done

# Settings as a user would have left them: the site's address, a window of fixed place and size.
settings() {
    cat >"$work/config/Kelvorn/Kelvorn.conf" <<CONF
[SoftWare]
Kelvorn\\LastDocument=$1
Kelvorn\\DownloadDir=$work/downloads
Kelvorn\\SkipFile=1
Kelvorn\\AutoDownload=0
Kelvorn\\AutoSave=0
Kelvorn\\BossName=0
Kelvorn\\AddFilesWhenParse=0
Kelvorn\\ParseOneLevelUp=$2
Kelvorn\\Beep=0
Kelvorn\\Preview=1
Kelvorn\\IncludeEmb=0
Kelvorn\\PreviewJump=0
Kelvorn\\SaveWindow=1
Kelvorn\\AddLinks=1
Kelvorn\\SelectFirst=0
Kelvorn\\ShowProgress=1
Kelvorn\\FormTop=20
Kelvorn\\FormLeft=20
Kelvorn\\FormHeight=680
Kelvorn\\FormWidth=960
Kelvorn\\DocWidth=300
Kelvorn\\PreviewWidth=200
Kelvorn\\FileCol0=300
Kelvorn\\FileCol1=90
Kelvorn\\FileCol2=60
CONF
}

start() {
    XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data HOME=$work QT_QPA_PLATFORM=xcb \
        QT_SCALE_FACTOR=$scale build/kelvorn &
    program_pid=$!
    window=$(xdotool search --sync --onlyvisible --name '^Kelvorn' | head -1)
    xdotool windowfocus --sync "$window"
    sleep 1
}

stop() {
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=
}

shot() {
    sleep "${2:-1}"
    import -window root "$work/root.png"
    $convert "$work/root.png" +repage "$out/$1"
    echo "$out/$1: $($convert "$out/$1" -format '%wx%h' info:)"
}

# A point of the window in screen pixels, from its logical place at 1x.
at() { echo $(((20 + $1) * scale)) $(((20 + $2) * scale)); }

# 1. The window at a first start: no settings at all.
rm -f "$work/config/Kelvorn/Kelvorn.conf"
start
xdotool windowmove "$window" $((20 * scale)) $((20 * scale))
shot screenshot-main.png
stop

# 2. After Get document with "Include links one level up": three gallery pages and their files.
settings "http://127.0.0.1:$port/index.html" 1
start
xdotool key alt+g
shot screenshot-harvest.png 4

# 3. Every file ticked and downloaded; the first picture in the preview; the missing and the tiny
#    file failed, and the tiny one's hint tells why.
xdotool mousemove $(at 500 160) click 3
sleep 0.5
xdotool key Down Down Return  # "Select all"
xdotool key alt+d
for _ in $(seq 100); do
    [ "$(ls "$work/downloads" | wc -l)" -ge 12 ] && break
    sleep 0.2
done
sleep 2
xdotool mousemove $(at 400 236) click 1
shot screenshot-preview.png 2
# The failed items stand at the end of the city gallery's files.
xdotool mousemove $(at 400 "${REASON_ROW:-434}")
shot screenshot-reason.png 3
stop

# 4. The download directory chooser, opened from the folder button, with its new-name field.
settings "http://127.0.0.1:$port/index.html" 0
start
xdotool mousemove $(at 948 74) click --repeat 2 1
sleep 1
xdotool key alt+n
xdotool type --delay 50 "holiday"
shot screenshot-directory.png 2
stop

# 5. The help window with the user guide.
start
xdotool key alt+h Return
shot screenshot-help.png 2
stop
