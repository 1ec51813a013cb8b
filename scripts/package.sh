#!/usr/bin/env bash
# Builds the release packages into dist/:
#   quillorn-VERSION-windows-x64.zip  the window, the command-line client, the guide, the licence
#   quillorn_VERSION-1_amd64.deb      the command-line client and the virtual bench for Linux
#   SHA256SUMS                        for both
# Reuses build/native and build/windows (configured and brought up to date here; with
# QUILLORN_PACKAGE_NO_BUILD=1 taken as they are). They replace the packages in dist/.
# The Linux build's `dist` target runs this script with QUILLORN_PACKAGE_NATIVE_DIR naming that
# build, whose two programs it has just brought up to date.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs=${QUILLORN_JOBS:-$(nproc)}
dist="$root/dist"
stage="$root/build/package"
native="${QUILLORN_PACKAGE_NATIVE_DIR:-$root/build/native}"

fail() { echo "package.sh: $*" >&2; exit 1; }

build_programs() {
  if [ -z "${QUILLORN_PACKAGE_NATIVE_DIR:-}" ]; then
    cmake --preset native >/dev/null
    cmake --build build/native -j "$jobs" --target quillorn quillorn-sim
  fi
  cmake --preset windows >/dev/null
  cmake --build build/windows -j "$jobs" --target Quillorn quillorn
}

# The version both builds were made with; they must agree, or the zip and the .deb would name
# different programs.
read_version() {
  local native_version windows
  native_version=$(sed -n 's/^#define QUILLORN_VERSION "\(.*\)"$/\1/p' "$native/generated/QuillornVersion.hpp")
  windows=$(sed -n 's/^#define QUILLORN_VERSION "\(.*\)"$/\1/p' build/windows/generated/QuillornVersion.hpp)
  [ -n "$native_version" ] || fail "no version in $native/generated/QuillornVersion.hpp"
  [ "$native_version" = "$windows" ] || fail "$native is $native_version but build/windows is $windows"
  echo "$native_version"
}

# Text for Notepad: UTF-8 with a byte-order mark (so the Cyrillic shows on any Windows) and
# CRLF line ends.
windows_text() {
  printf '\xef\xbb\xbf'
  sed 's/$/\r/'
}

readme_text() {
  cat <<EOF
Quillorn $version

Quillorn — программа для программатора ЭБУ «ЖВ-2» / «ЖВ-4»: запись и чтение
flash-памяти и EEPROM блока управления двигателем, паспорт прошивки,
идентификация ЭБУ.

Запуск
  Распакуйте архив в любую папку и запустите Quillorn.exe. Установка не нужна.
  Программатор подключается к COM-порту (или к USB-переходнику); номер порта
  виден в Диспетчере устройств Windows, раздел «Порты (COM и LPT)».

Командная строка
  Программа для командной строки лежит в папке cli:
    cli\\quillorn.exe --help
    cli\\quillorn.exe ports

Руководство
  Подробное руководство пользователя: guide\\guide.html (откройте в браузере).
  В нём описаны все работы, правила безопасности и все сообщения программы.

Лицензия: LICENSE.txt.
Версия: $version
EOF
}

make_zip() {
  local name="quillorn-$version-windows-x64"
  local top="$stage/zip/$name"
  mkdir -p "$top/cli" "$top/guide"
  # Without their symbol tables the programs are half the size.
  x86_64-w64-mingw32-strip -o "$top/Quillorn.exe" build/windows/app/Quillorn.exe
  # Windows folders ignore case: Quillorn.exe and quillorn.exe cannot share one.
  x86_64-w64-mingw32-strip -o "$top/cli/quillorn.exe" build/windows/cli/quillorn.exe
  scripts/guide-html.sh "$top/guide"
  [ -f "$top/guide/guide.html" ] || fail "scripts/guide-html.sh made no guide.html"
  windows_text <LICENSE >"$top/LICENSE.txt"
  readme_text | windows_text >"$top/Прочтите.txt"
  # cmake's archiver marks the names as UTF-8, so Windows shows "Прочтите.txt" as written.
  (cd "$stage/zip" && cmake -E tar cf "$stage/out/$name.zip" --format=zip --mtime="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')" "$name")
  zip_file="$name.zip"
}

# The client's --help as help2man reads it best: each usage line and each note its own paragraph.
# A wrapper of the same name, so the page is named after the program.
help_as_paragraphs() {
  local wrapper="$stage/man/$(basename "$1")"
  mkdir -p "$stage/man"
  cat >"$wrapper" <<EOF
#!/bin/sh
"$1" "\$@" | sed -e 's/^usage:\$/&\n/' -e '/^  quillorn /{s/^  //;s/  */ /g;s/\$/\n/;}' \
  -e 's/^\(FAMILY\|PORT\|baud\):/\n&/' -e 's/^Every /\n&/'
EOF
  chmod +x "$wrapper"
  echo "$wrapper"
}

