#!/usr/bin/env bash
# Installs what Kelvorn needs on Debian 12; does nothing when everything is already there.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libjpeg-dev libssl-dev openssl
          libgumbo-dev libcurl4-openssl-dev python3 curl dpkg-dev file desktop-file-utils appstream xvfb xauth xdotool strace
          nginx-light time
          clang libclang-rt-14-dev clang-format ccache)
# The session and the download history.
packages+=(libsqlite3-dev)
# The pictures are drawn from their SVG sources.
packages+=(qt6-svg-dev)
# WebP pictures in the preview and their sizes before download (Qt's image format plug-ins).
packages+=(qt6-image-formats-plugins)
# The command-line harvester's hand-off is tested against a real aria2 daemon; its benchmark
# sets it beside wget2 and aria2c and times its start-up with hyperfine.
packages+=(aria2 wget2 hyperfine)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
