#!/usr/bin/env bash
# Instruction counts of the native search against the bare sqlite3 scan, from callgrind:
# repeatable whatever else the machine is doing.
# Usage: count_instructions.sh [build] [records: 100000 (default) or 1000000]
set -euo pipefail
BUILD=${1:-build}
RECORDS=${2:-100000}
out=$(mktemp -d)
valgrind --tool=callgrind --callgrind-out-file="$out/cg.%p" "$BUILD/bench/bench_search" --instructions "$RECORDS" >/dev/null 2>"$out/log"
for f in "$out"/cg.*; do
    name=$(sed -n 's/^desc: Trigger: Client Request: //p' "$f")
    total=$(sed -n 's/^totals: //p' "$f" | awk '{print $1}')
    [ -n "$name" ] || continue
    echo "$name $total"
done | sort > "$out/totals"
bare=$(awk '$1=="bare_sqlite3_scan"{print $2}' "$out/totals")
awk -v bare="$bare" '{ printf "%-18s %14.0f instructions, %.2fx bare sqlite3 scan\n", $1, $2, $2 / bare }' "$out/totals"
rm -rf "$out"
