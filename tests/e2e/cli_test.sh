#!/usr/bin/env bash
# The command-line client's contract, through the real executable against the in-process
# bench: exit codes, the messages as the window shows them, the passport on stdout, the
# trace, Ctrl-C, SIGTERM and SIGHUP, and the safety rules (no erase for a bad file, a failed read keeps the file).
set -u
quillorn=${1:?usage: cli_test.sh path/to/quillorn [path/to/quillorn-sim]}
sim=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Writes keep backups in the user's data folder: the test's own, never the real one.
export XDG_DATA_HOME="$work/data"
failures=0
passed=0

# A failed check shows what the last run printed on stderr (its end), so that a failure seen
# once in CI can be understood from the log alone.
check() {  # check <what> <condition...>
  local what=$1; shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $what" >&2
    [ -f "$last_err" ] && echo "  after: quillorn $last_args (exit $rc); its stderr ends:" >&2 &&
      grep -v ' [1-9][0-9]\?%$' "$last_err" | tail -n 4 | sed 's/^/    /' >&2
    failures=$((failures + 1))
  fi
}
last_err="" last_args="" rc=0
run() {  # run <stdout> <stderr> args... ; sets rc
  local out=$1 err=$2; shift 2
  last_err=$err last_args="$*"
  timeout 300 "$quillorn" "$@" >"$out" 2>"$err"
  rc=$?
}
contains() { grep -qF -- "$2" "$1"; }

fast=",pace=none,erase-time=50,eeprom-write-time=1"
perl -e 'srand(7); print pack("C*", map { int(rand(256)) } 1 .. 512)' >"$work/immo.eep"
perl -e 'print pack("C*", map { $_ & 0xFF } 0 .. 131071)' >"$work/ecu-before.bin"

# Usage errors: exit 2 and one line.
run "$work/o" "$work/e"
check "no command exits 2" test "$rc" = 2
check "usage error is one line" test "$(wc -l <"$work/e")" = 1
run "$work/o" "$work/e" write --port COM1 --ecu nosuch fw.bin
check "unknown family exits 2" test "$rc" = 2

# EEPROM write and read back: success, the message on stdout, the passport captions, the trace.
bench="sim:january5,eeprom=$work/ecu.eep$fast"
run "$work/o" "$work/e" eeprom-write --port "$bench" --ecu january5 --baud 230400 --trace "$work/trace.log" "$work/immo.eep"
check "eeprom-write succeeds" test "$rc" = 0
check "success message on stdout" contains "$work/o" "Операция успешно завершена."
check "passport from the ECU on stdout" contains "$work/o" "Прошивка в контроллере"
check "passport caption" contains "$work/o" "Версия ПО: "
check "stages on stderr" contains "$work/e" "Загрузка bootstrap"
check "the bench saved its EEPROM" cmp -s "$work/immo.eep" "$work/ecu.eep"
check "trace holds the sync and its answer" grep -qE '> 00$' "$work/trace.log"
check "trace holds received bytes" grep -qE '< 55' "$work/trace.log"
run "$work/o" "$work/e" eeprom-read --port "$bench" --ecu january5 --baud 230400 "$work/back.eep"
check "eeprom-read succeeds" test "$rc" = 0
check "EEPROM read back equals the file" cmp -s "$work/immo.eep" "$work/back.eep"

# A missing file fails with 256 before anything touches the ECU: the flash stays as it was.
cp "$work/ecu-before.bin" "$work/ecu.bin"
bench="sim:january5,flash=$work/ecu.bin$fast"
run "$work/o" "$work/e" write --port "$bench" --ecu january5 --baud 230400 "$work/missing.bin"
check "missing file exits 1" test "$rc" = 1
check "missing file message" contains "$work/e" "Error 0x100: Ошибка открытия файла."
check "missing file: flash not erased" cmp -s "$work/ecu-before.bin" "$work/ecu.bin"

