#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the tests and the
# simulator need and the machine lacks. Run as root (or with sudo available).
set -euo pipefail

packages=(
    build-essential cmake
    # cpack -G DEB finds the package's dependencies with dpkg-shlibdeps.
    dpkg-dev
    qt6-base-dev qt6-serialport-dev libgl1-mesa-dev
    # hdmi-matrix-server announces its Videohub service over mDNS through the
    # avahi daemon (client library), and tells systemd it is ready and alive
    # (sd_notify READY and WATCHDOG).
    libavahi-client-dev libsystemd-dev pkg-config
    # Qt's private platform header: test_main_window switches Qt's
    # accessibility on with it, as Qt's own tests do (the tests are always
    # built).
    qt6-base-private-dev
    fonts-liberation fonts-dejavu-core
    # The server's MQTT front end talks to the broker through libmosquitto.
    libmosquitto-dev
    # Its web page and JSON API: Qt HTTP Server, and Qt WebSockets for the
    # live events.
    qt6-httpserver-dev qt6-websockets-dev
    # The web accounts' password and token hashes and random tokens.
    libsodium-dev
)
# Tools only the tests use: the package test validates the desktop entry,
# and the decoder's reference test runs Debian's independent EDID decoder.
if [[ "${HDMI_WITH_TESTS:-0}" == 1 ]]; then
    packages+=(desktop-file-utils edid-decode)
    # The MQTT tests start a real broker of their own on the loopback address.
    packages+=(mosquitto)
    # ... and make a throwaway CA and broker certificate for its TLS listener.
    packages+=(openssl)
    # The mDNS test gives the server a D-Bus system bus of its own, without
    # avahi on it, never the machine's.
    packages+=(dbus-daemon)
    # The web page in a real headless browser driven through WebDriver, and
    # the API's OpenAPI document and answers checked against their schemas.
    packages+=(chromium chromium-driver python3-selenium python3-jsonschema openapi-specification)
    # The metrics: promtool checks the page and the alert rules, and the
    # monitoring test runs a Prometheus of its own on the loopback address
    # (never the package's service).
    packages+=(prometheus)
fi
# Only tools/windows-guard.sh needs the MinGW-w64 compiler (and git, to list
# the sources).
if [[ "${HDMI_WITH_WINDOWS:-0}" == 1 ]]; then
    packages+=(g++-mingw-w64-x86-64-posix git)
fi
# Only the fuzz targets need clang and its sanitizer runtime.
if [[ "${HDMI_WITH_FUZZ:-0}" == 1 ]]; then
    packages+=(clang libclang-rt-14-dev)
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
