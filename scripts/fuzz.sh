#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and AddressSanitizer and gives each a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_BUILD=${FUZZ_BUILD:-build-fuzz}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-20}
targets=$(find fuzz -mindepth 2 -name CMakeLists.txt | wc -l)
if [ "$targets" -eq 0 ]; then
    echo "no fuzz targets"
    exit 0
fi
cmake -S . -B "$FUZZ_BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTARNVALE_FUZZ=ON -DTARNVALE_BENCH=OFF >/dev/null
cmake --build "$FUZZ_BUILD" -j "$(nproc)" --target tarnvale_fuzzers
status=0
for exe in "$FUZZ_BUILD"/fuzz/*/fuzz_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    name=$(basename "$exe")
    corpus="$FUZZ_BUILD/corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/$(basename "$(dirname "$exe")")/seeds"
    echo "fuzzing $name for ${SECONDS_PER_TARGET}s"
    if [ -d "$seeds" ]; then
        "$exe" -artifact_prefix="$FUZZ_BUILD/" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -rss_limit_mb=2048 "$corpus" "$seeds" 2>"$FUZZ_BUILD/$name.log" || status=1
    else
        "$exe" -artifact_prefix="$FUZZ_BUILD/" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -rss_limit_mb=2048 "$corpus" 2>"$FUZZ_BUILD/$name.log" || status=1
    fi
    tail -n 2 "$FUZZ_BUILD/$name.log"
done
if [ $status -ne 0 ]; then
    echo "a fuzz target failed; see $FUZZ_BUILD/*.log"
fi
exit $status