# A damaged hex file fails with 258 and erases nothing.
printf ':020000040000FA\n:10000000020102030405060708090A0B0C0D0E0F99\n:00000001FF\n' >"$work/bad.hex"
run "$work/o" "$work/e" write --port "$bench" --ecu january5 --baud 230400 "$work/bad.hex"
check "damaged hex exits 1" test "$rc" = 1
check "damaged hex message" contains "$work/e" "Error 0x102: Загружаемый файл испорчен."
check "damaged hex: flash not erased" cmp -s "$work/ecu-before.bin" "$work/ecu.bin"

# No programmer: the poll finds no echo.
run "$work/o" "$work/e" eeprom-read --port "sim:january5,no-programmer$fast" --ecu january5 "$work/x.eep"
check "no programmer exits 1" test "$rc" = 1
check "no programmer message" contains "$work/e" "Error 0x21: Программатор не подключен или не включено питание."
check "no programmer: no file made" test ! -e "$work/x.eep"

# A read that fails part-way keeps the existing target; what was read stays in .part.
echo "an older dump the user keeps" >"$work/dump.bin"
run "$work/o" "$work/e" read --port "sim:january5,power-loss-after=40$fast" --ecu january5 --baud 230400 "$work/dump.bin"
check "failed read exits 1" test "$rc" = 1
check "failed read: the old file is untouched" test "$(cat "$work/dump.bin")" = "an older dump the user keeps"
check "failed read: the partial data is kept" test -s "$work/dump.bin.part"

# Clearing is refused for Микас 7.1/7.2 as the window refuses it.
run "$work/o" "$work/e" eeprom-clear --port "sim:mikas7$fast" --ecu mikas7
check "mikas clear refused" test "$rc" = 1
check "mikas clear message" contains "$work/e" "Очистка EEPROM возможна только для ЭБУ Январь-5.x"

# The pre-flight: questions need a person at a terminal. Here stdin is not one and stdout is
# piped, so a file that does not look like ECU code is refused (exit 2) and nothing changes;
# --yes answers the question and the file is written and verified.
cp "$work/ecu-before.bin" "$work/ecu.bin"
bench="sim:january5,flash=$work/ecu.bin$fast"
printf 'just some notes, not a firmware\n' >"$work/notes.bin"
"$quillorn" write --port "$bench" --ecu january5 --baud 230400 "$work/notes.bin" </dev/null 2>"$work/e" | cat >"$work/o"
rc=${PIPESTATUS[0]}
check "a question without a terminal exits 2" test "$rc" = 2
check "the refusal names --yes" contains "$work/e" "--yes"
check "the refusal shows the question" contains "$work/e" "не является кодом программы"
check "question refused: flash not erased" cmp -s "$work/ecu-before.bin" "$work/ecu.bin"
"$quillorn" write --yes --port "$bench" --ecu january5 --baud 230400 "$work/notes.bin" </dev/null 2>"$work/e" | cat >"$work/o"
rc=${PIPESTATUS[0]}
check "--yes writes" test "$rc" = 0
check "--yes: the file is in flash" cmp -s -n "$(stat -c %s "$work/notes.bin")" "$work/notes.bin" "$work/ecu.bin"
check "a write is verified" contains "$work/e" "Проверка..."

