#!/usr/bin/env bash
# The main job on the virtual bench, no hardware needed: writes a firmware image into a
# simulated Январь 5.x ECU, reads it back in a second run (the bench keeps its flash in a file
# between runs, as a real ECU keeps it between two connections) and compares the two.
set -euo pipefail
cd "$(dirname "$0")/.."

# The native build's client when there is one; otherwise a build of its own without the
# tests, which needs only the compiler and CMake (not Wine, MinGW or the test framework).
quillorn=build/native/cli/quillorn
if [ ! -x "$quillorn" ]; then
  quillorn=build/demo/cli/quillorn
fi
if [ ! -x "$quillorn" ]; then
  echo "Building quillorn (once)..."
  scripts/install-deps.sh --native
  cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLORN_TESTS=OFF >/dev/null
  cmake --build build/demo --target quillorn >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
firmware="$work/firmware.bin"
# A 64 KiB image that starts like ECU code (0x02) and carries a passport at 0x6020.
perl -e '
  my @b = map { ($_ * 7 + 3) & 0xFF } 0 .. 65535;
  $b[0] = 0x02;
  my %p = (0x6020 => "DEMO-FW 1.0     ", 0x6030 => "07.12.2026      ", 0x6040 => "VAZ-21126 1.6L  ");
  while (my ($a, $t) = each %p) { $b[$a + $_] = ord(substr($t, $_, 1)) for 0 .. 15 }
  print pack("C*", @b);' > "$firmware"

bench="sim:january5,flash=$work/ecu-flash.bin,eeprom=$work/ecu-eeprom.bin"
echo "== 1. Programming the virtual ECU with $(basename "$firmware") (65,536 bytes)"
"$quillorn" write --port "$bench" --ecu january5 "$firmware"
echo
echo "== 2. Reading it back in a new run"
"$quillorn" read --port "$bench" --ecu january5 "$work/readback.bin"
echo
if cmp -s "$firmware" "$work/readback.bin"; then
  echo "== 3. The image read back is identical to the one written."
else
  echo "== 3. MISMATCH between the image written and the one read back." >&2
  exit 1
fi
