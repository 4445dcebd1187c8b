#!/usr/bin/env bash
# Builds the Debian source and binary packages the Debian way, with
# dpkg-buildpackage (debian/rules: debhelper, hardening=+all, the tests run
# unless DEB_BUILD_OPTIONS holds nocheck), into build-package/, and prints the
# path of the .changes. The source is first copied to
# build-package/trimvane-<version>/ without the build folders, .git and
# dist/, so that neither they nor the packages' own outputs (which
# dpkg-buildpackage puts in the parent folder) mix with the tree. Works in a
# git checkout and in an unpacked release tarball alike; the build date is
# debian/changelog's, which dpkg puts in SOURCE_DATE_EPOCH.
# Usage: scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-package"

"$root/scripts/install-deps.sh" --no-recommends dpkg-dev debhelper fakeroot cmake ninja-build \
  g++ libgtest-dev libjpeg-turbo-progs >&2
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -SVersion)
source="$out/trimvane-$version"

rm -rf "$out"
mkdir -p "$source"
# Anchored patterns: only the top-level build folders, not scripts/build-*.sh.
tar -C "$root" --exclude-vcs --anchored --exclude='./build*' --exclude='./obj-*' \
  --exclude=./dist -cf - . | tar -C "$source" -xf -
# One job at a time unless asked otherwise: the machines are small.
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=1}"
if ! (cd "$source" && dpkg-buildpackage -us -uc) >"$out/build.log" 2>&1; then
  tail -n 60 "$out/build.log" >&2
  echo "package.sh: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
fi
ls "$out"/trimvane_"$version"_*.changes
