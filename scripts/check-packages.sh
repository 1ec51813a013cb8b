#!/usr/bin/env bash
# Checks the packages that scripts/package.sh put into dist/ (the two that SHA256SUMS names):
# the sums, the zip's files and its programs' version (under Wine), the .deb's programs run
# from its unpacked contents, and lintian.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dist="$root/dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() {
  local what="$1"
  shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    sed 's/^/     /' "$work/out"
    failures=$((failures + 1))
  fi
}

prints() {  # prints EXPECTED COMMAND...: the command succeeds and its output holds EXPECTED
  local expected="$1"
  shift
  local output
  output=$("$@" 2>&1) || { echo "$output"; return 1; }
  grep -qF -- "$expected" <<<"$output" || { echo "expected \"$expected\" in: $output"; return 1; }
}

zip_holds_files() {
  cmake -E tar tf "$dist/$zip_file" >"$work/zip-list"
  local missing=0 f
  for f in Quillorn.exe cli/quillorn.exe guide/guide.html LICENSE.txt Прочтите.txt; do
    grep -qxF "$zip_top/$f" "$work/zip-list" || { echo "missing $zip_top/$f"; missing=1; }
  done
  return $missing
}

guide_pictures_present() {  # every picture the guide's HTML shows is in the zip beside it
  local guide="$work/zip/$zip_top/guide" missing=0 picture
  for picture in $(grep -o '<img [^>]*src="[^"]*"' "$guide/guide.html" | sed 's/.*src="//;s/"$//'); do
    [ -f "$guide/$picture" ] || { echo "guide.html shows $picture, which the zip lacks"; missing=1; }
  done
  return $missing
}

readme_is_notepad_text() {
  local readme="$work/zip/$zip_top/Прочтите.txt"
  [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || { echo "no UTF-8 byte-order mark"; return 1; }
  if grep -q $'[^\r]$' "$readme"; then echo "a line without CR"; return 1; fi
  grep -qF "$version" "$readme" || { echo "no version $version"; return 1; }
}

version_resource_holds() {  # version_resource_holds EXE: FileVersion/ProductVersion as UTF-16 text
  [ "$(strings -el "$1" | grep -cxF "$version")" -ge 2 ] || { echo "no version $version in $1"; return 1; }
}

lintian_clean() {
  lintian --fail-on error --display-info "$dist/$deb_file" >"$work/lintian" 2>&1
}

cd "$dist"
check "SHA256SUMS verifies" sha256sum -c SHA256SUMS
zip_file=$(grep -o 'quillorn-.*-windows-x64\.zip$' SHA256SUMS)
deb_file=$(grep -o 'quillorn_.*_amd64\.deb$' SHA256SUMS)
zip_top=${zip_file%.zip}
version=${zip_top#quillorn-}
version=${version%-windows-x64}
echo "     version $version: $zip_file ($(du -h "$zip_file" | cut -f1)), $deb_file ($(du -h "$deb_file" | cut -f1))"

check "zip holds the programs, the guide, the licence and Прочтите.txt" zip_holds_files
mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$dist/$zip_file")
check "the guide's pictures are beside it" guide_pictures_present
check "Прочтите.txt is UTF-8 with BOM and CRLF and names the version" readme_is_notepad_text
check "Quillorn.exe carries the version" version_resource_holds "$work/zip/$zip_top/Quillorn.exe"
check "quillorn.exe carries the version" version_resource_holds "$work/zip/$zip_top/cli/quillorn.exe"
check "quillorn.exe --version under Wine" \
  prints "quillorn $version" "$root/scripts/wine-env.sh" wine "$work/zip/$zip_top/cli/quillorn.exe" --version

dpkg-deb -x "$deb_file" "$work/deb"
check ".deb: quillorn --version" prints "quillorn $version" "$work/deb/usr/bin/quillorn" --version
check ".deb: quillorn-sim --help" prints "usage: quillorn-sim" "$work/deb/usr/bin/quillorn-sim" --help
check ".deb: man pages" test -s "$work/deb/usr/share/man/man1/quillorn.1.gz" -a -s "$work/deb/usr/share/man/man1/quillorn-sim.1.gz"
check ".deb: README.Debian names the dialout group" grep -qF 'adduser $USER dialout' "$work/deb/usr/share/doc/quillorn/README.Debian"
check "lintian reports no error" lintian_clean
sed 's/^/     /' "$work/lintian"

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "all package checks passed"
