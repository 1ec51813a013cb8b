# The window under Wine on the virtual bench, as the GUI test and the guide's pictures both set
# it up: the window's registry keys, the bench behind a pseudo-terminal that Wine offers as
# COM7, a firmware image, and what an exit must stop (its trap). Sourced; the caller sets root,
# work, driver_exe, sim and WINEPREFIX, and defines fail.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
settings_key='HKCU\Software\Orvik\Quillorn'
ports_key='HKLM\Software\Wine\Ports'
sim_pid="" app_pid=""

# The prefix made on first use; the window's settings of an earlier run gone.
prepare_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  wine reg delete "$settings_key" /f >/dev/null 2>&1 || true
  "$root/scripts/wine-fonts.sh"
}

# A value the window stored under its key, as reg prints it ("0x7").
stored() { wine reg query "$settings_key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {print $3}'; }

# The bench on a new pseudo-terminal (its first output line, in $work/sim.out), which Wine
# offers as COM7, the window's port at 57600 bit/s. A new wineserver reads the ports again.
start_bench_as_com7() {  # quillorn-sim options...
  : >"$work/sim.out"
  "$sim" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  local tty
  tty="$(head -n1 "$work/sim.out")"
  [ -n "$tty" ] || fail "quillorn-sim did not start: $(cat "$work/sim.err")"
  wine reg add "$ports_key" /v COM7 /t REG_SZ /d "$tty" /f >/dev/null
  wine reg add "$settings_key" /v COM /t REG_DWORD /d 7 /f >/dev/null
  wine reg add "$settings_key" /v Baud /t REG_DWORD /d 57600 /f >/dev/null
  wineserver -k || true
  wineserver -w || true
}

stop_bench() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  sim_pid=""
}

# Whatever ends the script: the window (through the driver, then by signal), the bench, Wine
# and the work folder go, and the script's own exit status stays.
clean_up_on_exit() {
  local status=$?
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    timeout 30 wine "$driver_exe" kill >/dev/null 2>&1 || true
    kill "$app_pid" 2>/dev/null || true
  fi
  stop_bench || true
  timeout 30 wineserver -k 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap clean_up_on_exit EXIT

# 64 KiB that start like program code (a jump), random otherwise, with a passport at 0x6020.
firmware_image() {  # file version date engine (16 characters each at most)
  perl -e '
    srand(7);
    my @b = map { int(rand(256)) } 0 .. 65535;
    $b[0] = 0x02;
    my %p = (0x6020 => $ARGV[0], 0x6030 => $ARGV[1], 0x6040 => $ARGV[2]);
    while (my ($a, $t) = each %p) { $t = sprintf("%-16s", $t); $b[$a + $_] = ord(substr($t, $_, 1)) for 0 .. 15 }
    print pack("C*", @b);' "$2" "$3" "$4" >"$1"
}