# Refusals before the port: each names the file and changes nothing.
cp "$work/ecu-before.bin" "$work/ecu.bin"
mkfifo "$work/fifo.bin"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 "$work/fifo.bin"
check "a FIFO as input is refused at once" test "$rc" = 1
check "the FIFO refusal names it" contains "$work/e" "fifo.bin"
cp "$work/notes.bin" "$work/notes-copy.bin"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --trace "$work/./notes.bin" "$work/notes.bin"
check "a trace over the input exits 2" test "$rc" = 2
check "the input survives a trace naming it" cmp -s "$work/notes.bin" "$work/notes-copy.bin"
perl -e 'print pack("C*", 2, (0) x 131071)' >"$work/double.bin"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 "$work/double.bin"
check "131,072 bytes without --dual are refused" contains "$work/e" "Error 0x103"
# A usage error and a trace that cannot be written end before the port opens, in Russian.
perl -e 'print pack("C*", 2, map { $_ & 0xFF } 1 .. 65535)' >"$work/good.bin"
cp "$work/good.bin" "$work/good-copy.bin"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --duel "$work/good.bin"
check "an unknown option exits 2" test "$rc" = 2
check "an unknown option is named in Russian" contains "$work/e" "ключ «--duel» не подходит к заданию write"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --trace "$work/no-folder/t.log" "$work/good.bin"
check "an unwritable trace exits 1" test "$rc" = 1
check "an unwritable trace says what to do" contains "$work/e" "укажите после --trace файл в папке, куда можно писать"
check "the file survives both" cmp -s "$work/good.bin" "$work/good-copy.bin"
check "refusals: flash unchanged" cmp -s "$work/ecu-before.bin" "$work/ecu.bin"
run "$work/o" "$work/e" read --port "$bench" --ecu january5 /dev/null
check "a device as read target is refused" test "$rc" = 1
check "the device is still a device" test -c /dev/null
ln -s "$work/real-dump.bin" "$work/link.bin"
run "$work/o" "$work/e" read --port "$bench" --ecu january5 --baud 230400 "$work/link.bin"
check "a read through a symbolic link succeeds" test "$rc" = 0
check "the link is kept" test -L "$work/link.bin"
check "the link's target holds the dump" cmp -s -n 65536 "$work/real-dump.bin" "$work/ecu.bin"

# verify compares without writing: equal, then different with the place named.
run "$work/o" "$work/e" verify --port "$bench" --ecu january5 --baud 230400 "$work/real-dump.bin"
check "verify: equal exits 0" test "$rc" = 0
perl -e '@b = map { $_ & 0xFF } 0 .. 65535; $b[0x1234] = 0xAA; print pack("C*", @b)' >"$work/changed.bin"
run "$work/o" "$work/e" verify --port "$bench" --ecu january5 --baud 230400 "$work/changed.bin"
check "verify: different exits 1" test "$rc" = 1
check "verify names the first difference" contains "$work/o" "адрес 0x1234"

# A write the line damages with its checksum intact is caught by verification.
perl -e 'print pack("C*", 2, map { ($_ * 7) & 0xFF } 1 .. 65535)' >"$work/code.bin"
run "$work/o" "$work/e" write --no-backup --port "sim:january5,tamper=3$fast" --ecu january5 --baud 230400 "$work/code.bin"
check "tampered write exits 1" test "$rc" = 1
check "tampered write message" contains "$work/e" "Error 0xC1: Данные в памяти ЭБУ не совпадают с файлом."

# Ctrl-C during a transfer: the job's abort, "Операция прервана.", exit 130 (the signal tests
# keep no backup: the waits below look for the transfer, not the backup's read). The line is paced
# here so that the transfer outlasts the wait before the signal, however busy the machine: an
# unpaced one can end before the signal comes.
perl -e 'print pack("C*", 2, map { $_ & 0xFF } 1 .. 65535)' >"$work/fw.bin"
timeout 300 "$quillorn" write --no-backup --port "sim:january5,erase-time=50" --ecu january5 "$work/fw.bin" >"$work/o" 2>"$work/e" &
pid=$!
for _ in $(seq 1 600); do grep -qF "Загрузка..." "$work/e" && break; sleep 0.1; done
sleep 0.5
kill -INT "$pid"
wait "$pid"
rc=$?
check "Ctrl-C exits 130" test "$rc" = 130
check "Ctrl-C message" contains "$work/e" "Операция прервана."

