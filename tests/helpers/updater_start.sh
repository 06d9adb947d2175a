#!/usr/bin/env bash
# Starts the built Updater as a user would, from elsewhere, and checks what it
# leaves: its arguments on standard output and in "autolog" beside it, then
# "退出". It is started from a directory whose path is far longer than 260
# characters, where a cut module path would send the log elsewhere; and once
# more where "autolog" cannot be created, which must change nothing else.
#   updater_start.sh UPDATER [RUNNER]   (RUNNER: tools/wine-run.sh for the Windows build)
set -u
updater=$1
runner=${2:-}
base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# UTF-16LE bytes of a text, as hex.
u16hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }

deep=$base
for i in 1 2 3 4 5 6; do deep=$deep/directory-level-$i-with-a-rather-long-name-to-pass-the-old-limit; done
mkdir -p "$deep"
[ ${#deep} -gt 300 ] || fail "test directory too short"
name=$(basename "$updater")
cp "$updater" "$deep/$name"

run() { (cd "$base" && ${runner:+"$runner"} "$1/$name" first '100%s%d' 中文 >"$base/out" 2>"$base/err"); }

run "$deep" || fail "exit code $?"
[ -f "$deep/autolog" ] || fail "no autolog beside the program: the module directory was cut"
[ ! -e "$base/autolog" ] || fail "autolog written into the starting directory"
log=$(od -An -tx1 "$deep/autolog" | tr -d ' \n')
[ "${log:0:4}" = fffe ] || fail "autolog does not start with FF FE"
for word in first '100%s%d' 中文 退出; do
  [[ $log == *"$(u16hex "$word")0d000a00"* ]] || fail "autolog lacks the line $word"
done
[ "$(grep -c . <<<"$(iconv -f UTF-16LE -t UTF-8 "$deep/autolog" | tr -d '\r')")" = 5 ] || fail "autolog should hold 5 lines"

out=$(od -An -tx1 "$base/out" | tr -d ' \n')
if [ -n "$runner" ]; then
  eol=0d0a; chinese=d6d0cec4  # the trace is in code page 936
else
  eol=0a; chinese=e4b8ade69687
fi
for hex in "$(printf first | od -An -tx1 | tr -d ' \n')$eol" "$(printf '100%%s%%d' | od -An -tx1 | tr -d ' \n')$eol" "$chinese$eol"; do
  [[ $out == *"$hex"* ]] || fail "standard output lacks $hex: $out"
done

# "autolog" is a directory: the log cannot be created, the rest goes on.
rm -f "$deep/autolog" && mkdir "$deep/autolog"
run "$deep" || fail "exit code $? without a log"
[ -d "$deep/autolog" ] || fail "autolog directory replaced"
out=$(od -An -tx1 "$base/out" | tr -d ' \n')
[[ $out == *"$chinese$eol"* ]] || fail "standard output incomplete without a log"
echo "updater start checks passed"
