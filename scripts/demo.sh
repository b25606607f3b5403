#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the example program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEMHTTP_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"${JOBS:-2}"
./build/bin/zemhttp_example
