#!/usr/bin/env bash
# Compiles the public upload header as 32-bit code, so that its compile-time
# checks hold REQUEST_CONTEXT to the documented 32-bit layout (471 bytes and
# every field offset), as C++ and as C. With the 32-bit Windows cross compiler
# (Debian: g++-mingw-w64-i686-posix) the header is compiled for real against
# the system's own headers, as the i686 build of the library compiles it;
# without it, as Linux 32-bit code (g++-multilib), syntax only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '#include "ZemUpload.h"\nint main(void) { return 0; }\n' >"$work/probe.c"
cp "$work/probe.c" "$work/probe.cpp"
flags=(-Wall -Wextra -Werror)
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  i686-w64-mingw32-g++-posix -std=c++17 "${flags[@]}" -I"$root/include" -c -o "$work/probe.o" "$work/probe.cpp"
  i686-w64-mingw32-gcc-posix -std=c11 "${flags[@]}" -I"$root/include" -c -o "$work/probe_c.o" "$work/probe.c"
  echo "REQUEST_CONTEXT: the 32-bit Windows layout is the documented one"
else
  includes=(-I"$root/include" -I"$root/platform/include")
  g++ -m32 -std=c++17 "${flags[@]}" -fsyntax-only "${includes[@]}" "$work/probe.cpp"
  gcc -m32 -std=c11 "${flags[@]}" -fsyntax-only "${includes[@]}" "$work/probe.c"
  echo "REQUEST_CONTEXT: the 32-bit layout is the documented one"
fi
