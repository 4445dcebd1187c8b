#!/usr/bin/env bash
# Tries each Windows release archive (scripts/package-windows.sh) as a user
# would: unzipped into a fresh Wine prefix whose PATH holds no jpegtran, its
# trimvane.exe is run on a small tree with a turned camera file, from another
# folder, and must turn that picture with the jpegtran.exe beside it, making
# the bytes the build machine's jpegtran makes. An archive whose Wine loader
# does not start here (32-bit on a kernel without 32-bit programs) is skipped
# with a word. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" unzip python3 libjpeg-turbo-progs wine wine64 >&2
mapfile -t archives < <(bash "$root/scripts/package-windows.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all
unset DISPLAY

# A turned camera file (Orientation 6), from the test kit's generator, and
# what it must become: jpegtran's turn with the Orientation value reset to 1
# (jpegtran drops the appended preview, so nothing is left to cut).
"$root/scripts/install-deps.sh" cmake ninja-build g++ >&2
(cd "$root" && cmake --preset rel >/dev/null &&
  cmake --build --preset rel --target camera_files >/dev/null)
export CAMERA_FILES="$root/build-rel/tests/kit/camera_files"
PYTHONPATH="$root/tests/reliability" python3 - "$work" <<'EOF'
import subprocess, sys
from camera_tree import make_camera_jpeg
work = sys.argv[1]
original = make_camera_jpeg(orientations=[6])
open(f"{work}/turned.jpg", "wb").write(original)
subprocess.run(["jpegtran", "-rotate", "90", "-copy", "all", "-outfile",
                f"{work}/rotated.jpg", f"{work}/turned.jpg"], check=True)
rotated = bytearray(open(f"{work}/rotated.jpg", "rb").read())
rotated[30] = 1
open(f"{work}/expected.jpg", "wb").write(rotated)
EOF

status=0
for archive in "${archives[@]}"; do
  name=$(basename "$archive" .zip)
  case "$name" in
    *-win32) bits=win32 exe=trimvane.exe loader=/usr/lib/wine/wine ;;
    *) bits=win64 exe=trimvane64.exe loader=/usr/lib/wine/wine64 ;;
  esac
  if ! "$loader" --version >/dev/null 2>&1; then
    echo "Not trying $name.zip: $loader does not start on this machine"
    continue
  fi
  export WINEARCH=$bits WINEPREFIX="$work/wine-$bits"
  "$loader" wineboot -i >/dev/null 2>&1
  drive="$WINEPREFIX/drive_c"
  unzip -q "$archive" -d "$drive"
  mkdir -p "$drive/photos/2004"
  cp "$work/turned.jpg" "$drive/photos/2004/IMG_0001.JPG"
  # From the photos' folder, with the prefix's own PATH: only the jpegtran.exe
  # beside the program can turn the picture.
  output=$(cd "$drive/photos" && "$loader" "C:\\$name\\$exe" 'C:\photos' | tr -d '\r')
  wineserver -k 2>/dev/null || true
  if grep -qx 'C:\\photos\\2004\\IMG_0001.JPG--> rotate 90 ([0-9]*)' <<<"$output" &&
    cmp -s "$work/expected.jpg" "$drive/photos/2004/IMG_0001.JPG"; then
    echo "$name.zip: unzipped and run, it turned the picture with its own jpegtran.exe"
  else
    echo "$name.zip: the picture was not turned as expected; trimvane printed:" >&2
    echo "$output" >&2
    status=1
  fi
done
exit $status
