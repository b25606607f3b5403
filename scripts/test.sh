#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, a
# soak with faults, the AddressSanitizer + UndefinedBehaviorSanitizer build, a
# consumer project built against the installed library, each fuzz target for
# a short while, and the asynchronous paths under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}

bash scripts/install-deps.sh

echo "== build and test (RelWithDebInfo)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEMHTTP_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== soak: threads x requests with faults leave no descriptor or thread behind"
./build/bin/soak "${SOAK_THREADS:-4}" "${SOAK_REQUESTS:-200}" 300

echo "== the upload record's documented 32-bit layout"
bash scripts/check-32bit-layout.sh

echo "== install and build a consumer against the installed tree"
rm -rf _install build-consumer
cmake --install build --prefix "$root/_install" >/dev/null
cmake -S tests/consumer -B build-consumer -DCMAKE_PREFIX_PATH="$root/_install" >/dev/null
cmake --build build-consumer -j"$jobs"
./build-consumer/consumer

echo "== build and test with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEMHTTP_SANITIZE=address,undefined -DZEMHTTP_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZEMHTTP_BUILD_FUZZERS=ON -DZEMHTTP_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
bash tests/fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-20}"

echo "== the internet library and the upload engine with ThreadSanitizer"
# Every case of both programs: the engine's driving role changes hands in
# synchronous requests as much as in asynchronous ones.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DZEMHTTP_SANITIZE=thread -DZEMHTTP_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target wininet_tests upload_tests wininet_double
for program in wininet_tests upload_tests; do
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/bin/$program
done
