#!/usr/bin/env bash
# Runs a Windows program of the project under Wine: tools/wine-run.sh prog.exe [args...]
# The program's exit code is passed through.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
upd_wine_prepare
exec wine "$@"
