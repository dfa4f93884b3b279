#!/usr/bin/env bash
# Compiles every program source syntax-only for Windows with MinGW-w64,
# against the Qt 6 headers installed for Linux. It is a guard against
# Linux-only code left outside an "#ifdef Q_OS_LINUX", not a Windows build:
# nothing is linked, no Windows Qt is involved, and Qt's headers still carry
# the feature settings of Debian's Linux build.
#
# The sources are those git tracks (outside a git work tree, all there are),
# less the simulator, the tests, the benchmark, the fuzz targets and the test
# fakes, none of which runs on Windows. Prints the number of sources checked
# last; exits 1 if any fails.
# The compiler comes from Debian's g++-mingw-w64-x86-64-posix, which
# `HDMI_WITH_WINDOWS=1 tools/install-deps.sh` installs (tools/test.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
qt=${QT6_INCLUDE:-/usr/include/x86_64-linux-gnu/qt6}
command -v "$cxx" >/dev/null || {
    echo "windows-guard: $cxx missing (HDMI_WITH_WINDOWS=1 tools/install-deps.sh)" >&2
    exit 1
}
[[ -f $qt/QtCore/qglobal.h ]] || {
    echo "windows-guard: no Qt 6 headers in $qt (set QT6_INCLUDE)" >&2
    exit 1
}

flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Werror -I.)
# -isystem: Qt's own headers are not ours to keep free of warnings.
for m in QtCore QtGui QtWidgets QtSerialPort QtNetwork QtTest QtHttpServer QtWebSockets; do
    flags+=(-isystem "$qt/$m")
done
flags+=(-isystem "$qt")
# What Qt's CMake packages define for a MinGW target linking these modules.
flags+=(-DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_SERIALPORT_LIB -DQT_NETWORK_LIB
    -DQT_TESTLIB_LIB -DQT_HTTPSERVER_LIB -DQT_WEBSOCKETS_LIB -DUNICODE -D_UNICODE
    -DMINGW_HAS_SECURE_API=1)
# What the build defines for the MQTT front end.
flags+=(-DHDMI_MATRIX_VERSION='"0"')

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t sources < <(git ls-files -- '*.cpp' \
        ':!:sim/' ':!:tests/' ':!:bench/' ':!:fuzz/' ':!:testing/')
else # an unpacked source archive
    mapfile -t sources < <(find . -name '*.cpp' -not -path './build*' -not -path './sim/*' \
        -not -path './tests/*' -not -path './bench/*' -not -path './fuzz/*' \
        -not -path './testing/*' -printf '%P\n' | sort)
fi
[[ ${#sources[@]} -gt 0 ]] || {
    echo "windows-guard: no sources found" >&2
    exit 1
}

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
# libmosquitto's and libsodium's headers serve Windows as well; they alone
# of /usr/include are made visible (the rest is Linux's and would hide
# Linux-only includes).
mkdir "$log/include"
ln -s /usr/include/mosquitto.h /usr/include/sodium.h /usr/include/sodium "$log/include/"
flags+=(-isystem "$log/include")
export cxx log
# One compiler per core; each failure keeps its messages in its own file.
printf '%s\n' "${sources[@]}" |
    xargs -d '\n' -n1 -P"$(nproc)" bash -c \
        'f=${!#}; "$cxx" "${@:1:$#-1}" "$f" >"$log/${f//\//_}.err" 2>&1 || echo "$f" >>"$log/failed"' \
        bash "${flags[@]}"

if [[ -s $log/failed ]]; then
    while read -r f; do
        echo "-- $f"
        cat "$log/${f//\//_}.err"
    done < <(sort "$log/failed")
    echo "windows-guard: $(wc -l <"$log/failed") of ${#sources[@]} sources fail for Windows" >&2
    exit 1
fi
echo "windows-guard: ${#sources[@]} sources pass for Windows"
