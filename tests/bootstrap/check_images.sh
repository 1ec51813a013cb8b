#!/bin/sh
# Rebuilds both bootstrap images from bootstrap/ and fails when the committed
# resources/BootstrapImages.* differ from what the sources give.
# Usage: check_images.sh SOURCE_DIR WORK_DIR. Exit 77 (skipped) without the 8051 tools, a
# failure instead where the tools are required (tests/required_tool.sh).
set -eu

src=$1
work=$2
. "$src/tests/required_tool.sh"

for tool in sdas8051 sdld sdobjcopy; do
    command -v "$tool" >/dev/null 2>&1 || missing_tool bootstrap_images_current "$tool (Debian package sdcc)"
done

rm -rf "$work"
mkdir -p "$work"
"$src/bootstrap/build.sh" "$work/images"
"$src/bootstrap/gen_resources.sh" "$work/images" "$work/resources"

status=0

# The build must refuse an image whose code outgrows its fixed length, not cut it.
mkdir -p "$work/oversize"
cp "$src/bootstrap/build.sh" "$src/bootstrap/common.inc" "$src/bootstrap/january.asm" \
   "$src/bootstrap/mikas.asm" "$work/oversize/"
printf '\t.ds 100\n\t.db 0\n' >> "$work/oversize/mikas.asm"
if sh "$work/oversize/build.sh" "$work/oversize/images" > "$work/oversize/log" 2>&1; then
    echo "build.sh accepted a Микас image past 1069 bytes"
    status=1
fi

for file in BootstrapImages.hpp BootstrapImages.cpp; do
    if ! cmp -s "$work/resources/$file" "$src/resources/$file"; then
        echo "resources/$file differs from a fresh build of bootstrap/ (run bootstrap/build.sh and bootstrap/gen_resources.sh):"
        diff "$src/resources/$file" "$work/resources/$file" | head -20 || true
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "resources/BootstrapImages.* match bootstrap/"
exit "$status"
