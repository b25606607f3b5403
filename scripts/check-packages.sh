#!/usr/bin/env bash
# Installs the Debian packages of a build with dpkg, builds and runs the
# consumer against /usr alone (CMake package and pkg-config), runs the
# installed tool, and removes the packages again, also when a step fails.
#
#   scripts/check-packages.sh PACKAGE_DIR WORKDIR
#
# Refuses to run when a package of the same name is installed already: the
# machine is left as it was found.
set -euo pipefail
cd "$(dirname "$0")/.."
pkgdir=$1 work=$2

mapfile -t debs < <(find "$pkgdir" -maxdepth 1 -name '*.deb' | sort)
if [ "${#debs[@]}" -eq 0 ]; then
  echo "no packages in $pkgdir" >&2
  exit 1
fi
names=()
for deb in "${debs[@]}"; do
  names+=("$(dpkg-deb -f "$deb" Package)")
  echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done
# Fails naming the first package of the list that is installed.
none_installed() {
  for name in "${names[@]}"; do
    if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q ' installed$'; then
      echo "package $name is installed $1" >&2
      return 1
    fi
  done
}
none_installed "already; not touching it"

remove() { dpkg -P "${names[@]}" >/dev/null; }
trap remove EXIT
dpkg -i "${debs[@]}" >/dev/null

libdir=$(dirname "$(dpkg -L "${names[@]}" | grep -m1 '/libzemhttp\.so\.[0-9]*$')")
bash scripts/check-consumer.sh "$work" "$libdir"
tool=$(command -v zemhttp)
if [ "$tool" != /usr/bin/zemhttp ]; then
  echo "the installed tool is not the one on PATH: $tool" >&2
  exit 1
fi
zemhttp --help >/dev/null
if zemhttp --help | grep -q -- '--version'; then
  zemhttp --version
fi
if [ -f docs/zemhttp.1 ] && ! dpkg -L zemhttp | grep -q '/man1/zemhttp\.1\.gz$'; then
  echo "the zemhttp package carries no manual page" >&2
  exit 1
fi

trap - EXIT
remove
none_installed "still, after its removal"
echo "packages installed, used and removed: ${names[*]}"
