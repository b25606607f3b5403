#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (run as root).
# Only missing packages are installed; the package lists are refreshed first.
set -euo pipefail

packages=(
  build-essential cmake pkg-config g++-multilib
  libgtest-dev
  libcurl4-openssl-dev libssl-dev openssl ca-certificates libpsl-dev
  python3
  nginx tinyproxy
  libproxy-dev
  libpacparser-dev
  clang libclang-rt-14-dev
  doxygen
  dpkg-dev file
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 googletest
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages and not root: run as root or install them: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
