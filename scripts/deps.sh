#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing: what the program needs to build and run,
# and with `test` also the test tooling (clang for the fuzz targets and the sanitizers, Google
# Benchmark, a PostgreSQL server, the desktop file and AppStream checkers).
set -euo pipefail
pkgs=(build-essential cmake dpkg-dev
      qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev
      libsqlite3-dev libpq-dev fonts-dejavu-core)
if [ "${1:-}" = test ]; then
    pkgs+=(clang libclang-rt-14-dev libbenchmark-dev zlib1g-dev libzstd-dev
           postgresql man-db appstream desktop-file-utils)
fi
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
