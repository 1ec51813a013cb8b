#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Needs root (CI runs as root); as another user it only reports what is missing.
#   install-deps.sh            everything the tests need (Wine, MinGW, SDCC, ...)
#   install-deps.sh --native   only what building the Linux programs needs (scripts/demo.sh)
set -euo pipefail

# The bootstrap images are committed data: building the programs needs no 8051 tools.
native=(cmake ninja-build g++)

packages=(
  "${native[@]}" pkg-config
  googletest libgtest-dev                       # tests, native and the MinGW build from sources
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools  # Windows cross-build
  wine64 wine                                   # runs the Windows tests
  fonts-wine                                    # Tahoma for "MS Sans Serif" under Wine (scripts/wine-fonts.sh), 1 MB
  sdcc sdcc-ucsim                               # bootstrap images (8051) and the s51 cross-check
  srecord                                       # independent hex files for the reader's tests
  socat xvfb xauth imagemagick                  # pseudo-terminal links, the GUI test and its screenshot
  clang libclang-rt-14-dev                      # the fuzz targets (libFuzzer)
  pandoc help2man lintian dpkg-dev              # release packages: the guide's HTML, man pages, the .deb's checks
)

case "${1:-}" in
  "") ;;
  --native) packages=("${native[@]}") ;;
  *) echo "Usage: $0 [--native]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages (install them as root): ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
