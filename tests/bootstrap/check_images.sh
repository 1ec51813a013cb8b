#!/bin/sh
# Rebuilds both bootstrap images from bootstrap/ and fails when the committed
# resources/BootstrapImages.* differ from what the sources give.
# Usage: check_images.sh SOURCE_DIR WORK_DIR. Exit 77 (skipped) without the 8051 tools.
set -eu

src=$1
work=$2

for tool in sdas8051 sdld sdobjcopy; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed (Debian package sdcc): check skipped"
        exit 77
    fi
done

rm -rf "$work"
mkdir -p "$work"
"$src/bootstrap/build.sh" "$work/images"
"$src/bootstrap/gen_resources.sh" "$work/images" "$work/resources"

status=0
for file in BootstrapImages.hpp BootstrapImages.cpp; do
    if ! cmp -s "$work/resources/$file" "$src/resources/$file"; then
        echo "resources/$file differs from a fresh build of bootstrap/ (run bootstrap/build.sh and bootstrap/gen_resources.sh):"
        diff "$src/resources/$file" "$work/resources/$file" | head -20 || true
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "resources/BootstrapImages.* match bootstrap/"
exit "$status"
