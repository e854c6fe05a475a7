#!/usr/bin/env bash
# Runs every benchmark of the build folder given as $1 (default build).
set -euo pipefail
BUILD=${1:-build}
for exe in "$BUILD"/bench/bench_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    echo "== $(basename "$exe")"
    "$exe"
done
