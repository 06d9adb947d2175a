#!/usr/bin/env bash
# The Updater's main job, shown on a scratch install directory (build/demo):
# a running fake product "mivato.exe", a staged update with a replaced file, a
# new file, a new nested directory and a Chinese file name, and their MD5s in
# "move.xml".
# Runs the Updater, then shows its console, the decoded log, the command line
# the product was restarted with, and the resulting tree.
#   tools/demo.sh          the Linux build
#   tools/demo.sh --wine   the Windows build under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

wine=false
case "${1:-}" in
  --wine) wine=true ;;
  "") ;;
  *) echo "usage: tools/demo.sh [--wine]" >&2; exit 2 ;;
esac

bash tools/setup.sh
if $wine; then preset=win32 exe=.exe; else preset=native exe=; fi
echo "== building the Updater and the fake product ($preset)"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target updater fake_product >/dev/null
build=build/$preset

demo=$root/build/demo
rm -rf "$demo"
dir=$demo/install
mkdir -p "$dir/bin" "$dir/autoTemp/bin/plugins" "$dir/autoTemp/文档"
cp "$build/app/updater$exe" "$dir/updater$exe"
cp "$build/tests/e2e/fake_product$exe" "$dir/mivato.exe"

# The installed version.
printf 'core 1.0\n' >"$dir/bin/core.dll"
printf 'settings stay\n' >"$dir/mivato.cfg"
# The staged update.
printf 'core 2.0\n' >"$dir/autoTemp/bin/core.dll"
printf 'chart plug-in 2.0\n' >"$dir/autoTemp/bin/plugins/chart.dll"
printf 'what is new in 2.0\n' >"$dir/autoTemp/readme.txt"
printf '更新说明 2.0\n' >"$dir/autoTemp/文档/说明.txt"
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<update>'
  for path in 'bin\core.dll' 'bin\plugins\chart.dll' 'readme.txt' '文档\说明.txt'; do
    sum=$(md5sum <"$dir/autoTemp/${path//\\//}" | cut -d' ' -f1)
    echo "  <file path=\"$path\" md5=\"$sum\"/>"
  done
  echo '</update>'
} >"$dir/move.xml"

# Every item of the install directory but the two programs, with the first
# line of each product file.
show_tree() {
  (cd "$dir" && find . -mindepth 1 \( -name 'updater*' -o -name mivato.exe \) -prune -o -print | sort |
    while read -r item; do
      case "$item" in
        ./autolog | ./move.xml) echo "  ${item#./}" ;;
        *) if [ -d "$item" ]; then echo "  ${item#./}/"; else echo "  ${item#./}: $(head -n 1 "$item")"; fi ;;
      esac
    done)
}

echo
echo "== before: $dir (besides updater$exe and mivato.exe)"
show_tree
echo
echo "== move.xml"
cat "$dir/move.xml"

# A running product, for the Updater to stop first.
touch "$demo/running"
if $wine; then
  tools/wine-run.sh "$dir/mivato.exe" --stay "$demo/running" "$demo/ready" >/dev/null 2>&1 &
else
  (cd "$dir" && exec ./mivato.exe --stay "$demo/running" "$demo/ready") &
fi
disown  # it is meant to be killed; no job report
for _ in $(seq 600); do
  [ -e "$demo/ready" ] && break
  sleep 0.1
done
echo
echo "== mivato.exe is running; now: updater$exe updater"
# Standard output goes to a file: under Wine a pipe could be held open by the
# server's service processes.
rc=0
if $wine; then
  tools/wine-run.sh "$dir/updater.exe" updater >"$demo/console" 2>/dev/null || rc=$?
  console=$(iconv -f GBK -t UTF-8 "$demo/console")
else
  "$dir/updater" updater >"$demo/console" || rc=$?
  console=$(cat "$demo/console")
fi
echo "exit code $rc"

# The Updater does not wait for the product it starts.
for _ in $(seq 600); do
  [ -s "$dir/product-cmdline.txt" ] && break
  sleep 0.1
done

echo
echo "== console (a trace)"
printf '%s\n' "$console" | tr -d '\r'
echo
echo "== autolog (UTF-16LE)"
python3 -c 'import sys; sys.stdout.write(open(sys.argv[1], "rb").read().decode("utf-16"))' "$dir/autolog" | tr -d '\r'
echo
echo "== the product was restarted with the command line"
if [ -s "$dir/product-cmdline.txt" ]; then
  sed 's/^/  /' "$dir/product-cmdline.txt"
else
  echo "  (the product did not start)"
fi
rm -f "$dir/product-cmdline.txt" "$demo/running"
echo
echo "== after"
show_tree
