#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the Linux and the Windows builds, runs the
# native tests, the sanitizer build's tests and the Windows tests under Wine, then makes the
# release packages and checks them.
# QUILLORN_SKIP_ASAN=1 / QUILLORN_SKIP_WINDOWS=1 leave out those builds for a quicker local run
# (the packages need the Windows build, so the second leaves them out too).
# QUILLORN_JOBS: compilers at once (default: the cores); QUILLORN_TEST_JOBS: tests at once.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
jobs=${QUILLORN_JOBS:-$(nproc)}
# Most tests spend their time waiting for the bench's wire time and the protocol's timeouts, not
# computing: three at a time per core keep the plain build's tests under one core in all, two
# per core the sanitizer build's, which compute several times as much.
test_jobs=${QUILLORN_TEST_JOBS:-$(( jobs * 3 ))}
asan_test_jobs=${QUILLORN_TEST_JOBS:-$(( jobs * 2 ))}

step() { printf '\n=== %s (%ss)\n' "$*" "$(( $(date +%s) - start ))"; }

step "dependencies"
scripts/install-deps.sh
# Every tool a test needs is installed now: a test that finds one missing fails, not skips.
export QUILLORN_REQUIRE_TOOLS=1

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
step "native tests"
ctest --preset native -j "$test_jobs"

if [ "${QUILLORN_SKIP_ASAN:-0}" != 1 ]; then
  step "sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
  cmake --preset native-asan >/dev/null
  cmake --build --preset native-asan -j "$jobs"
  step "sanitizer tests"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --preset native-asan -j "$asan_test_jobs"
fi

if [ "${QUILLORN_SKIP_WINDOWS:-0}" != 1 ]; then
  step "Windows build (MinGW-w64, static)"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  step "Windows tests under Wine"
  scripts/wine-env.sh ctest --test-dir build/windows --output-on-failure -j "$jobs"
  step "release packages (dist/) and their checks"
  QUILLORN_JOBS="$jobs" cmake --build --preset native --target dist
  scripts/check-packages.sh
fi

step "all tests passed"
