#!/usr/bin/env bash
# Makes the Windows release archives, one per architecture, in build-win-package/:
#   trimvane-<version>-win32.zip   trimvane.exe   + 32-bit jpegtran.exe
#   trimvane-<version>-win64.zip   trimvane64.exe + 64-bit jpegtran.exe
# each with README.txt for Windows users and the license texts of the
# libjpeg-turbo inside jpegtran.exe. Prints the archives' paths.
# The archives are reproducible: their files in name order, each dated
# SOURCE_DATE_EPOCH, which is the latest debian/changelog entry's unless set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-win-package"

"$root/scripts/install-deps.sh" cmake ninja-build g++-mingw-w64-x86-64-posix zip dpkg-dev >&2
# The linker takes the programs' time stamps from it too.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l "$root/debian/changelog" -STimestamp)}
export SOURCE_DATE_EPOCH
bash "$root/scripts/build-windows.sh" >&2
jpegtran=$(bash "$root/scripts/build-jpegtran-windows.sh")
jpeg_version=${jpegtran##*/libjpeg-turbo-}  # Debian's version of the source: 2.1.5-2

# The version as CMake defines it, written by CMake into each build folder.
version=$(cat "$root/build-win64/trimvane-version.txt")

for target in win32:trimvane.exe win64:trimvane64.exe; do
  bits=${target%%:*}
  exe=${target#*:}
  name="trimvane-$version-$bits"
  stage="$out/$name"
  rm -rf "$stage" "$out/$name.zip"
  mkdir -p "$stage"
  cp "$root/build-$bits/$exe" "$jpegtran/$bits/jpegtran.exe" "$stage/"
  cp "$jpegtran/$bits/README.ijg" "$stage/libjpeg-turbo-README.ijg"
  cp "$jpegtran/$bits/LICENSE.md" "$stage/libjpeg-turbo-LICENSE.md"
  # Windows' own editors want CR LF.
  sed 's/$/\r/' >"$stage/README.txt" <<EOF
Trimvane $version for Windows ($bits)
==================================

Trimvane tidies the JPEG files of the "EOS 300D DIGITAL", "EOS Kiss Digital"
and "EOS DIGITAL REBEL" cameras. Given one folder, it walks the
whole tree below it and, for every file those cameras wrote:
- turns the picture upright, losslessly, with jpegtran.exe, when the camera
  recorded it turned, and marks it as upright;
- cuts off the useless third preview image the camera appends to each file;
- puts the result in place of the original, under the same name, with the
  same creation, access and modification times and the same hidden and
  system attributes.

Running it
----------
Unzip the archive wherever you like, for example into C:\\ : it holds one
folder, $name. Keep jpegtran.exe beside $exe: Trimvane looks for it there
first, then along PATH (never in the current folder). Then, in a Command
Prompt (cmd.exe) or PowerShell window, give it the folder of your pictures:

  C:\\$name\\$exe D:\\Photos

It prints one line per camera file (its path, then what happened) and the
totals. "$exe --help" prints the usage, "$exe --version" the version.
Copy your pictures first if you want to keep them as the camera wrote them.

To see first what it would do, without changing anything, add -n:

  C:\\$name\\$exe -n D:\\Photos

It prints exactly what the real run would print, then "Dry run: nothing
was changed." No file or folder is created, written or removed. What only
putting a file in place can meet (a folder that cannot be written, a full
disk) cannot be foreseen.

You can also drop the folder of your pictures on $exe in Explorer (or
double-click $exe). The window then stays open at the end and says
"Press Enter to close this window." From a Command Prompt, PowerShell or a
script, or with its input or output redirected, it never waits.

What it never does
------------------
- It never touches a file that is not a .jpg of those cameras.
- It never leaves a picture missing or half-written: each new file is
  written completely, flushed to the disk, and then put in place of the
  original in one step.
- It never replaces a picture with the read-only attribute, nor one that
  another program holds open.
- It never passes a file name through a command interpreter: names holding
  blanks, &, ^ or % reach jpegtran.exe intact.
- Names in any language reach it whole (Cyrillic, Japanese, emoji), and
  so do paths longer than 260 characters. On Windows 10 version 1903 and
  later the console shows them as they are and redirected output is UTF-8;
  on older Windows the command line and the printed names stay in the
  system's code page.

What is inside
--------------
$exe                      Trimvane, a console program needing nothing but Windows
jpegtran.exe              from libjpeg-turbo $jpeg_version (Debian's source package),
                          built unchanged for Windows without SIMD
libjpeg-turbo-README.ijg  libjpeg-turbo's license texts: the IJG license
libjpeg-turbo-LICENSE.md  and the Modified BSD license with the zlib license

"This software is based in part on the work of the Independent JPEG Group."
EOF
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  # zip keeps local times: in UTC they are the same on every machine.
  (cd "$out" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$name.zip")
  echo "$out/$name.zip"
done
