#!/usr/bin/env bash
# Builds the Windows programs (scripts/build-windows.sh) and jpegtran.exe
# (scripts/build-jpegtran-windows.sh), builds their tests with MinGW-w64 (Debug,
# into build-win32-test/ and build-win64-test/), and runs each suite through
# ctest under Wine, in a Wine prefix of its own inside its build folder; then
# tries the release archives as a user would (scripts/try-windows-package.sh).
# The 64-bit suite always runs; the 32-bit one where the machine can run 32-bit
# programs (Wine's 32-bit half needs a kernel that does). Exits non-zero on any
# failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo -n); fi
# Wine's 32-bit half comes from the i386 architecture, which apt must know first.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"$root/scripts/install-deps.sh" cmake ninja-build libjpeg-turbo-progs googletest \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386

bash "$root/scripts/build-windows.sh"
jpegtran=$(bash "$root/scripts/build-jpegtran-windows.sh")
# Linked statically, the programs import nothing but what every Windows has.
for built in i686:build-win32/trimvane.exe x86_64:build-win64/trimvane64.exe; do
  dlls=$("${built%%:*}-w64-mingw32-objdump" -p "$root/${built#*:}" |
    sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  if [ "$dlls" != "kernel32.dll msvcrt.dll " ]; then
    echo "${built#*:} needs more than Windows itself: $dlls" >&2
    exit 1
  fi
done

export WINEDEBUG=-all  # Wine's own diagnostics would bury the tests' output
unset DISPLAY           # console programs only: no window, no X server
status=0
cd "$root"
for target in win32:/usr/lib/wine/wine win64:/usr/lib/wine/wine64; do
  IFS=: read -r bits loader <<<"$target"  # the loader is the preset's emulator
  build="$root/build-$bits-test"
  cmake --preset "$bits-test" -DTRIMVANE_JPEGTRAN_EXE="$jpegtran/$bits/jpegtran.exe" >/dev/null
  cmake --build --preset "$bits-test"

  if ! "$loader" --version >/dev/null 2>&1; then
    if [ "$bits" = win64 ]; then
      echo "$loader does not start: the Windows suite cannot run" >&2
      exit 1
    fi
    echo "Not running the $bits suite: $loader does not start on this machine (its" \
      "kernel runs no 32-bit programs); $build/trimvane_tests.exe is built."
    continue
  fi
  export WINEARCH=$bits WINEPREFIX="$build/wine"
  [ -f "$WINEPREFIX/system.reg" ] || "$loader" wineboot -i >/dev/null 2>&1
  echo "Running the $bits Windows suite under $("$loader" --version)"
  ctest --test-dir "$build" --parallel 2 --output-on-failure || status=1
  # The hardened Release program of build-windows.sh starts and answers too.
  release=$(ls "$root/build-$bits"/trimvane*.exe)
  if ! "$loader" "$release" --version | grep -q '^Trimvane V'; then
    echo "$release does not start under Wine" >&2
    status=1
  fi
  wineserver -k 2>/dev/null || true  # the prefix's server would linger a while
done
bash "$root/scripts/try-windows-package.sh" || status=1
exit $status
