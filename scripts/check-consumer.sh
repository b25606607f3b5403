#!/usr/bin/env bash
# Builds tests/consumer against an installed ZEMHTTP twice, through the CMake
# package and through pkg-config, runs both, and checks that each loads the
# library from the expected folder.
#
#   scripts/check-consumer.sh WORKDIR LIBDIR [PREFIX]
#
# PREFIX (an install tree) is handed to CMake and pkg-config; without it only
# the system's default search paths are used (an installed package).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$1 libdir=$2 prefix=${3:+$(realpath "$3")}
jobs=${JOBS:-2}

for how in cmake pkgconfig; do
  dir=$work/$how
  rm -rf "$dir"
  args=(-DZEM_CONSUMER_PKGCONFIG=$([ "$how" = pkgconfig ] && echo ON || echo OFF))
  if [ -n "$prefix" ]; then
    args+=(-DCMAKE_PREFIX_PATH="$prefix")
    pkgdirs=$(find "$prefix" -type d -name pkgconfig | paste -sd:)
    PKG_CONFIG_PATH=$pkgdirs cmake -S tests/consumer -B "$dir" "${args[@]}" >/dev/null
  else
    cmake -S tests/consumer -B "$dir" "${args[@]}" >/dev/null
  fi
  cmake --build "$dir" -j"$jobs" >/dev/null
  loaded=$(ldd "$dir/consumer" | awk '$1 ~ /^libzemhttp\.so/ {print $3}')
  if [ -z "$loaded" ] || [ "$(realpath "$(dirname "$loaded")")" != "$(realpath "$libdir")" ]; then
    echo "consumer ($how) loads libzemhttp from '$loaded', not from $libdir" >&2
    exit 1
  fi
  echo "consumer ($how, $loaded):"
  "$dir/consumer"
done
