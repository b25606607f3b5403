#!/usr/bin/env bash
# Cross-builds ZEMHTTP for 64-bit Windows, installs it, builds tests/consumer
# with the same compiler against the installed headers and import libraries
# (the CMake package), and runs it under Wine beside the installed DLLs.
#
#   scripts/check-windows-consumer.sh [BUILD_DIR]     (default build-win64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win64}
jobs=${JOBS:-2}
toolchain=$PWD/cmake/toolchains/mingw-w64-x86_64.cmake
prefix=$PWD/_install-win64
consumer=$build-consumer

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DZEMHTTP_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
rm -rf "$prefix" "$consumer"
cmake --install "$build" --prefix "$prefix" >/dev/null
# The package is named by its folder: the toolchain confines searches to the
# compiler's own root.
cmake -S tests/consumer -B "$consumer" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -Dzemhttp_DIR="$prefix/lib/cmake/zemhttp" >/dev/null
cmake --build "$consumer" -j"$jobs" >/dev/null
# The system's search order finds the DLLs beside the program: ours and the
# compiler's runtime.
cp "$prefix"/bin/*.DLL "$prefix"/bin/*.dll "$consumer"/
WINEDEBUG=-all ${WINE:-wine} "$consumer/consumer.exe"
