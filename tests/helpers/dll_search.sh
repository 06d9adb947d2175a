#!/usr/bin/env bash
# A library planted beside a program is found by the default search rules and
# not once the program has restricted its DLL search as the Updater does.
#   dll_search.sh PROBE LIBRARY [RUNNER]
set -u
probe=$1 library=$2 runner=${3:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$probe" "$library" "$dir/"
cd "$dir"
exe=./$(basename "$probe")

before=$($runner "$exe" | tr -d '\r')
after=$($runner "$exe" restrict | tr -d '\r')
echo "default search: $before; restricted: $after"
# Windows searches the program's directory by default, the dynamic loader on
# Linux does not: there the library is never found.
if [ -n "$runner" ]; then
  [ "$before" = "loaded" ] || { echo "FAIL: the control did not load the planted library"; exit 1; }
fi
[ "$after" = "not loaded" ] || { echo "FAIL: the planted library was loaded"; exit 1; }
echo PASS
