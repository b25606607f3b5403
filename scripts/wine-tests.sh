#!/usr/bin/env bash
# Builds the x86_64 Windows test programs (client_tests.exe, upload_tests.exe)
# and runs them under Wine (Debian's `wine` runs 64-bit programs) against
# loopback servers that the server launcher starts on this machine for them.
# Every test runs in a process of its own. Prints a line per suite and a
# closing line "N passed, N failed, N skipped" (skipped: marked as needing
# what Wine does not provide). Exits non-zero when a test failed or a test
# ended without a result (a crash, or its time limit).
#
#   bash scripts/wine-tests.sh    # JOBS=2 WINE_TEST_SECONDS=150 WINE_BUILD_DIR=build-win64
#   WINE_SUITES=upload_tests WINE_TEST_FILTER='SyncRun.*' bash scripts/wine-tests.sh   # a part only
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
build=$(realpath -m "${WINE_BUILD_DIR:-build-win64}")
limit=${WINE_TEST_SECONDS:-150}
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DZEMHTTP_BUILD_TESTS=ON -DZEMHTTP_BUILD_BENCH=OFF -DZEMHTTP_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target client_tests upload_tests

# A prefix of the build's own, made once; no display: the null graphics
# driver serves the hidden windows of the upload engine.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
# No crash debugger: a test program that crashes ends at once with its
# failure instead of holding its suite until the time limit. The test doubles
# of the internet and auto-proxy libraries are loaded from a test's folder by
# their system names: Wine would hand out its own library for such a name
# unless a file of that name is preferred (its own stays the system's).
export WINEDLLOVERRIDES="winedbg.exe=d;winemenubuilder.exe=d;wininet=n,b;jsproxy=n,b"
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # The prefix's first start chose its graphics driver already: stop it, so
  # that the test programs start one that reads the null driver.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
fi

port_file=$build/launcher.port
rm -f "$port_file"
python3 tests/launcher/server_launcher.py serve >"$port_file" 2>"$build/launcher.log" &
launcher=$!
stop() {
  kill "$launcher" 2>/dev/null || true
  wait "$launcher" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 100); do
  [ -s "$port_file" ] && break
  sleep 0.1
done
[ -s "$port_file" ] || { echo "the server launcher did not start:" >&2; cat "$build/launcher.log" >&2; exit 1; }
export ZEMTEST_LAUNCHER=127.0.0.1:$(cat "$port_file")

# Each test in a process of its own, as CTest runs them on Linux, so that
# what one test leaves behind in the process cannot decide another's outcome;
# each within its own limit. WINE_WORKERS (default 3) of them at a time, from
# both suites: a Wine process spends much of its start waiting.
read -r -a suites <<<"${WINE_SUITES:-client_tests upload_tests}"
workers=${WINE_WORKERS:-3}
runs=$build/wine-runs
rm -rf "$runs"
mkdir -p "$runs"
run_one() {  # suite test: its output in $runs/suite/test.log, a note when it ended without a result
  local suite=$1 test=$2 log=$runs/$1/$2.log rc=0
  (cd "$build/bin" && timeout "$limit" "$wine" "$suite.exe" --gtest_filter="$test") >"$log" 2>&1 || rc=$?
  if [ "$rc" != 0 ] && ! tr -d '\r' <"$log" | grep -qE "^\[  FAILED  \] $test \("; then
    echo "$test ended with status $rc$([ "$rc" = 124 ] && echo ", at the time limit of $limit s")" >>"$log"
  fi
}
export -f run_one
export build wine limit runs
for suite in "${suites[@]}"; do
  mkdir -p "$runs/$suite"
  group=""
  # The listing: "Group." lines, each followed by its "  Test" lines (a
  # comment after "#" for parameterised ones); anything else is a banner.
  while IFS= read -r line; do
    case $line in
      "  "*) name=${line%%#*} name=${name//[[:space:]]/} ;;
      *.) group=$line; continue ;;
      *) continue ;;
    esac
    [ -n "$group" ] && [ -n "$name" ] || continue
    # shellcheck disable=SC2053  # the filter is a pattern on purpose
    [[ "$group$name" == ${WINE_TEST_FILTER:-*} ]] || continue
    echo "$suite $group$name"
  done < <(cd "$build/bin" && "$wine" "$suite.exe" --gtest_list_tests | tr -d '\r')
done >"$runs/list"
# A test that ends without a result is noted in its log, and counted below.
xargs -P "$workers" -L 1 bash -c 'run_one "$0" "$1"' <"$runs/list" || true
for suite in "${suites[@]}"; do
  # One log per suite, in the suite's own order.
  while read -r s test; do
    [ "$s" = "$suite" ] || continue
    cat "$runs/$suite/$test.log" 2>/dev/null || echo "$test ended with status unknown: it left no log"
  done <"$runs/list" >"$build/$suite.log"
  # A suite that could not even list its tests ran nothing: that is no pass.
  if ! grep -q "^$suite " "$runs/list" && [ -z "${WINE_TEST_FILTER:-}" ]; then
    echo "$suite ended with status unknown: it listed no tests" >>"$build/$suite.log"
  fi
  if grep -q "ended with status" "$build/$suite.log"; then echo 1; else echo 0; fi >"$build/$suite.rc"
done

count() { grep -cE "^\[ +$1 +\] .* \([0-9]+ ms\)\$" "$2" || true; }
total_pass=0 total_fail=0 total_skip=0 broken=0
for suite in "${suites[@]}"; do
  log=$build/$suite.log
  sed -i 's/\r$//' "$log"  # the programs write Windows line ends
  pass=$(count OK "$log") fail=$(count FAILED "$log") skip=$(count SKIPPED "$log")
  note=""
  if [ "$(cat "$build/$suite.rc")" != 0 ]; then
    note=" ($(grep -c "ended with status" "$log") tests ended without a result)" && broken=1
    grep "ended with status" "$log" | sed 's/^/  /'
  fi
  echo "$suite: $pass passed, $fail failed, $skip skipped$note (log: $log)"
  grep -E "^\[  FAILED  \] .* \([0-9]+ ms\)\$" "$log" | sed 's/^/  /' || true
  grep -B1 -E "^\[  SKIPPED \] .* \([0-9]+ ms\)\$" "$log" | grep -v "^--" | sed 's/^/  /' || true
  total_pass=$((total_pass + pass)) total_fail=$((total_fail + fail)) total_skip=$((total_skip + skip))
done
echo "$total_pass passed, $total_fail failed, $total_skip skipped"
[ "$total_fail" = 0 ] && [ "$broken" = 0 ]
