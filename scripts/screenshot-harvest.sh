#!/usr/bin/env bash
# Makes docs/screenshot-harvest.png: the real program under Xvfb, after "Get document" (with the
# one-level-up option) on a small generated site served by Python's http.server on 127.0.0.1.
# Needs xvfb-run, ImageMagick's import and convert, and xdotool to press the button.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x800x24" bash "$0" "$@"
fi
command -v xdotool >/dev/null || apt-get install -y xdotool >/dev/null
bash scripts/build.sh >/dev/null

work=$(mktemp -d)
server_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The site: a main page linking to three galleries, each with pictures and an archive.
site=$work/site
mkdir -p "$site/gallery" "$work/downloads" "$work/config/Kelvorn"
{
    echo '<html><body><h1>Holiday pictures</h1>'
    for g in beach mountains city; do echo "<a href=\"gallery/$g.html\">$g</a>"; done
    echo '<a href="files/all-pictures.zip">everything</a> <img src="title.jpg">'
    echo '<a href="mailto:someone@example.html">mail</a></body></html>'
} >"$site/index.html"
for g in beach mountains city; do
    {
        for i in 1 2 3 4; do echo "<a href=\"$g-$i.jpg\"><img src=\"$g-$i-small.jpg\"></a>"; done
        echo "<a href=\"$g.zip\">all of $g</a>"
    } >"$site/gallery/$g.html"
done

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done

# Settings as a user would have left them: the site's address, the one-level-up option on.
cat >"$work/config/Kelvorn/Kelvorn.conf" <<EOF
[SoftWare]
Kelvorn\\LastDocument=http://127.0.0.1:$port/index.html
Kelvorn\\DownloadDir=$work/downloads
Kelvorn\\SkipFile=1
Kelvorn\\AutoDownload=0
Kelvorn\\AutoSave=0
Kelvorn\\BossName=0
Kelvorn\\AddFilesWhenParse=0
Kelvorn\\ParseOneLevelUp=1
Kelvorn\\Beep=0
Kelvorn\\Preview=1
Kelvorn\\IncludeEmb=1
Kelvorn\\PreviewJump=0
Kelvorn\\SaveWindow=0
Kelvorn\\AddLinks=1
Kelvorn\\SelectFirst=1
Kelvorn\\ShowProgress=1
EOF

XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb build/kelvorn &
program_pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Kelvorn' | head -1)
xdotool windowfocus --sync "$window"
xdotool key alt+g  # "&Get document"
# The harvest of this small site takes well under a second; give it ample time.
sleep 4
eval "$(xdotool getwindowgeometry --shell "$window")"
mkdir -p docs
import -window root "$work/root.png"
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage docs/screenshot-harvest.png
echo "docs/screenshot-harvest.png: ${WIDTH}x${HEIGHT}"