# Man pages from the programs' own --help, so they cannot drift from it. help2man takes the
# --name text as bytes: it stays ASCII.
make_man_pages() {
  local man="$1/usr/share/man/man1"
  mkdir -p "$man"
  help2man --no-info --section=1 --locale=C.UTF-8 --version-string="$version" \
    --name="client for the ECU flash programmer box on a serial port" \
    "$(help_as_paragraphs "$1/usr/bin/quillorn")" >"$man/quillorn.1"
  help2man --no-info --section=1 --locale=C.UTF-8 --version-string="$version" \
    --name="virtual programmer box and ECU on a pseudo-terminal" \
    --no-discard-stderr "$1/usr/bin/quillorn-sim" >"$man/quillorn-sim.1"
  gzip -9n "$man/quillorn.1" "$man/quillorn-sim.1"
}

changelog_text() {
  cat <<EOF
quillorn ($deb_version) unstable; urgency=medium

  * Release $version: the command-line client and the virtual bench.

 -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")
EOF
}

stage_deb_tree() {
  local tree="$1"
  local doc="$tree/usr/share/doc/quillorn"
  mkdir -p "$tree/DEBIAN" "$tree/usr/bin" "$doc" "$tree/usr/share/lintian/overrides"
  install -m 0755 "$native/cli/quillorn" "$native/sim/quillorn-sim" "$tree/usr/bin/"
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$tree"/usr/bin/*
  make_man_pages "$tree"
  install -m 0644 packaging/debian/copyright packaging/debian/README.Debian "$doc/"
  changelog_text | gzip -9n >"$doc/changelog.Debian.gz"
  install -m 0644 packaging/debian/lintian-overrides "$tree/usr/share/lintian/overrides/quillorn"
}

write_deb_control() {
  local tree="$1" depends
  depends=$(shared_library_depends "$tree")
  [ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies for the programs"
  sed -e "s/@VERSION@/$deb_version/" \
      -e "s/@INSTALLED_SIZE@/$(du -sk "$tree/usr" | cut -f1)/" \
      -e "s/@DEPENDS@/$depends/" \
      packaging/debian/control.in >"$tree/DEBIAN/control"
  (cd "$tree" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
}

make_deb() {
  local tree="$stage/deb"
  stage_deb_tree "$tree"
  write_deb_control "$tree"
  find "$tree" -type d -exec chmod 0755 {} +
  find "$tree/usr/share" "$tree/DEBIAN" -type f -exec chmod 0644 {} +
  deb_file="quillorn_${deb_version}_amd64.deb"
  dpkg-deb --root-owner-group -Zxz --build "$tree" "$stage/out/$deb_file" >/dev/null
}

# The libraries the programs link, as Debian package dependencies.
shared_library_depends() {
  local work="$stage/shlibs"
  mkdir -p "$work/debian"
  printf 'Source: quillorn\n\nPackage: quillorn\nArchitecture: amd64\n' >"$work/debian/control"
  (cd "$work" && dpkg-shlibdeps -O "$1/usr/bin/quillorn" "$1/usr/bin/quillorn-sim") |
    sed -n 's/^shlibs:Depends=//p'
}

command -v help2man >/dev/null || fail "help2man is missing (scripts/install-deps.sh installs it)"
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps is missing (package dpkg-dev)"
[ "${QUILLORN_PACKAGE_NO_BUILD:-0}" = 1 ] || build_programs
version=$(read_version)
# A build's metadata after "+" stays in the upstream part; "-1" is the package's own revision.
deb_version="$version-1"
maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control.in)
# Dates inside the packages are the commit's, so the same commit gives the same packages.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH

# Made in build/package/out and moved into dist/ only when all three are complete.
rm -rf "$stage"
mkdir -p "$stage/out" "$dist"
make_zip
make_deb
(cd "$stage/out" && sha256sum "$zip_file" "$deb_file" >SHA256SUMS)
# dist/ holds one version, the one SHA256SUMS names: a test run per commit would pile them up.
rm -f "$dist"/quillorn-*-windows-x64.zip "$dist"/quillorn_*_amd64.deb
mv "$stage/out/$zip_file" "$stage/out/$deb_file" "$stage/out/SHA256SUMS" "$dist/"
echo "dist/$zip_file ($(du -h "$dist/$zip_file" | cut -f1))"
echo "dist/$deb_file ($(du -h "$dist/$deb_file" | cut -f1))"
echo "dist/SHA256SUMS"
