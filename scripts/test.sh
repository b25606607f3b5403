#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build
# (Release, g++), a soak with faults, the exported symbols, the reference
# documentation, a consumer project built against the installed library and
# against the installed Debian packages, a Release build with clang, the
# AddressSanitizer + UndefinedBehaviorSanitizer build (Debug), each fuzz target
# for a short while, the asynchronous paths under ThreadSanitizer, and the
# Windows builds: the 32-bit library (its record layout checked by the
# compiler) and the 64-bit client and upload suites under Wine.
# Every build treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
strict=-DZEMHTTP_WARNINGS_AS_ERRORS=ON
# Each step's heading carries the minutes and seconds since the start, so a
# CI log shows what each step costs (the whole must stay well under 30 min).
step() { printf '== [%d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$1"; }

bash scripts/install-deps.sh

step "build and test (Release, g++)"
# The /usr prefix gives the Debian library folder (lib/<multiarch>) to the
# packages made from this build; the install below names its own prefix.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DZEMHTTP_BUILD_BENCH=ON $strict >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

step "soak: threads x requests with faults leave no descriptor or thread behind"
./build/bin/soak "${SOAK_THREADS:-4}" "${SOAK_REQUESTS:-200}" 300

step "the upload record's documented 32-bit layout"
bash scripts/check-32bit-layout.sh

step "exported symbols: versioned SONAMEs, only what the public headers declare"
python3 scripts/check-exports.py build/lib

step "reference of the public headers (Doxygen; an undocumented member fails)"
cmake --build build --target docs

step "install and build a consumer against the installed tree (CMake package, pkg-config)"
rm -rf _install build-consumer
cmake --install build --prefix "$root/_install" >/dev/null
bash scripts/check-consumer.sh build-consumer "$(dirname "$(find _install -type f -name 'libzemhttp.so.*')")" _install

step "Debian packages: build, install, build the consumer against /usr, run the tool, remove"
rm -rf build/packages
(cd build && cpack -G DEB >/dev/null)
bash scripts/check-packages.sh build/packages build-consumer-deb

step "Release build with clang: libraries, tool, examples, tests (the suite ran above)"
cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZEMHTTP_BUILD_BENCH=OFF $strict >/dev/null
cmake --build build-clang -j"$jobs"

step "build and test with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEMHTTP_SANITIZE=address,undefined -DZEMHTTP_BUILD_BENCH=OFF \
  $strict >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

step "fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZEMHTTP_BUILD_FUZZERS=ON -DZEMHTTP_BUILD_BENCH=OFF $strict >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
bash tests/fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-20}"

step "the internet library and the upload engine with ThreadSanitizer"
# Every case of both programs: the engine's driving role changes hands in
# synchronous requests as much as in asynchronous ones.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DZEMHTTP_SANITIZE=thread -DZEMHTTP_BUILD_BENCH=OFF $strict >/dev/null
cmake --build build-tsan -j"$jobs" --target wininet_tests upload_tests wininet_double
for program in wininet_tests upload_tests; do
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/bin/$program
done

step "Windows: the 32-bit library (the upload record's layout is checked as it compiles)"
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DZEMHTTP_BUILD_BENCH=OFF $strict >/dev/null
cmake --build build-win32 -j"$jobs" --target zemhttp

step "Windows: the client and upload suites (x86_64) under Wine"
JOBS=$jobs bash scripts/wine-tests.sh
