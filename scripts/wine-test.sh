#!/usr/bin/env bash
# Runs one Windows test program under Wine and gives back its result.
#   wine-test.sh program.exe [arguments...]
# Two failures of Wine 8 itself are told apart from failures of the program:
# - a new process sometimes loses its connection to the Wine server before or while it runs
#   ("wine client error:0: recvmsg: Connection reset by peer"); the program is run again, at
#   most twice, and says so;
# - a process whose tests have all finished sometimes never exits; once the test summary is
#   printed the process gets a grace period, then it is ended and the summary decides.
set -uo pipefail
# The host's tools (srec_cat, s51) cannot be started from inside Wine; their tests run in the
# native build, so here a missing tool stays a skip.
unset QUILLORN_REQUIRE_TOOLS CI
grace_seconds=${QUILLORN_WINE_EXIT_GRACE:-60}
attempts=3

log="$(mktemp /tmp/quillorn-wine-test.XXXXXX)"
trap 'rm -f "$log"' EXIT

summary_printed() { grep -q '^\[==========\] [0-9]* tests\? from .* ran\.' "$log"; }
summary_passed() { grep -q '^\[  PASSED  \]' "$log" && ! grep -q '^\[  FAILED  \]' "$log"; }
lost_server() { grep -q '^wine client error' "$log"; }

# Runs the program once; its exit status, or that of its summary when Wine did not let it exit.
run_once() {
  : >"$log"
  wine "$@" >"$log" 2>&1 &
  local pid=$! waited_after_summary=0
  while kill -0 "$pid" 2>/dev/null; do
    if summary_printed; then
      if [ "$waited_after_summary" -ge "$grace_seconds" ]; then
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        echo "wine-test: the program printed its summary but did not exit within ${grace_seconds} s; ended it" >>"$log"
        summary_passed && return 0 || return 1
      fi
      waited_after_summary=$((waited_after_summary + 1))
    fi
    sleep 1
  done
  wait "$pid"
}

for attempt in $(seq "$attempts"); do
  run_once "$@"
  status=$?
  cat "$log"
  if [ "$status" -ne 0 ] && lost_server && [ "$attempt" -lt "$attempts" ]; then
    echo "wine-test: Wine lost its server connection (attempt $attempt); running the program again"
    continue
  fi
  exit "$status"
done
