#!/usr/bin/env bash
# The user guide's pictures, taken from the real programs so that they stay current: the window
# under Wine + Xvfb against the virtual bench in four states (no link, link, a job running, a
# failure), and runs of the command-line client on the in-process bench rendered to PNG.
# Writes docs/ru/images/*.png (committed with the guide).
#   scripts/guide-pictures.sh
# Needs the Windows build (build/windows: Quillorn.exe and the GUI test's driver) and the native
# one (build/native: quillorn, quillorn-sim), Wine, Xvfb and ImageMagick.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
images="$root/docs/ru/images"
app_exe="$root/build/windows/app/Quillorn.exe"
driver_exe="$root/build/windows/tests/app/gui_driver.exe"
quillorn="$root/build/native/cli/quillorn"
sim="$root/build/native/sim/quillorn-sim"
# A monospace font with Cyrillic letters for the terminal pictures.
terminal_font="${QUILLORN_TERMINAL_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf}"

if [ "${1:-}" != "--inside-x" ]; then
  for tool in wine wineserver xvfb-run import convert; do
    command -v "$tool" >/dev/null || { echo "guide-pictures: $tool is missing" >&2; exit 1; }
  done
  for program in "$app_exe" "$driver_exe" "$quillorn" "$sim"; do
    [ -x "$program" ] || [ -f "$program" ] || {
      echo "guide-pictures: $program is missing; build it first:" >&2
      echo "  cmake --preset windows && cmake --build build/windows --target Quillorn gui_driver" >&2
      echo "  cmake --preset native && cmake --build build/native --target quillorn quillorn-sim" >&2
      exit 1
    }
  done
  exec timeout 900 xvfb-run -a -s "-screen 0 1024x768x24 -wr" "$0" --inside-x
fi

export WINEPREFIX="${QUILLORN_GUIDE_WINEPREFIX:-$root/build/guide-wineprefix}"
work="$(mktemp -d /tmp/quillorn-pictures.XXXXXX)"
. "$root/tests/app/wine_bench.sh"

fail() { echo "guide-pictures: FAILED: $*" >&2; exit 1; }
drv() { timeout 900 wine "$driver_exe" "$@" | tr -d '\r'; }

# The bench as COM7, then the window on it.
start_window_on_bench() {  # quillorn-sim options...
  start_bench_as_com7 --model january5 "$@"
  timeout 900 wine "$app_exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  drv wait-window 60 >/dev/null || fail "the window did not come up"
}

close_window() {
  drv close 60 >/dev/null || fail "the window did not close"
  timeout 30 wineserver -k 2>/dev/null || true  # the desktop outlives the window
  wait "$app_pid" || true
  app_pid=""
  stop_bench
}

# The window as it is on screen, with a message box over it when one is open.
picture_of_window() {  # name [box place]
  local place; place="$(drv rect)"
  sleep 0.5
  import -window root "$work/screen.png"
  local crop="$place"
  if [ -n "${2:-}" ]; then crop="$(union_of "$place" "$2")"; fi
  convert "$work/screen.png" -crop "$(with_margin "$crop")" +repage "$images/$1.png"
  echo "guide-pictures: docs/ru/images/$1.png"
}

# Wine's frame reaches a few pixels beyond the place the window reports.
with_margin() {  # WxH+X+Y
  awk -v a="$1" -v m=6 'BEGIN {
    split(a, p, /[x+]/)
    l = p[3] > m ? p[3] - m : 0; t = p[4] > m ? p[4] - m : 0
    printf "%dx%d+%d+%d\n", p[3] + p[1] + m - l, p[4] + p[2] + m - t, l, t }'
}

union_of() {  # WxH+X+Y WxH+X+Y -> the smallest place holding both
  awk -v a="$1" -v b="$2" 'BEGIN {
    split(a, p, /[x+]/); split(b, q, /[x+]/)
    l = p[3] < q[3] ? p[3] : q[3]; t = p[4] < q[4] ? p[4] : q[4]
    r = p[3] + p[1] > q[3] + q[1] ? p[3] + p[1] : q[3] + q[1]
    d = p[4] + p[2] > q[4] + q[2] ? p[4] + p[2] : q[4] + q[2]
    printf "%dx%d+%d+%d\n", r - l, d - t, l, t }'
}

