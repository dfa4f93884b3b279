#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the tests and the
# simulator need and the machine lacks. Run as root (or with sudo available).
set -euo pipefail

packages=(
    build-essential cmake
    qt6-base-dev qt6-serialport-dev libgl1-mesa-dev
    fonts-liberation fonts-dejavu-core
)
# Only the fuzz targets need clang and its sanitizer runtime.
if [[ "${HDMI_WITH_FUZZ:-0}" == 1 ]]; then
    packages+=(clang libclang-rt-14-dev)
fi
# The decoder's reference test runs Debian's independent EDID decoder.
if [[ "${HDMI_WITH_TESTS:-0}" == 1 ]]; then
    packages+=(edid-decode)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
