#!/usr/bin/env bash
# The version scheme of cmake/GitVersion.cmake on a throwaway repository, case by case, and the
# built client printing the version of its build's header.
#   version_test.sh SOURCE_DIR QUILLORN_PROGRAM VERSION_HEADER
set -euo pipefail
source_dir="$1" program="$2" header="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

version_of() {  # version_of DIR: the version the script writes for sources in DIR
  cmake -DSOURCE_DIR="$1" -DBASE_VERSION=0.1.0 -DTEMPLATE="$source_dir/cmake/Version.hpp.in" \
        -DOUTPUT="$work/out.hpp" -P "$source_dir/cmake/GitVersion.cmake"
  sed -n 's/^#define QUILLORN_VERSION "\(.*\)"$/\1/p' "$work/out.hpp"
}

expect() {  # expect CASE ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then echo "ok   $1: $2"; else echo "FAIL $1: $2, expected $3"; failures=$((failures + 1)); fi
}

repo="$work/repo"
mkdir -p "$repo/nested"
expect "no checkout" "$(version_of "$repo")" "0.1.0"
git -C "$repo" init -q
git -C "$repo" -c user.name=t -c user.email=t@t commit -q --allow-empty -m one
echo a >"$repo/file"
git -C "$repo" add file
git -C "$repo" -c user.name=t -c user.email=t@t commit -q -m two
head=$(git -C "$repo" rev-parse --short=7 HEAD)
expect "no tag" "$(version_of "$repo")" "0.1.0+g$head"
expect "sources inside another checkout" "$(version_of "$repo/nested")" "0.1.0"
git -C "$repo" tag v0.1.0 HEAD~1
expect "one commit after the tag" "$(version_of "$repo")" "0.1.0+1.g$head"
git -C "$repo" tag v0.1.0-rc1 HEAD  # a candidate on the release commit
git -C "$repo" tag -d v0.1.0 >/dev/null
git -C "$repo" tag v0.1.0 HEAD
expect "on the tag" "$(version_of "$repo")" "0.1.0"
touch -d '2000-01-01' "$work/out.hpp"
version_of "$repo" >/dev/null
expect "unchanged version keeps the header's time" "$(date -r "$work/out.hpp" +%Y)" "2000"
echo b >"$repo/file"
expect "uncommitted change on the tag" "$(version_of "$repo")" "0.1.0+0.g$head.dirty"

built=$(sed -n 's/^#define QUILLORN_VERSION "\(.*\)"$/\1/p' "$header")
expect "quillorn --version" "$("$program" --version)" "quillorn $built"

[ "$failures" -eq 0 ] || { echo "$failures version case(s) failed"; exit 1; }
