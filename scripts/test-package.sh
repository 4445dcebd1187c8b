#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh: the source package and the
# .deb, the tests run in the build) and checks them: what the .deb holds and
# needs; lintian on the .changes, pedantic tags shown, with no error, warning
# or pedantic finding; the program's hardening (hardening-check, readelf);
# a second build, without the tests, gives the same files byte for byte;
# autopkgtest runs debian/tests on the installed package (null testbed: this
# machine); then the .deb is installed by hand, its manual page rendered and
# the program run, and removed again. Needs root (or sudo) for dpkg.
# Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "test-package: $*" >&2
  exit 1
}

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root=(sudo)
else
  fail "installing the package needs root or sudo"
fi
installed() {
  dpkg-query -W -f='${Status}' trimvane 2>/dev/null | grep -q "install ok installed"
}
if installed; then
  fail "a trimvane package is already installed; remove it first (dpkg -r trimvane)"
fi
# devscripts for hardening-check.
"$root/scripts/install-deps.sh" --no-recommends lintian devscripts autopkgtest man-db \
  groff-base binutils libjpeg-turbo-progs

changes=$("$root/scripts/package.sh")
out=$(dirname "$changes")
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -SVersion)
deb=$(ls "$out"/trimvane_"$version"_*.deb)
echo "Packages: $changes"

# What the package holds and needs.
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/trimvane ./usr/share/man/man1/trimvane.1.gz \
  ./usr/share/doc/trimvane/copyright ./usr/share/doc/trimvane/changelog.gz; do
  grep -q " $file\$" <<<"$contents" || fail "$file is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -qE '(^|, )libjpeg-turbo-progs(,|$| )' <<<"$depends" ||
  fail "Depends lacks libjpeg-turbo-progs: $depends"

# Debian's own check, of the source package and the .deb: no error, no
# warning, no pedantic finding. Each exception is overridden in
# debian/*lintian-overrides with its reason beside it.
lintian_out=$(lintian --pedantic --display-info --fail-on none "$changes" 2>&1 |
  grep -v '^running with root privileges is not recommended!$' || true)
if [ -n "$lintian_out" ]; then echo "$lintian_out"; fi
if grep -qE '^[EWP]: ' <<<"$lintian_out"; then
  fail "lintian reports errors, warnings or pedantic findings"
fi

# Hardened as dpkg-buildflags' hardening=+all gives it, and stripped by
# dh_strip. Bookworm's dpkg asks for no control-flow protection
# (-fcf-protection), so hardening-check is told not to look for it.
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
program="$unpacked/usr/bin/trimvane"
hardening-check --nocfprotection "$program" || fail "the program is not hardened"
# Each listing is taken whole first: a `grep -q` that stops reading early would
# fail the pipeline under pipefail.
sections=$(readelf -SW "$program")
grep -qE ' \.(symtab|comment) ' <<<"$sections" && fail "the program is not stripped"
# The manual page renders without a single warning.
warnings=$(MANWIDTH=80 man --warnings -l "$unpacked/usr/share/man/man1/trimvane.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"
rm -rf "$unpacked"

# Reproducible: a second build of the same source, this time without the
# tests, gives the same source package and .deb.
kept=$(mktemp -d)
cp "$deb" "$out"/trimvane_"$version".dsc "$out"/trimvane_"$version".tar.* "$kept/"
DEB_BUILD_OPTIONS="parallel=1 nocheck" "$root/scripts/package.sh" >/dev/null
for file in "$kept"/*; do
  cmp -s "$file" "$out/$(basename "$file")" ||
    { rm -rf "$kept"; fail "two builds differ in $(basename "$file")"; }
done
rm -rf "$kept"

cleanup() {
  "${as_root[@]}" dpkg -r trimvane >/dev/null 2>&1 || true
}
trap cleanup EXIT
# The tests of debian/tests on the installed package; autopkgtest installs it
# and what the tests need with apt.
log="$out/autopkgtest.log"
if ! "${as_root[@]}" autopkgtest "$changes" -- null >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  fail "autopkgtest failed; the whole log is $log"
fi
grep -E '^[a-z-]+ +(PASS|FAIL|SKIP)' "$log" | sort -u
"${as_root[@]}" dpkg -r trimvane >/dev/null
installed && fail "the package is still installed after dpkg -r"

# By hand: dpkg installs it, the program and its page are in place, and
# dpkg removes it without a trace.
"${as_root[@]}" dpkg -i "$deb" >/dev/null
[ -x /usr/bin/trimvane ] || fail "/usr/bin/trimvane is not installed"
banner=$(/usr/bin/trimvane --version)
grep -qE "^Trimvane V${version//./\\.} \(" <<<"$banner" || fail "unexpected banner: $banner"
if [ -e /usr/share/man/man1/trimvane.1.gz ]; then  # unless dpkg is told to leave out manuals
  warnings=$(MANWIDTH=80 man --warnings -l /usr/share/man/man1/trimvane.1.gz 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man reports on the installed page: $warnings"
fi
"${as_root[@]}" dpkg -r trimvane >/dev/null
trap - EXIT
installed && fail "the package is still installed after dpkg -r"
[ -e /usr/bin/trimvane ] && fail "/usr/bin/trimvane is left after dpkg -r"
echo "test-package: the packages build reproducibly, pass lintian and autopkgtest, install and remove cleanly"
