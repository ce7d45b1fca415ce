#!/usr/bin/env bash
# The layer rules hold on every build: a scratch tree with the build's own check, built once,
# then edited so that a lower layer includes an upper one; the incremental build must fail, and
# pass again once the edit is undone.
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/cmake"
cp "$source_dir/cmake/LayerCheck.cmake" "$source_dir/cmake/LayerRules.cmake" "$scratch/cmake/"
for folder in platform http rules download core widgets dialogs main; do
    mkdir -p "$scratch/$folder"
    printf '#pragma once\n#include "platform/p.h"\n' > "$scratch/$folder/$folder.h"
done
cat > "$scratch/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(layer_scratch NONE)
include(cmake/LayerCheck.cmake)
CMAKE
generator=()
command -v ninja > /dev/null && generator=(-G Ninja)
cmake -S "$scratch" -B "$scratch/build" "${generator[@]}" > /dev/null
cmake --build "$scratch/build" > /dev/null

failures=0
# Each case: the file to edit and the line that breaks a rule.
cases=(
    'rules/rules.h|#include "main/main.h"'
    'rules/rules.h|#include "../download/download.h"'
    'http/http.h|#  include "rules/rules.h"'
    'platform/platform.h|  #include <core/core.h>'
    'download/download.h|#include "core/core.h"'
    'core/core.h|# include "widgets/widgets.h"'
    'widgets/widgets.h|#include "main/main.h"'
    'dialogs/dialogs.h|#include "./main/main.h"'
    'rules/rules.h|#include <QWidget>'
)
for entry in "${cases[@]}"; do
    file=${entry%%|*}
    line=${entry#*|}
    cp "$scratch/$file" "$scratch/$file.orig"
    printf '%s\n' "$line" >> "$scratch/$file"
    if cmake --build "$scratch/build" > "$scratch/out" 2>&1; then
        echo "FAIL: the build passed with '$line' in $file"
        failures=$((failures + 1))
    elif ! grep -q "$file" "$scratch/out"; then
        echo "FAIL: the failed build does not name $file"
        cat "$scratch/out"
        failures=$((failures + 1))
    fi
    mv "$scratch/$file.orig" "$scratch/$file"
    touch "$scratch/$file"
    if ! cmake --build "$scratch/build" > "$scratch/out" 2>&1; then
        echo "FAIL: the build stays broken after undoing '$line' in $file"
        cat "$scratch/out"
        failures=$((failures + 1))
    fi
done
# Allowed includes: the main window includes everything, a dialog a widget, a rule the socket layer.
printf '#include "dialogs/dialogs.h"\n#include "core/core.h"\n' >> "$scratch/main/main.h"
printf '#include "widgets/widgets.h"\n' >> "$scratch/dialogs/dialogs.h"
printf '#include "http/http.h"\n' >> "$scratch/rules/rules.h"
if ! cmake --build "$scratch/build" > "$scratch/out" 2>&1; then
    echo "FAIL: allowed includes break the build"
    cat "$scratch/out"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "layer check: all cases hold"
exit "$failures"
