#!/usr/bin/env bash
# A "ЖВ-4" on a pseudo-terminal: the command-line client through the POSIX backend, with the
# modem-line library from quillorn-sim --modem-lines preloaded. The box is recognised by CTS,
# DTR resets the ECU before each job (an EEPROM write and the read that follows; flash jobs as a
# ЖВ-4 are the Wine GUI test's), every family with a diagnostic software is identified
# after a fast initialisation whose break the bench timed, and without a reachable bench the
# library leaves the terminal as bare as it is.
#   modem_lines_test.sh path/to/quillorn path/to/quillorn-sim
set -u
quillorn=${1:?usage: modem_lines_test.sh quillorn quillorn-sim}
sim=${2:?usage: modem_lines_test.sh quillorn quillorn-sim}
work=$(mktemp -d)
# Writes keep backups in the user's data folder: the test's own, never the real one.
export XDG_DATA_HOME="$work/data"
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
passed=0

check() {  # check <what> <condition...>
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
contains() { grep -qF -- "$2" "$1"; }

start_bench() {  # start_bench <name> <quillorn-sim words...>; sets tty and client_env
  local name=$1; shift
  "$sim" "$@" >"$work/$name.sim.out" 2>"$work/$name.sim.err" &
  sims+=($!)
  for _ in $(seq 100); do [ "$(wc -l <"$work/$name.sim.out")" -ge 2 ] && break; sleep 0.05; done
  tty=$(sed -n 1p "$work/$name.sim.out")
  client_env=$(sed -n 2p "$work/$name.sim.out")
}
client() {  # client <name> <env words> <quillorn args...>; sets rc
  local name=$1 words=$2; shift 2
  # shellcheck disable=SC2086  # the environment is a list of NAME=VALUE words
  env $words timeout 120 "$quillorn" "$@" >"$work/$name.out" 2>"$work/$name.err"
  rc=$?
}
# True when a "break:" line of quillorn-sim is a fast initialisation: idle >= 250 ms, low
# 15-60 ms, high 10-150 ms.
fast_init() {
  awk -v line="$1" 'BEGIN {
    n = split(line, w, " ")
    for (i = 1; i < n; ++i) { if (w[i] == "idle") idle = w[i + 1]; if (w[i] == "low") low = w[i + 1]; if (w[i] == "high") high = w[i + 1] }
    exit !(idle >= 250 && low >= 15 && low <= 60 && high >= 10 && high <= 150) }'
}

# Every family with a diagnostic software on a bench of its own. Two lanes side by side keep the
# test short; within a lane the identifications take turns, as the client's fast initialisation
# times its pattern by spinning and must not crowd the machine's two cores.
families="january5:Январь-5.x vs51:VS-5.1 january72:Январь-7.2 mikas76:Микас-7.6 mikas7:Микас-7.1"
declare -A bench_tty bench_env
for entry in $families; do
  model=${entry%%:*}
  start_bench "$model" --model "$model" --programmer zhv4 --modem-lines
  check "$model: the second line is the client's environment" \
    test "$client_env" != "${client_env#LD_PRELOAD=*libquillorn_modem.so QUILLORN_MODEM=}"
  bench_tty[$model]=$tty
  bench_env[$model]=$client_env
done
identify_lane() {  # identify_lane <model...>: one identification after the other
  for model in "$@"; do
    client "ident-$model" "${bench_env[$model]}" identify --port "${bench_tty[$model]}"
    echo "$rc" >"$work/ident-$model.rc"
  done
}
identify_lane january5 vs51 january72 &
first_lane=$!

# Meanwhile, on one more bench: a client whose side channel leads nowhere sees a bare
# pseudo-terminal (no ЖВ-4, no hang) and leaves the bootstrap running; then an EEPROM write and
# the read of the same data, each starting with DTR's reset of the ECU.
perl -e 'srand(11); print pack("C*", map { int(rand(256)) } 1 .. 512)' >"$work/immo.eep"
start_bench eeprom --model january5 --programmer zhv4 --modem-lines --eeprom "$work/ecu.eep" --eeprom-write-time 1
bare_env="${client_env/QUILLORN_MODEM=/QUILLORN_MODEM=$work/nobody-}"
client bare "$bare_env" eeprom-read --port "$tty" --ecu january5 --baud 57600 "$work/bare.eep"
check "without the bench's channel the job still succeeds" test "$rc" = 0
check "without the bench's channel there is no ЖВ-4" test "$(grep -c 'Программатор: ЖВ-4' "$work/bare.err")" = 0
client write "$client_env" eeprom-write --port "$tty" --ecu january5 --baud 57600 "$work/immo.eep"
check "write succeeds" test "$rc" = 0
check "write: the box is a ЖВ-4" contains "$work/write.err" "Программатор: ЖВ-4"
check "write: success message" contains "$work/write.out" "Операция успешно завершена."
client read "$client_env" eeprom-read --port "$tty" --ecu january5 --baud 57600 "$work/back.eep"
check "read after the write succeeds" test "$rc" = 0
check "read: the box is a ЖВ-4" contains "$work/read.err" "Программатор: ЖВ-4"
check "the data read back equal the data written" cmp -s "$work/immo.eep" "$work/back.eep"
# tcsendbreak(fd, 0) holds the break a quarter of a second, as the C library's does.
env $client_env perl -MPOSIX -e 'my $fd = POSIX::open($ARGV[0], O_RDWR | O_NOCTTY) // exit 1;
  POSIX::tcsendbreak($fd, 0) // exit 1; POSIX::write($fd, "\x00", 1) == 1 or exit 1' "$tty"
check "tcsendbreak goes through" test "$?" = 0
for _ in $(seq 50); do grep -q 'break: idle' "$work/eeprom.sim.err" && break; sleep 0.1; done
check "tcsendbreak: the bench saw a break of 250 ms" \
  awk '/break: idle/ { for (i = 1; i < NF; ++i) if ($i == "low") low = $(i + 1); found = 1 }
       END { exit !(found && low >= 240 && low <= 400) }' "$work/eeprom.sim.err"

identify_lane mikas7 mikas76
wait "$first_lane"
for entry in $families; do
  model=${entry%%:*} family=${entry#*:}
  check "$model: identify succeeds" test "$(cat "$work/ident-$model.rc")" = 0
  check "$model: identified as $family" contains "$work/ident-$model.out" "Контроллер: $family"
done

# The KWP families woke on a break the bench timed; on a busy machine the client may miss the
# pattern once and try again.
for model in january5 vs51 january72 mikas76; do
  woke=no
  while read -r timing; do
    echo "$model: ${timing#quillorn-sim: }"
    fast_init "$timing" && woke=yes
  done < <(grep 'break: idle' "$work/$model.sim.err")
  check "$model: the bench saw a fast initialisation's break" test "$woke" = yes
done

for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
wait "${sims[@]}" 2>/dev/null
sims=()
check "the bench saved the EEPROM written through the pseudo-terminal" cmp -s "$work/immo.eep" "$work/ecu.eep"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
