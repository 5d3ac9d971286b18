#!/usr/bin/env bash
# The .deb holds exactly what `cmake --install` lays out, under /usr, and lintian (when there)
# finds no error in it.
#   check_package.sh <build-dir>
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | sed 's|^\./|./usr/|' | sort) >"$work/installed"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null
deb=$(echo "$work"/deb/velora-softphone_*.deb)
dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {print $6}' | sort >"$work/packaged"
diff -u "$work/installed" "$work/packaged"
grep -qx './usr/share/doc/velora-softphone/examples/provisioning.ini' "$work/packaged"
dpkg-deb -f "$deb" Depends | grep -q liblinphone
if command -v lintian >/dev/null; then
    ! lintian "$deb" 2>/dev/null | grep '^E:'
fi