# A terminal's text as a picture: the command line, then what the run printed.
picture_of_terminal() {  # name text-file
  convert -background '#1e1e1e' -fill '#e0e0e0' -font "$terminal_font" -pointsize 15 \
    label:"$(cat "$2")" -bordercolor '#1e1e1e' -border 14 "$images/$1.png"
  echo "guide-pictures: docs/ru/images/$1.png"
}

mkdir -p "$images"
prepare_wine_prefix
# Every program in one desktop of Wine's own, which draws the title bars that Xvfb (no window
# manager) would leave out; the driver runs in it too, so it finds the window.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 760x520 /f >/dev/null
# The title bar's buttons are drawn with Wine's Marlett face.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] && wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
  /v 'Marlett (TrueType)' /t REG_SZ /d "Z:${marlett//\//\\}" /f >/dev/null
# The window's files in a folder of drive C:, so that a message naming one reads as a user's.
files="$WINEPREFIX/drive_c/Прошивки"
mkdir -p "$files"
firmware_image "$files/прошивка.bin" J5V05L05 08.12.2026 "VAZ-21126 1.6L"
cat "$files/прошивка.bin" "$files/прошивка.bin" >"$files/двойная.bin"

# 1. The programmer answers, the ECU does not: the window keeps looking for it.
start_window_on_bench --no-ecu
drv wait-text panel2 " Нет связи " 60 || fail "the window did not show the missing link"
picture_of_window window-nolink
close_window

# 2. The link is up; 3. a flash write is under way; 4. a file too large is refused.
start_window_on_bench --flash "$work/ecu-flash.bin"
drv wait-text panel2 "Связь с ЭБУ" 60 || fail "no link to the bench"
drv wait-enabled WriteECU 30 || fail "WriteECU stays disabled"
picture_of_window window-link

drv click WriteECU
drv file-dialog "Загрузить файл" "C:\\Прошивки\\прошивка.bin" 60 || fail "the open dialog"
# Well into the flash write (its bootstrap's upload counts its own percent first).
for _ in $(seq 600); do
  stage="$(drv text panel0 || true)" percent="$(drv text panel1 || true)"
  [ "$stage" = "Загрузка..." ] && [ "${percent%\%}" -ge 30 ] 2>/dev/null && break
  sleep 0.2
done
picture_of_window window-job
result="$(drv message 900)" || fail "the write did not end with a message"
echo "guide-pictures: the write ended with \"$result\""
drv wait-enabled WriteECU 120 || fail "WriteECU stays disabled after the write"

drv click WriteECU
drv file-dialog "Загрузить файл" "C:\\Прошивки\\двойная.bin" 60 || fail "the open dialog"
box="$(drv box-rect 60)" || fail "the refusal was not shown"
picture_of_window window-failure "$box"
drv message 30 >/dev/null
close_window

# The command-line client on the in-process bench, as a terminal shows it.
cp "$files/прошивка.bin" "$files/двойная.bin" "$work/"
cd "$work"
bench="sim:january5,flash=$work/cli-flash.bin,eeprom=$work/cli-eeprom.bin"
# Backups go where a user's would, shown as the home folder "~".
export XDG_DATA_HOME="$work/home/.local/share"
# Output and progress in the order they were printed; of the progress lines each stage's
# first and last are kept (a terminal shows them as one bar that fills). The bench's port
# reads as the COM3 a user would have.
run() {  # picture-name command words...
  local name="$1"; shift
  { printf '$ quillorn'; printf ' %s' "$@" | sed "s|$bench|COM3|g"; printf '\n'
    stdbuf -oL -eL "$quillorn" "$@" 2>&1 | grep -v ' [1-9][0-9]\?%$' | sed "s|$work/home|~|g; s|$work/||g; s|$bench|COM3|g" || true
  } >"$work/$name.txt"
  picture_of_terminal "$name" "$work/$name.txt"
}
run cli-write write --port "$bench" --ecu january5 прошивка.bin
run cli-refusal write --port "$bench" --ecu january5 двойная.bin
run cli-eeprom-read eeprom-read --port "$bench" --ecu january5 immo.eep
echo "guide-pictures: done"
