#!/usr/bin/env bash
# The command-line client's contract, through the real executable against the in-process
# bench: exit codes, the messages as the window shows them, the passport on stdout, the
# trace, Ctrl-C, and the safety rules (no erase for a bad file, a failed read keeps the file).
set -u
quillorn=${1:?usage: cli_test.sh path/to/quillorn}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

check() {  # check <what> <condition...>
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
run() {  # run <stdout> <stderr> args... ; sets rc
  local out=$1 err=$2; shift 2
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
run "$work/o" "$work/e" write --port "sim:january5,tamper=3$fast" --ecu january5 --baud 230400 "$work/code.bin"
check "tampered write exits 1" test "$rc" = 1
check "tampered write message" contains "$work/e" "Error 0xC1: Данные в памяти ЭБУ не совпадают с файлом."

# Ctrl-C during a transfer: the job's abort, "Операция прервана.", exit 130.
perl -e 'print pack("C*", 2, map { $_ & 0xFF } 1 .. 65535)' >"$work/fw.bin"
timeout 300 "$quillorn" write --port "sim:january5$fast" --ecu january5 "$work/fw.bin" >"$work/o" 2>"$work/e" &
pid=$!
for _ in $(seq 1 200); do grep -qF "Загрузка..." "$work/e" && break; sleep 0.1; done
sleep 0.5
kill -INT "$pid"
wait "$pid"
rc=$?
check "Ctrl-C exits 130" test "$rc" = 130
check "Ctrl-C message" contains "$work/e" "Операция прервана."

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
