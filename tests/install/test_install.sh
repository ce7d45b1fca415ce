#!/usr/bin/env bash
# Installs the build into a private DESTDIR and starts the installed program under Xvfb with a
# private HOME: it must find its help file in the installed share/kelvorn/, load list files from
# the per-user data directory and save them back there on exit.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x800x24" bash "$0" "$@"
fi
work=$(mktemp -d)
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$work/root cmake --install "$build" --prefix /usr >/dev/null
root=$work/root/usr
for f in bin/kelvorn bin/kelvorn-get share/man/man1/kelvorn-get.1 \
         share/bash-completion/completions/kelvorn-get share/kelvorn/Kelvorn.rtf share/applications/kelvorn.desktop \
         share/metainfo/org.kelvorn.Kelvorn.metainfo.xml \
         share/icons/hicolor/scalable/apps/kelvorn.svg share/icons/hicolor/48x48/apps/kelvorn.png; do
    [ -f "$root/$f" ] || fail "not installed: $f"
done
[ -e "$root/bin/Kelvorn.rtf" ] && fail "the help file must not lie beside the installed program"
# The command-line harvester starts without a display and links no window toolkit.
env -u DISPLAY "$root/bin/kelvorn-get" --version | grep -q '^kelvorn-get ' || fail "kelvorn-get --version"
ldd "$root/bin/kelvorn-get" | grep -qE 'libQt6(Gui|Widgets)' && fail "kelvorn-get links Qt Gui or Widgets"
man -l "$root/share/man/man1/kelvorn-get.1" >/dev/null 2>&1 || [ ! -x /usr/bin/man ] ||
    fail "the manual page of kelvorn-get does not format"
bash -c "source '$root/share/bash-completion/completions/kelvorn-get' && complete -p kelvorn-get" >/dev/null ||
    fail "the bash completion of kelvorn-get does not load"

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
data=$XDG_DATA_HOME/Kelvorn
mkdir -p "$XDG_CONFIG_HOME/Kelvorn" "$data" "$work/downloads"
# Lists saved by an earlier run: one document, one file (records of 259 and 316 bytes).
python3 - "$data" <<'PY'
import struct, sys
def field(text, size):
    return bytes([len(text)]) + text + b"." * (size - 1 - len(text))
d = sys.argv[1]
doc = field(b"http://127.0.0.1/gallery.html", 256) + b"\0" + struct.pack("<h", -1)
fil = (field(b"http://127.0.0.1/picture.jpg", 256) + b"\1" + struct.pack("<h", -1)
       + field(b"picture.jpg", 41) + field(b"", 16))
assert len(doc) == 259 and len(fil) == 316
open(d + "/Kelvorn.dir", "wb").write(doc)
open(d + "/Kelvorn.fil", "wb").write(fil)
PY
# Options are read in a fixed order up to the first absent one: AutoSave is the third.
cat >"$XDG_CONFIG_HOME/Kelvorn/Kelvorn.conf" <<CONF
[SoftWare]
Kelvorn\\LastDocument=http://127.0.0.1/index.html
Kelvorn\\DownloadDir=$work/downloads
Kelvorn\\SkipFile=1
Kelvorn\\AutoDownload=0
Kelvorn\\AutoSave=1
CONF
# Saving replaces the files, so their inodes tell whether the exit wrote them.
before="$(stat -c %i "$data/Kelvorn.dir") $(stat -c %i "$data/Kelvorn.fil")"

QT_QPA_PLATFORM=xcb strace -f -qq -e trace=openat -o "$work/trace" "$root/bin/kelvorn" &
program_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Kelvorn' | head -1)
[ -n "$window" ] || fail "the installed program showed no window"
xdotool windowfocus --sync "$window"
# On a loaded machine a menu can open after the keys meant for it have gone, so each menu command
# is sent again (after closing whatever menu is open) until its effect shows.
menu_keys() {
    xdotool windowfocus --sync "$window" key Escape key Escape key alt+f sleep 0.5 key "$@" 2>/dev/null || true
}
# File > "Load links && file list from disk" (the first item), then its information box.
box=
for i in $(seq 600); do
    [ $((i % 50)) -eq 1 ] && menu_keys Return
    box=$(xdotool search --onlyvisible --name '^Information$' 2>/dev/null | head -1 || true)
    [ -n "$box" ] && break
    sleep 0.1
done
[ -n "$box" ] || fail "no message after loading the lists"
xdotool windowfocus --sync "$box" key Return
# File > Quit (the last item): the lists are saved on exit. Saving on exit confirms with a message
# of its own; answer it too.
for i in $(seq 900); do
    kill -0 "$program_pid" 2>/dev/null || break
    boxes=$(xdotool search --onlyvisible --name '^Information$' 2>/dev/null || true)
    for box in $boxes; do
        xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
    done
    [ -z "$boxes" ] && [ $((i % 50)) -eq 1 ] && menu_keys Up Return
    sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end after Quit"
program_pid=

grep -E "openat\(.*$root/share/kelvorn/Kelvorn.rtf\".*= [0-9]+$" "$work/trace" >/dev/null ||
    fail "the help file was not read from the installed share/kelvorn/"
grep -q 'picture.jpg' "$data/Kelvorn.fil" || fail "the file list was not loaded and saved back"
grep -q 'gallery.html' "$data/Kelvorn.dir" || fail "the document list was not loaded and saved back"
after="$(stat -c %i "$data/Kelvorn.dir") $(stat -c %i "$data/Kelvorn.fil")"
[ "$before" != "$after" ] || fail "the lists were not written in the data directory on exit"
[ -f "$XDG_CONFIG_HOME/Kelvorn/Kelvorn.conf" ] || fail "no settings written"
echo "installed program: help file, list files and settings where they belong"
