#!/usr/bin/env bash
# Renders the icon's PNG sizes from dist/icons/com.veltrane.Diagnostic.svg into
# dist/icons/SIZE.png; run it after changing the SVG and commit the PNGs.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
command -v rsvg-convert >/dev/null || {
    echo "rsvg-convert not found: install librsvg2-bin" >&2
    exit 1
}
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$repo/dist/icons/com.veltrane.Diagnostic.svg" \
        -o "$repo/dist/icons/$size.png"
done
# The window's bundled level icons, for desktops whose icon theme lacks them.
for svg in "$repo"/src/ui/icons/*.svg; do
    for size in 16 24 32 48; do
        rsvg-convert -w "$size" -h "$size" "$svg" -o "${svg%.svg}-$size.png"
    done
done
