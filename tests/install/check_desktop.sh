#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass the desktop's own validators, every
# screenshot the metainfo names is a picture in docs/, and the icon theme has every size.
#   check_desktop.sh <source-dir>
set -euo pipefail
src=$1
desktop-file-validate "$src/share/applications/velora-softphone.desktop"
metainfo=$(echo "$src"/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "$metainfo"
for shot in $(grep -o '[a-z-]*\.png</image>' "$metainfo" | sed 's|</image>||'); do
    [ -f "$src/docs/$shot" ] || { echo "no docs/$shot"; exit 1; }
done
for size in 16 32 48 64 128 256; do
    icon="$src/share/icons/hicolor/${size}x$size/apps/velora-softphone.png"
    # PNG width and height are the big-endian words at bytes 16 and 20.
    [ "$(od -An --endian=big -tu4 -j16 -N8 "$icon" | xargs)" = "$size $size" ] || { echo "bad $icon"; exit 1; }
done