# A port that cannot be opened is named, with the reason the system (or the bench) gave, before
# anything reaches the ECU.
echo "not a serial port" >"$work/plain.txt"
for case in "COM99|этому номеру порта не сопоставлено устройство" "$work/plain.txt|это не последовательный порт" \
            'sim:january5,bogus=1|unknown bench option "bogus"'; do
  port=${case%%|*} reason=${case#*|}
  run "$work/o" "$work/e" eeprom-read --port "$port" --ecu january5 "$work/x.eep"
  check "$port: exits 1" test "$rc" = 1
  check "$port: the message names it and why" contains "$work/e" "Коммуникационный порт $port занят или отсутствует ($reason)"
  check "$port: no file made" test ! -e "$work/x.eep"
done
check "the plain file is untouched" test "$(cat "$work/plain.txt")" = "not a serial port"

# Identification that recognises no family still shows the default text, and exits 1.
run "$work/o" "$work/e" identify --port "sim:january5,no-ecu$fast"
check "identify without a family exits 1" test "$rc" = 1
check "identify without a family shows the default text" contains "$work/o" "Тип контроллера не определен"

# SIGTERM and SIGHUP take the Ctrl-C way: the abort, the message, 143 and 129. The bench saves
# its flash on the way out, so the file shows the job stopped in order: erased, and holding
# nothing but bytes of the user's file.
only_erased_or_from() {  # only_erased_or_from <flash> <file>: the first 64 KiB
  perl -e 'open(F, "<", $ARGV[0]) or exit 2; open(G, "<", $ARGV[1]) or exit 2; binmode F; binmode G;
           read(F, $f, 65536); read(G, $g, 65536);
           for $i (0 .. 65535) { $x = ord substr($f, $i, 1); exit 1 unless $x == 0xFF || $x == ord substr($g, $i, 1) }' "$1" "$2"
}
for sig in TERM:143 HUP:129; do
  name=${sig%%:*} status=${sig##*:}
  cp "$work/ecu-before.bin" "$work/ecu.bin"
  timeout 300 "$quillorn" write --no-backup --port "sim:january5,flash=$work/ecu.bin$fast" --ecu january5 "$work/fw.bin" >"$work/o" 2>"$work/e" &
  pid=$!
  for _ in $(seq 1 600); do grep -qF "Загрузка..." "$work/e" && break; sleep 0.1; done
  sleep 0.3
  kill -"$name" "$pid"
  wait "$pid"
  rc=$?
  check "SIG$name exits $status" test "$rc" = "$status"
  check "SIG$name message" contains "$work/e" "Операция прервана."
  check "SIG$name: the bench saved its flash" sh -c '! cmp -s "$0" "$1"' "$work/ecu-before.bin" "$work/ecu.bin"
  check "SIG$name: the flash holds only erased bytes and the file's" only_erased_or_from "$work/ecu.bin" "$work/fw.bin"
done

# Started to ignore SIGHUP (nohup), the job ignores it too and completes.
cp "$work/ecu-before.bin" "$work/ecu.bin"
(trap '' HUP; exec "$quillorn" write --no-backup --port "sim:january5,flash=$work/ecu.bin$fast" --ecu january5 "$work/fw.bin" >"$work/o" 2>"$work/e") &
pid=$!
for _ in $(seq 1 600); do grep -qF "Загрузка..." "$work/e" && break; sleep 0.1; done
kill -HUP "$pid"
wait "$pid"
rc=$?
check "SIGHUP ignored from the start: the write succeeds" test "$rc" = 0
check "SIGHUP ignored from the start: the flash holds the file" cmp -s -n 65536 "$work/fw.bin" "$work/ecu.bin"

# A reader that goes away does not end the job: the write completes.
cp "$work/ecu-before.bin" "$work/ecu.bin"
timeout 300 "$quillorn" write --no-backup --port "sim:january5,flash=$work/ecu.bin$fast" --ecu january5 "$work/fw.bin" 2>&1 | head -1 >/dev/null
rc=${PIPESTATUS[0]}
check "closed output: the write still succeeds" test "$rc" = 0
check "closed output: the flash holds the file" cmp -s -n 65536 "$work/fw.bin" "$work/ecu.bin"

# A "ЖВ-2" cannot reset the ECU: the second job finds the bootstrap the first one left running
# (no second upload) instead of failing on the boot loader's sync. quillorn-sim serves its
# bench on a pseudo-terminal, as a real box on a serial port.
if [ -n "$sim" ] && [ ! -x "$sim" ]; then
  echo "cli_test: $sim is not built: the jobs through a pseudo-terminal are left out" >&2
  sim=
fi
if [ -n "$sim" ]; then
  "$sim" --model january5 --eeprom "$work/pty.eep" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  tty=$(head -n 1 "$work/sim.out")
  flock "$tty" sleep 2 &
  holder=$!
  sleep 0.3
  run "$work/o" "$work/e" eeprom-read --port "$tty" --ecu january5 "$work/x.eep"
  check "a port another program holds: exits 1" test "$rc" = 1
  check "a port another program holds: said so" contains "$work/e" "Коммуникационный порт $tty занят или отсутствует (порт занят другой программой)"
  wait "$holder"
  run "$work/o" "$work/e" eeprom-write --port "$tty" --ecu january5 --baud 57600 "$work/immo.eep"
  check "ЖВ-2 on a pty: the first job succeeds" test "$rc" = 0
  check "ЖВ-2 on a pty: the first job uploads the bootstrap" contains "$work/e" "Загрузка bootstrap"
  run "$work/o" "$work/e" eeprom-read --port "$tty" --ecu january5 --baud 57600 "$work/pty-back.eep"
  check "ЖВ-2 on a pty: the second job succeeds" test "$rc" = 0
  check "ЖВ-2 on a pty: the second job uses the running bootstrap" sh -c '! grep -qF "Загрузка bootstrap" "$0"' "$work/e"
  check "ЖВ-2 on a pty: the EEPROM read back equals the file" cmp -s "$work/immo.eep" "$work/pty-back.eep"
  # The user asks for the other kind of family: the running bootstrap does not fit, and is not used.
  run "$work/o" "$work/e" eeprom-read --port "$tty" --ecu mikas7 --baud 57600 "$work/pty-mikas.eep"
  check "ЖВ-2 on a pty: another family's bootstrap is refused" test "$rc" = 1
  check "ЖВ-2 on a pty: the refusal asks to check the family" contains "$work/e" "выбранного контроллера"
  check "ЖВ-2 on a pty: the refusal makes no file" test ! -e "$work/pty-mikas.eep"
  kill -TERM "$sim_pid"
  wait "$sim_pid"
  check "ЖВ-2 on a pty: the bench saved the EEPROM written" cmp -s "$work/immo.eep" "$work/pty.eep"
fi

# Backups: a write keeps the pages its erase clears (both, on this two-page chip) and names it on stderr; --backup-dir chooses the
# folder, --no-backup makes none, and a folder that cannot take files refuses the job before
# the port is opened, erasing nothing.
cp "$work/ecu-before.bin" "$work/ecu.bin"
bench="sim:january5,flash=$work/ecu.bin$fast"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --baud 230400 "$work/fw.bin"
backup=$(sed -n 's/^Резервная копия: //p' "$work/e")
check "a write names its backup on stderr" test -n "$backup"
check "the backup is in the user's data folder" test "$(dirname "$backup")" = "$XDG_DATA_HOME/quillorn/backups"
check "the backup holds both pages before the write" cmp -s "$backup" "$work/ecu-before.bin"
check "the backup is both pages" test "$(stat -c %s "$backup")" = 131072
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --baud 230400 --backup-dir="$work/kept" "$work/fw.bin"
check "--backup-dir=DIR: the backup is there" test "$(ls "$work/kept" | wc -l)" = 1
kept=$(ls "$XDG_DATA_HOME/quillorn/backups" | wc -l)
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --baud 230400 --no-backup "$work/fw.bin"
check "--no-backup writes" test "$rc" = 0
check "--no-backup: no backup named" sh -c '! grep -qF "Резервная копия" "$0"' "$work/e"
check "--no-backup: no backup made" test "$(ls "$XDG_DATA_HOME/quillorn/backups" | wc -l)" = "$kept"
cp "$work/ecu-before.bin" "$work/ecu.bin"
run "$work/o" "$work/e" write --yes --port "$bench" --ecu january5 --baud 230400 --backup-dir "$work/plain.txt" "$work/fw.bin"
check "an unusable backup folder exits 1" test "$rc" = 1
check "an unusable backup folder is named" contains "$work/e" "Error 0x104: Резервная копия памяти ЭБУ не сделана"
check "an unusable backup folder: flash not erased" cmp -s "$work/ecu-before.bin" "$work/ecu.bin"
run "$work/o" "$work/e" read --port "$bench" --ecu january5 --no-backup "$work/x.bin"
check "--no-backup is for the jobs that change memory" test "$rc" = 2

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
