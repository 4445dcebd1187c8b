#!/usr/bin/env bash
# Makes every file of a release in dist/, from a clean checkout of the commit
# to release:
#   trimvane-<version>.tar.gz            the source tarball: HEAD as git archive
#                                        gives it, packed again in name order,
#                                        owned by root, every file dated alike
#   trimvane_<version>.dsc, .tar.xz      the source package, built from that
#                                        tarball unpacked (scripts/package.sh)
#   trimvane_<version>_<arch>.deb        the binary package of the same build,
#                                        its tests run
#   trimvane-<version>-win32.zip, -win64.zip   the Windows archives
#                                        (scripts/package-windows.sh)
#   SHA256SUMS                           the checksums of all of them
# Every date is the release date, the latest debian/changelog entry's
# (SOURCE_DATE_EPOCH), so running it twice on one commit gives the same files.
# Usage: scripts/release.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

fail() {
  echo "release.sh: $*" >&2
  exit 1
}

"$root/scripts/install-deps.sh" --no-recommends dpkg-dev git tar gzip >&2
# The tarball holds HEAD: changes not committed would be in no file of the release.
[ -z "$(git status --porcelain)" ] || fail "not a clean checkout; commit or remove what git status shows"

version=$(dpkg-parsechangelog -SVersion)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -STimestamp)
export SOURCE_DATE_EPOCH
export LC_ALL=C # sorted names, in the tarball and in SHA256SUMS
umask 022
name="trimvane-$version"
work="$root/build-release"
dist="$root/dist"
rm -rf "$work" "$dist"
mkdir -p "$work/export" "$dist"

# The source tarball. git archive dates every file by the commit and gives
# them git's modes (0664 by default); here they are dated by the release and
# get the usual modes.
git archive --format=tar --prefix="$name/" HEAD | tar -C "$work/export" -xf -
tar -C "$work/export" --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$SOURCE_DATE_EPOCH" --mode='a+rX,u+w,go-w' -cf - "$name" |
  gzip -9 -n >"$dist/$name.tar.gz"

# The packages, built as a packager would: from the unpacked tarball.
tar -C "$work" -xzf "$dist/$name.tar.gz"
changes=$("$work/$name/scripts/package.sh")
packages=$(dirname "$changes")
cp "$packages/trimvane_$version.dsc" "$packages"/trimvane_"$version".tar.* \
  "$packages"/trimvane_"$version"_*.deb "$dist/"

while read -r archive; do
  cp "$archive" "$dist/"
done < <("$root/scripts/package-windows.sh")

(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "release.sh: $dist" >&2
cat "$dist/SHA256SUMS"
