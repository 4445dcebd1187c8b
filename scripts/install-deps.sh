#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing:
# with apt-get as root, through sudo otherwise, or says what to install.
# --no-recommends first: without the packages they recommend (devscripts, for
# one, recommends a whole keyring).
# Usage: scripts/install-deps.sh [--no-recommends] PACKAGE...
set -euo pipefail
recommends=()
if [ "${1:-}" = --no-recommends ]; then
  recommends=(--no-install-recommends)
  shift
fi

missing=()
for package in "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  run_as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  run_as_root=(sudo)
else
  echo "Please install these packages first: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing ${missing[*]}" >&2
"${run_as_root[@]}" apt-get update -q >&2
DEBIAN_FRONTEND=noninteractive "${run_as_root[@]}" apt-get install -y -q "${recommends[@]}" "${missing[@]}" >&2
