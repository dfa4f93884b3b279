#!/usr/bin/env bash
# Builds the Debian package from the build folder into a temporary folder and
# checks what it holds and declares; nothing is installed. Registered with
# CTest by packaging.cmake.
#   test_package.sh BUILD_DIR VERSION PROGRAM...
set -euo pipefail
build=$1 version=$2
shift 2
programs=("$@")

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
fail() {
    echo "FAIL: $*"
    fails=$((fails + 1))
}

if ! cpack -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$tmp"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || {
    echo "FAIL: not one package: ${debs[*]}"
    exit 1
}
deb=${debs[0]}
echo "package: ${deb##*/}"

# The exact list of regular files: anything from the tests, the benchmark or
# the fuzz targets shows up here, and so does a file gone missing.
expected=(usr/bin/hdmi-matrix-launcher usr/share/applications/hdmi-matrix.desktop
    usr/share/icons/hicolor/scalable/apps/hdmi-matrix.svg usr/share/doc/hdmi-matrix/README.md
    usr/lib/systemd/system/hdmi-matrix-server.service usr/lib/systemd/system/hdmi-matrix-server@.service
    usr/share/doc/hdmi-matrix/hdmi-matrix-server-instance.conf
    usr/share/doc/hdmi-matrix/prometheus-rules.yml usr/share/doc/hdmi-matrix/prometheus-scrape.yml)
for p in "${programs[@]}"; do
    expected+=("usr/bin/$p")
done
dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { sub(/^\.\//, "", $6); print $6, $1, $2 }' |
    sort >"$tmp/files"
if ! diff <(printf '%s\n' "${expected[@]}" | sort) <(cut -d' ' -f1 "$tmp/files"); then
    fail "file list (< expected, > in the package)"
fi
while read -r path mode owner; do
    want=-rw-r--r--
    [[ $path == usr/bin/* ]] && want=-rwxr-xr-x
    [[ $mode == "$want" && $owner == root/root ]] || fail "$path is $mode $owner, not $want root/root"
done <"$tmp/files"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == hdmi-matrix ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), not $version"
arch=$(dpkg --print-architecture)
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture), not $arch"
for f in Maintainer Section Description; do
    [[ -n $(field "$f") ]] || fail "no $f"
done
depends=$(field Depends)
echo "Depends: $depends"
names=$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g' | sed '/^$/d' | sort -u)
if grep -E -- '-dev(:.*)?$' <<<"$names"; then
    fail "Depends names a development package"
fi

# Every Qt library a packaged binary links must be a dependency, by its
# Debian package name (libQt6SerialPort.so.6 is in libqt6serialport6).
dpkg-deb -x "$deb" "$tmp/root"
needed=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins)
for p in "${programs[@]}"; do
    while read -r lib; do
        needed+=("$lib")
    done < <(readelf -d "$tmp/root/usr/bin/$p" |
        sed -n 's/.*(NEEDED).*\[libQt6\([A-Za-z]*\)\.so\.6\]/libqt6\L\1\E6/p')
done
for n in $(printf '%s\n' "${needed[@]}" | sort -u); do
    grep -qx -- "$n" <<<"$names" || fail "Depends lacks $n"
done

desktop=$tmp/root/usr/share/applications/hdmi-matrix.desktop
if command -v desktop-file-validate >/dev/null; then
    # It exits 0 on warnings and hints; those fail here too.
    out=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $out ]] || fail "desktop entry: $out"
else
    echo "skipped: desktop-file-validate missing (HDMI_WITH_TESTS=1 tools/install-deps.sh)"
fi
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -x $tmp/root/usr/bin/$exec_cmd ]] || fail "Exec=$exec_cmd is not a program of the package"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f $tmp/root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "Icon=$icon not in the package"

# The launcher, with the program replaced by a stub that reports the folder
# it was started in.
bin=$tmp/root/usr/bin
printf '#!/bin/sh\npwd >"$STUB_OUT"\n' >"$bin/hdmi-matrix"
chmod +x "$bin/hdmi-matrix"
launch() {
    rm -f "$tmp/ran"
    # By a relative path, which the launcher's change of folder must not break.
    if ! (cd "$tmp" && env -i PATH=/usr/bin:/bin STUB_OUT="$tmp/ran" "$@" \
        root/usr/bin/hdmi-matrix-launcher 2>"$tmp/launch.err"); then
        fail "launcher failed ($*): $(cat "$tmp/launch.err")"
    fi
    got=$(cat "$tmp/ran" 2>/dev/null || true)
}
home="$tmp/home dir"
mkdir "$home"
for run in first again; do
    launch HOME="$home"
    [[ $got == "$home/.local/share/hdmi-matrix" && -d $got ]] || fail "$run start: ran in '$got'"
done
launch HOME="$home" XDG_DATA_HOME="$tmp/xdg"
[[ $got == "$tmp/xdg/hdmi-matrix" ]] || fail "with XDG_DATA_HOME: ran in '$got'"
# A home where the folder cannot be made: the program still starts.
launch HOME="$tmp/cpack.log"
[[ $got == "$tmp" && -s $tmp/launch.err ]] || fail "unusable home: ran in '$got', no message"

[[ $fails -eq 0 ]] || exit 1
echo "package checks passed (${#expected[@]} files)"
