#!/usr/bin/env bash
# Builds the x86_64 Windows test programs (client_tests.exe, upload_tests.exe)
# and runs them under Wine (Debian's `wine` runs 64-bit programs) against
# loopback servers that the server launcher starts on this machine for them.
# Prints a line per suite and a closing line "N passed, N failed, N skipped" (skipped: marked as needing
# what Wine does not provide). Exits non-zero when a test failed or a suite
# did not finish within its time limit.
#
#   bash scripts/wine-tests.sh    # JOBS=2 WINE_SUITE_SECONDS=240 WINE_BUILD_DIR=build-win64
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
build=$(realpath -m "${WINE_BUILD_DIR:-build-win64}")
limit=${WINE_SUITE_SECONDS:-240}
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DZEMHTTP_BUILD_TESTS=ON -DZEMHTTP_BUILD_BENCH=OFF -DZEMHTTP_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target client_tests upload_tests

# A prefix of the build's own, made once; no display: the null graphics
# driver serves the hidden windows of the upload engine.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
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

# Both suites at once, each bounded.
suites=(client_tests upload_tests)
for suite in "${suites[@]}"; do
  (cd "$build/bin" && timeout "$limit" "$wine" "$suite.exe" >"$build/$suite.log" 2>&1; echo $? >"$build/$suite.rc") &
done
wait $(jobs -p | grep -v "^$launcher\$")

count() { grep -cE "^\[ +$1 +\] .* \([0-9]+ ms\)\$" "$2" || true; }
total_pass=0 total_fail=0 total_skip=0 broken=0
for suite in "${suites[@]}"; do
  log=$build/$suite.log
  sed -i 's/\r$//' "$log"  # the programs write Windows line ends
  rc=$(cat "$build/$suite.rc")
  pass=$(count OK "$log") fail=$(count FAILED "$log") skip=$(count SKIPPED "$log")
  note=""
  [ "$rc" = 124 ] && note=" (stopped at the time limit of ${limit} s)" && broken=1
  [ "$rc" != 0 ] && [ "$rc" != 124 ] && [ "$fail" = 0 ] && note=" (ended with status $rc)" && broken=1
  echo "$suite: $pass passed, $fail failed, $skip skipped$note (log: $log)"
  grep -E "^\[  FAILED  \] .* \([0-9]+ ms\)\$" "$log" | sed 's/^/  /' || true
  grep -B1 -E "^\[  SKIPPED \] .* \([0-9]+ ms\)\$" "$log" | grep -v "^--" | sed 's/^/  /' || true
  total_pass=$((total_pass + pass)) total_fail=$((total_fail + fail)) total_skip=$((total_skip + skip))
done
echo "$total_pass passed, $total_fail failed, $total_skip skipped"
[ "$total_fail" = 0 ] && [ "$broken" = 0 ]
