#!/usr/bin/env bash
# Builds jpegtran.exe for 32-bit and 64-bit Windows from Debian's own source
# package of libjpeg-turbo (the version apt would install as
# libjpeg-turbo-progs), with the project's MinGW-w64 toolchain files, and
# keeps each build by source version:
#   build-jpegtran/libjpeg-turbo-<version>/win32/  jpegtran.exe README.ijg LICENSE.md
#   build-jpegtran/libjpeg-turbo-<version>/win64/  the same, 64-bit
# A version built before is not built again. Prints the version's folder as
# its only line on standard output; everything else goes to standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/build-jpegtran"

"$root/scripts/install-deps.sh" cmake ninja-build g++-mingw-w64-i686-posix \
  g++-mingw-w64-x86-64-posix >&2

# The source version behind the binary package apt offers: "Source: name (version)"
# when the two differ (a binary-only rebuild), otherwise the package's own.
package_facts=$(apt-cache show --no-all-versions libjpeg-turbo-progs 2>/dev/null || true)
if [ -z "$package_facts" ]; then
  apt-get update -q >&2
  package_facts=$(apt-cache show --no-all-versions libjpeg-turbo-progs)
fi
version=$(sed -n 's/^Source: libjpeg-turbo (\(.*\))$/\1/p' <<<"$package_facts")
[ -n "$version" ] || version=$(sed -n 's/^Version: //p' <<<"$package_facts")
upstream=${version#*:}  # without the epoch: 2.1.5-2
upstream=${upstream%-*} # without the Debian revision: 2.1.5
built="$cache/libjpeg-turbo-${version#*:}"
if [ -f "$built/win32/jpegtran.exe" ] && [ -f "$built/win64/jpegtran.exe" ]; then
  echo "$built"
  exit 0
fi

work="$cache/work-${version#*:}"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The source comes through apt, which checks its signature: a deb-src entry is
# added for every deb entry (same address, suites, components and key) unless
# one is there already, and taken away again afterwards.
added=""
remove_added() {
  if [ -n "$added" ]; then
    rm -f "$added"
    echo "Removed $added" >&2
  fi
}
trap remove_added EXIT
if ! grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' \
  /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null; then
    added=/etc/apt/sources.list.d/trimvane-deb-src.sources
    # A blank line between files keeps their entries apart.
    awk 'FNR == 1 && NR > 1 { print "" } { sub(/^Types:[[:space:]]*deb[[:space:]]*$/, "Types: deb-src"); print }' \
      /etc/apt/sources.list.d/*.sources >"$added"
  else
    added=/etc/apt/sources.list.d/trimvane-deb-src.list
    cat /etc/apt/sources.list 2>/dev/null | sed -n 's/^deb[[:space:]]/deb-src /p' >"$added"
  fi
  echo "Added $added for the source package" >&2
  apt-get update -q >&2
fi
apt-get source --download-only -q "libjpeg-turbo=$version" >&2
remove_added
added=""

tar -xf libjpeg-turbo_"$upstream".orig.tar.*
source="$work/libjpeg-turbo-$upstream"
for target in i686:win32 x86_64:win64; do
  arch=${target%%:*}
  bits=${target#*:}
  echo "Building jpegtran.exe ($bits) from libjpeg-turbo $version" >&2
  cmake -S "$source" -B "$work/build-$bits" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_EXE_LINKER_FLAGS=-static -DCMAKE_INSTALL_PREFIX=/opt/libjpeg-turbo >&2
  cmake --build "$work/build-$bits" --target jpegtran-static --parallel 2 >&2
  mkdir -p "$work/out/$bits"
  "$arch-w64-mingw32-strip" -o "$work/out/$bits/jpegtran.exe" "$work/build-$bits/jpegtran-static.exe"
  cp "$source/README.ijg" "$source/LICENSE.md" "$work/out/$bits/"
done
# Whole or not at all: an interrupted build leaves no folder that looks done.
rm -rf "$built"
mv "$work/out" "$built"
cd "$cache"
rm -rf "$work"
echo "$built"
