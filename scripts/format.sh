#!/usr/bin/env bash
# Formats every C++ source after .clang-format; with --check, changes nothing and fails when a
# file strays from it.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    # A copy without its history: every source outside the build trees.
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
[ ${#files[@]} -gt 0 ] || { echo "format.sh: no sources found" >&2; exit 1; }
if [ "${1:-}" = "--check" ]; then
    clang-format --style=file --dry-run --Werror "${files[@]}"
else
    clang-format --style=file -i "${files[@]}"
fi
