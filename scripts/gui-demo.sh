#!/usr/bin/env bash
# The window on Linux, no hardware needed: Quillorn.exe runs under Wine against the virtual
# bench (quillorn-sim) on a pseudo-terminal that Wine offers as COM7. The bench keeps its flash
# and EEPROM in build/gui-demo/ between runs, like a real ECU between two connections.
#   scripts/gui-demo.sh [model]      model: january5 (default), vs51, january72, mikas7, m797, m10
# Needs an X display (DISPLAY); without one it runs headless under Xvfb and saves a screenshot.
# QUILLORN_SIM / QUILLORN_EXE name other builds of quillorn-sim and Quillorn.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
model="${1:-january5}"
demo="$root/build/gui-demo"
mkdir -p "$demo"

sim="${QUILLORN_SIM:-build/native/sim/quillorn-sim}"
exe="${QUILLORN_EXE:-build/windows/app/Quillorn.exe}"
if [ ! -x "$sim" ] || [ ! -f "$exe" ]; then
  echo "Building the bench and the window (once)..."
  scripts/install-deps.sh
  cmake --preset native >/dev/null
  cmake --build --preset native --target quillorn-sim >/dev/null
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target Quillorn >/dev/null
fi

export WINEPREFIX="$demo/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing Wine for the demo (once, about a minute)..."
  wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
scripts/wine-fonts.sh

# A firmware image to program: starts like ECU code (0x02), passport at 0x6020.
sample="$demo/sample-firmware.bin"
if [ ! -f "$sample" ]; then
  perl -e '
    my @b = map { ($_ * 13 + 5) & 0xFF } 0 .. 65535;
    $b[0] = 0x02;
    my %p = (0x6020 => "DEMO-FW 2.0     ", 0x6030 => "07.12.2026      ", 0x6040 => "VAZ-21126 1.6L  ");
    while (my ($a, $t) = each %p) { $b[$a + $_] = ord(substr($t, $_, 1)) for 0 .. 15 }
    print pack("C*", @b);' > "$sample"
fi

sim_out="$demo/sim.out"
: > "$sim_out"
"$sim" --model "$model" --flash "$demo/$model-flash.bin" --eeprom "$demo/$model-eeprom.bin" \
  >"$sim_out" 2>"$demo/sim.log" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$sim_out" ] && break; sleep 0.1; done
tty="$(head -n1 "$sim_out")"
[ -n "$tty" ] || { echo "quillorn-sim did not start:" >&2; cat "$demo/sim.log" >&2; exit 1; }

# COM7 is the bench; the window starts on it with the model's family.
case "$model" in
  mikas7) ecu=1 ;; vs51) ecu=2 ;; january72) ecu=3 ;; m797) ecu=4 ;; m10) ecu=5 ;; *) ecu=0 ;;
esac
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$tty" /f >/dev/null
wine reg add 'HKCU\Software\Orvik\Quillorn' /v COM /t REG_DWORD /d 7 /f >/dev/null
wine reg add 'HKCU\Software\Orvik\Quillorn' /v ECU /t REG_DWORD /d "$ecu" /f >/dev/null
wineserver -k || true
wineserver -w || true

cat <<TEXT
The virtual $model ECU is on COM7 ($tty).
In the window: wait for "Связь с ЭБУ" at the bottom right, then
  "Программирование ЭБУ" and choose  Z:${sample//\//\\}
  "Чтение ЭБУ" and save it anywhere, e.g. Z:${demo//\//\\}\\read.bin
Close the window to end the demo; the bench keeps the ECU's memory in $demo.
TEXT

if [ -n "${DISPLAY:-}" ]; then
  wine "$exe"
else
  echo "No X display: running under Xvfb for 20 seconds and saving $demo/window.png"
  xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    wine "'"$exe"'" & app=$!
    sleep 20
    import -window root "'"$demo"'/window.png"
    wineserver -k; wait $app 2>/dev/null || true'
fi
