#!/usr/bin/env bash
# Runs a Windows program of the project under Wine: tools/wine-run.sh prog.exe [args...]
# The program's exit code is passed through.
#
# The first program of a new Wine server starts Wine's service processes, and
# they inherit its standard output and error: were those ctest's pipes, ctest
# would wait for them until the server ends. So the program writes to files
# that are passed on once it has ended.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
upd_wine_prepare
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
exit $status
