#!/usr/bin/env bash
# Instruction counts of the native search against the bare sqlite3 scan (100,000 records),
# from callgrind: repeatable whatever else the machine is doing. Usage: count_instructions.sh [build]
set -euo pipefail
BUILD=${1:-build}
out=$(mktemp -d)
valgrind --tool=callgrind --callgrind-out-file="$out/cg.%p" "$BUILD/bench/bench_search" --instructions >/dev/null 2>"$out/log"
bare=0
for f in "$out"/cg.*; do
    name=$(sed -n 's/^desc: Trigger: Client Request: //p' "$f")
    total=$(sed -n 's/^totals: //p' "$f" | awk '{print $1}')
    [ -n "$name" ] || continue
    echo "$name $total"
done | sort > "$out/totals"
bare=$(awk '$1=="bare_sqlite3_scan"{print $2}' "$out/totals")
awk -v bare="$bare" '{ printf "%-18s %13d instructions, %.2fx bare sqlite3 scan\n", $1, $2, $2 / bare }' "$out/totals"
rm -rf "$out"
