#!/usr/bin/env bash
# Builds everything and runs every test: native (plain and sanitized), the
# Windows build under Wine, and the fuzzers for a bounded time.
#   tools/test.sh            everything
#   UPD_FUZZ_SECONDS=N       seconds per fuzz target (default 60)
#   UPD_SKIP="wine fuzz"     stages to leave out while developing
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh || exit 1

skip=" ${UPD_SKIP:-} "
fuzz_seconds=${UPD_FUZZ_SECONDS:-60}
jobs=$(nproc)
status=0
passed=0
skipped=0
failed=0
summary=()

stage() { echo; echo "==== $* ===="; }

# ctest's closing line gives the counts; add them to the overall tally.
# Its total includes the skipped tests (listed as "(Skipped)" among those
# that did not run), which passed none of their checks.
run_ctest() {
  local name=$1; shift
  local log=build/$name-ctest.log
  ctest --preset "$name" -j "$jobs" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local total fail skips
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fail=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    skips=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -c '(Skipped)$')
    passed=$((passed + total - fail - skips))
    skipped=$((skipped + skips))
    failed=$((failed + fail))
    [ "$skips" = 0 ] || line="$line, $skips skipped"
  fi
  summary+=("$name: ${line:-no tests ran} (exit $rc)")
  [ "$rc" = 0 ] || status=1
}

build() {
  local name=$1; shift
  cmake --preset "$name" -DUPD_WERROR=ON "$@" >/dev/null || { summary+=("$name: configure failed"); status=1; return 1; }
  cmake --build --preset "$name" -j "$jobs" || { summary+=("$name: build failed"); status=1; return 1; }
}

stage "native build and tests"
build native && run_ctest native

if [[ $skip != *" asan "* ]]; then
  stage "sanitized build and tests (ASan + UBSan)"
  build asan && ASAN_OPTIONS=detect_leaks=1 run_ctest asan
fi

if [[ $skip != *" wine "* ]]; then
  stage "Windows build (i686) and tests under Wine"
  if build win32; then
    source tools/wine-env.sh
    upd_wine_prepare
    run_ctest win32
    wineserver -k 2>/dev/null || true
  fi
fi

if [[ $skip != *" fuzz "* ]] && [ -f tests/fuzz/CMakeLists.txt ]; then
  stage "fuzzers, ${fuzz_seconds}s each"
  if build fuzz; then
    for f in build/fuzz/tests/fuzz/fuzz_*; do
      [ -x "$f" ] || continue
      name=$(basename "$f")
      corpus=$(mktemp -d)
      [ -d "tests/fuzz/corpus/${name#fuzz_}" ] && cp -r "tests/fuzz/corpus/${name#fuzz_}/." "$corpus/"
      if "$f" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" \
          >"build/$name.log" 2>&1; then
        passed=$((passed + 1)); summary+=("$name: no finding in ${fuzz_seconds}s")
      else
        failed=$((failed + 1)); status=1; summary+=("$name: FINDING, see build/$name.log")
        tail -n 40 "build/$name.log"
      fi
      rm -rf "$corpus"
    done
  fi
fi

stage "summary"
printf '%s\n' "${summary[@]}"
echo "$passed passed, $skipped skipped, $failed failed"
exit $status
