#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is missing.
set -euo pipefail
pkgs=(build-essential cmake clang libclang-rt-14-dev
      qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
      libbenchmark-dev zlib1g-dev libzstd-dev libsqlite3-dev
      fonts-dejavu-core dpkg-dev
      postgresql libqt6sql6-psql libpq-dev)
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
