#!/usr/bin/env bash
# Builds the Debian package, checks what it holds and needs, installs it, runs
# the installed program once on a small tree, checks that the manual page
# renders cleanly, and removes the package again; checks the package with
# lintian, its program's hardening with readelf, and that a second build gives
# the same bytes. Needs root (or sudo) for dpkg. Exits non-zero on any failure.
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
"$root/scripts/install-deps.sh" libjpeg-turbo-progs man-db groff-base lintian binutils

deb=$("$root/scripts/package.sh")
echo "Package: $deb"

# What the package holds and needs.
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/trimvane ./usr/share/man/man1/trimvane.1.gz \
  ./usr/share/doc/trimvane/copyright ./usr/share/doc/trimvane/changelog.gz; do
  grep -q " $file\$" <<<"$contents" || fail "$file is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -qE '(^|, )libjpeg-turbo-progs(,|$| )' <<<"$depends" ||
  fail "Depends lacks libjpeg-turbo-progs: $depends"

# The manual page renders without a single warning.
warnings=$(MANWIDTH=80 man --warnings -l "$root/build-package/man/trimvane.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"

# Debian's own check: no error and no warning. An override needs a reason in
# a comment beside it (none is needed today).
lintian_out=$(lintian --fail-on none --display-info "$deb" 2>&1)
if [ -n "$lintian_out" ]; then echo "$lintian_out"; fi
if grep -qE '^[EW]: ' <<<"$lintian_out"; then
  fail "lintian reports errors or warnings"
fi

# Hardened as dpkg-buildflags' hardening=+all: PIE, relro with bind-now,
# fortified calls; and stripped.
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
program="$unpacked/usr/bin/trimvane"
# Each listing is taken whole first: a `grep -q` that stops reading early would
# fail the pipeline under pipefail.
header=$(readelf -h "$program")
grep -qE 'Type: +DYN' <<<"$header" || fail "the program is not position-independent"
dynamic=$(readelf -d "$program")
grep -qE 'FLAGS_1.*PIE' <<<"$dynamic" || fail "the program lacks the PIE flag"
grep -qE '\(FLAGS\).*BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "the program is not linked with bind-now"
segments=$(readelf -lW "$program")
grep -q GNU_RELRO <<<"$segments" || fail "the program has no relro segment"
symbols=$(readelf --dyn-syms -W "$program")
grep -qE ' __[a-z_]+_chk(@|$)' <<<"$symbols" || fail "the program has no fortified calls"
grep -q ' __stack_chk_fail' <<<"$symbols" || fail "the program has no stack protector"
sections=$(readelf -SW "$program")
grep -qE ' \.(symtab|comment) ' <<<"$sections" && fail "the program is not stripped"
rm -rf "$unpacked"

# Reproducible: a second build of the same commit gives the same bytes.
first=$(mktemp)
cp "$deb" "$first"
"$root/scripts/package.sh" >/dev/null
if ! cmp -s "$first" "$deb"; then
  rm -f "$first"
  fail "two builds of the package differ"
fi
rm -f "$first"

work=$(mktemp -d)
cleanup() {
  "${as_root[@]}" dpkg -r trimvane >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"${as_root[@]}" dpkg -i "$deb" >/dev/null
[ -x /usr/bin/trimvane ] || fail "/usr/bin/trimvane is not installed"
if [ -e /usr/share/man/man1/trimvane.1.gz ]; then  # unless dpkg is told to leave out manuals
  warnings=$(MANWIDTH=80 man --warnings -l /usr/share/man/man1/trimvane.1.gz 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man reports on the installed page: $warnings"
fi

# Small camera files from the test kit's maker (Exif first, Orientation value
# at offset 30, model text at 146, two thumbnails, the picture and one
# appended preview: four FF D8 FF sequences in all). The build line below is
# the package build's own configure (scripts/package.sh) plus the kit target.
build="$root/build-package"
cmake --build "$build" --target camera_files >/dev/null
make_camera_file() {  # <out> <orientation value, 1 to 8>; prints "<out> <length> <cut>"
  "$build/tests/kit/camera_files" --orientations "$2" "$1"
}

tree="$work/photos"
mkdir -p "$tree/empty" "$tree/2004"
echo "not a picture" >"$tree/notes.jpg"
read -r _ length cut < <(make_camera_file "$tree/2004/IMG_0001.JPG" 1)
make_camera_file "$tree/2004/IMG_0002.JPG" 6 >/dev/null
chmod 0640 "$tree/2004/IMG_0001.JPG"
touch -d "2004-05-06 07:08:09.123456789" "$tree/2004/IMG_0001.JPG"
before=$(stat -c '%a %x %y' "$tree/2004/IMG_0001.JPG")
saved=$((length - cut))
[ "$saved" -gt 0 ] || fail "the camera file has no appended preview"

status=0
out=$(cd "$work" && /usr/bin/trimvane photos) || status=$?
[ "$status" -eq 0 ] || fail "trimvane exited with $status"
version=$(dpkg-deb -f "$deb" Version)  # the one the build defines
head -n 1 <<<"$out" |
  grep -qE "^Trimvane V${version//./\\.}"' \([A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\)$' ||
  fail "unexpected banner: $(head -n 1 <<<"$out")"
# jpegtran drops what follows the picture, so the rotated file's saving is
# whatever it printed; the totals must agree with it.
rotated_saved=$(sed -n 's|^photos/2004/IMG_0002.JPG--> rotate 90 (\([0-9]*\))$|\1|p' <<<"$out")
[ -n "$rotated_saved" ] || fail "no rotation line in:
$out"
expected="photos/2004/IMG_0001.JPG ($saved)
photos/2004/IMG_0002.JPG--> rotate 90 ($rotated_saved)
2 files stripped
1 files rotated
$((saved + rotated_saved)) bytes saved"
# The listing order decides which file comes first.
[ "$(tail -n +4 <<<"$out" | sort)" = "$(sort <<<"$expected")" ] || fail "unexpected output:
$out"
[ "$(stat -c %s "$tree/2004/IMG_0001.JPG")" -eq $((length - saved)) ] || fail "IMG_0001.JPG was not cut"
[ "$(stat -c '%a %x %y' "$tree/2004/IMG_0001.JPG")" = "$before" ] ||
  fail "IMG_0001.JPG lost its mode or times: $before became $(stat -c '%a %x %y' "$tree/2004/IMG_0001.JPG")"
[ "$(od -An -tu1 -j30 -N4 "$tree/2004/IMG_0002.JPG" | tr -s ' ')" = " 1 0 0 0" ] ||
  fail "IMG_0002.JPG does not say Normal"
[ "$(cat "$tree/notes.jpg")" = "not a picture" ] || fail "notes.jpg was touched"
leftovers=$(find "$tree" -name '*.stripped' -o -name '*.r')
[ -z "$leftovers" ] || fail "temporary files left: $leftovers"
[ "$(/usr/bin/trimvane --version)" = "$(head -n 1 <<<"$out")" ] ||
  fail "--version is not the banner's first line"

cleanup
trap - EXIT
installed && fail "the package is still installed after dpkg -r"
echo "test-package: the package builds, installs, runs and is removed cleanly"
