#!/bin/sh
# Builds the two bootstrap images from their 8051 sources into OUTDIR (default: build/bootstrap
# under the repository): january.bin (1864 bytes) and mikas.bin (1069 bytes), loaded at 0xF400,
# every unused byte 0xFF. The PC uploads exactly these lengths, so an image whose code no
# longer fits fails the build instead of being cut.
# Needs sdas8051, sdld and sdobjcopy (Debian package sdcc).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
outdir=${1:-"$here/../build/bootstrap"}
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)

LOAD_ADDRESS=$((0xF400))

build_image() {
    name=$1
    size=$2
    cd "$outdir"
    rm -f "$name.rel" "$name.ihx" "$name.bin" "$name.code.bin" "$name.link.log"
    sdas8051 -plosff -I"$here" "$name.rel" "$here/$name.asm"
    # sdld reports some problems (a call out of its 2 KiB block, say) only as a warning.
    if ! sdld -nmuxi "$name.ihx" "$name.rel" > "$name.link.log" 2>&1 ||
        grep -qi -e warning -e error "$name.link.log"; then
        cat "$name.link.log" >&2
        echo "build.sh: linking $name failed" >&2
        exit 1
    fi
    sdobjcopy -I ihex -O binary --gap-fill 0xff "$name.ihx" "$name.code.bin"
    used=$(wc -c < "$name.code.bin")
    if [ "$used" -gt "$size" ]; then
        echo "build.sh: $name needs $used bytes, the image holds $size" >&2
        exit 1
    fi
    padTo=$(printf '0x%X' $((LOAD_ADDRESS + size)))
    sdobjcopy -I ihex -O binary --gap-fill 0xff --pad-to "$padTo" "$name.ihx" "$name.bin"
    actual=$(wc -c < "$name.bin")
    if [ "$actual" -ne "$size" ]; then
        echo "build.sh: $name.bin is $actual bytes, expected $size" >&2
        exit 1
    fi
    echo "$name: $used of $size bytes used"
}

build_image january 1864
build_image mikas 1069
