#!/usr/bin/env bash
# Compiles the public upload header as 32-bit code, so that its compile-time
# checks hold REQUEST_CONTEXT to the documented 32-bit layout (471 bytes and
# every field offset), as C++ and as C. Needs compilers that can target 32 bits
# (Debian: g++-multilib).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '#include "ZemUpload.h"\nint main(void) { return 0; }\n' >"$work/probe.c"
cp "$work/probe.c" "$work/probe.cpp"
includes=(-I"$root/include" -I"$root/platform/include")
g++ -m32 -std=c++17 -Wall -Wextra -Werror -fsyntax-only "${includes[@]}" "$work/probe.cpp"
gcc -m32 -std=c11 -Wall -Wextra -Werror -fsyntax-only "${includes[@]}" "$work/probe.c"
echo "REQUEST_CONTEXT: the 32-bit layout is the documented one"
