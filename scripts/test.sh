#!/bin/bash
# The project's one test command: native build with sanitizers, fuzz build,
# cross build run under Wine in the test environment, and the demo walked
# through against nginx. Prints a line per
# stage and a final "N passed, N failed"; exits non-zero if anything failed
# (a stage that cannot be configured or built counts as one failure).
#   scripts/test.sh [native] [fuzz] [win] [demo]    (no names: all four)
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

BASE="${VELTA_TEST_PORT_BASE:-18400}"
export VELTA_TEST_PORT_BASE="$BASE"
JOBS="${VELTA_JOBS:-2}"
# Build folders live below VELTA_BUILD_ROOT (default build/), so a helper can
# run the whole command without touching anybody else's folders.
BUILD_ROOT="${VELTA_BUILD_ROOT:-$ROOT/build}"
mkdir -p "$BUILD_ROOT"
BUILD_ROOT="$(cd "$BUILD_ROOT" && pwd)"
LOGS="$BUILD_ROOT/logs"

if ! scripts/install-deps.sh; then
  echo "test.sh: installing the dependencies failed"
  echo "0 passed, 1 failed"
  exit 1
fi
mkdir -p "$LOGS"

TOTAL_PASSED=0
TOTAL_FAILED=0
TOTAL_SKIPPED=0
SUMMARY=()

# run_stage NAME BUILD_DIR TEST_SUBDIR "CONFIGURE ARGS" CTEST_PREFIX...
# Configures and builds BUILD_DIR, runs ctest in BUILD_DIR/TEST_SUBDIR
# (through the prefix command, if any) and adds ctest's counts to the totals.
run_stage() {
  local name=$1 dir=$2 subdir=$3 config=$4
  shift 4
  local start=$SECONDS log="$LOGS/$name.log"
  echo "=== $name: configure and build in $dir"
  # shellcheck disable=SC2086
  if ! { cmake -S "$ROOT" -B "$dir" -G Ninja $config && cmake --build "$dir" -j"$JOBS"; } >"$log" 2>&1; then
    tail -n 40 "$log"
    SUMMARY+=("$name: build FAILED (log: $log)")
    TOTAL_FAILED=$((TOTAL_FAILED + 1))
    return
  fi
  echo "=== $name: ctest"
  local ctest_log="$LOGS/$name-ctest.log"
  ( cd "$dir/$subdir" && "$@" ctest --output-on-failure ) 2>&1 | tee "$ctest_log"
  local rc=${PIPESTATUS[0]}
  local line passed=0 failed=0 skipped=0 total
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$ctest_log" | tail -n 1)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    # ctest counts a test that skipped itself (GTEST_SKIP) among the passed ones;
    # it checked nothing, so it is reported apart.
    skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$ctest_log")
    passed=$((total - failed - skipped))
  else
    # A stage that runs no test at all is broken, not green.
    echo "test.sh: $name ran no tests"
    failed=1
  fi
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    # ctest or the environment failed without naming a test.
    failed=1
  fi
  TOTAL_PASSED=$((TOTAL_PASSED + passed))
  TOTAL_FAILED=$((TOTAL_FAILED + failed))
  TOTAL_SKIPPED=$((TOTAL_SKIPPED + skipped))
  SUMMARY+=("$name: $passed passed, $failed failed, $skipped skipped ($((SECONDS - start)) s)")
  local skipped_names
  mapfile -t skipped_names < <(grep -E '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$ctest_log" |
    sed -E 's/^[[:space:]]*[0-9]+ - (.*) \(Skipped\)$/  skipped: \1/')
  SUMMARY+=("${skipped_names[@]}")
}

# The demo as an end-to-end test with a real web server on the vendor's side:
# nginx over HTTPS serves the demo site, Walkthrough.exe steers the real
# program through one download and checks the setup ran and the folder went.
run_demo_stage() {
  local start=$SECONDS log="$LOGS/demo.log"
  echo "=== demo: walk-through against nginx"
  if env -u DISPLAY "$ROOT/scripts/demo.sh" --large-mib 32 >"$log" 2>&1; then
    grep -E '^[0-9]\. |walk-through|site check' "$log"
    TOTAL_PASSED=$((TOTAL_PASSED + 1))
    SUMMARY+=("demo: 1 passed, 0 failed ($((SECONDS - start)) s)")
  else
    tail -n 40 "$log"
    TOTAL_FAILED=$((TOTAL_FAILED + 1))
    SUMMARY+=("demo: 0 passed, 1 failed (log: $log)")
  fi
}

STAGES=("$@")
[ ${#STAGES[@]} -eq 0 ] && STAGES=(native fuzz win demo)
wanted() { local s; for s in "${STAGES[@]}"; do [ "$s" = "$1" ] && return 0; done; return 1; }
for s in "${STAGES[@]}"; do
  case "$s" in native|fuzz|win|demo) ;; *) echo "test.sh: unknown stage $s (native, fuzz, win, demo)"; exit 2 ;; esac
done

wanted native && run_stage native "$BUILD_ROOT/native" . "-DVELTA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"
# The fuzz build registers its tests in its fuzz/ folder only.
wanted fuzz && CC=clang CXX=clang++ run_stage fuzz "$BUILD_ROOT/fuzz" fuzz "-DVELTA_FUZZ=ON"
wanted win && run_stage win "$BUILD_ROOT/win" . \
  "-DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/mingw-w64-x86_64.cmake -DVELTA_TEST_PORT_BASE=$BASE -DVELTA_DOWNLOAD_HOST=localhost:$((BASE + 1)) -DVELTA_USER_PAGE_HOST=localhost:$((BASE + 1))" \
  "$ROOT/scripts/with-test-env.sh" --build "$BUILD_ROOT/win"

wanted demo && run_demo_stage

echo "=== summary"
for s in "${SUMMARY[@]}"; do echo "  $s"; done
echo "$TOTAL_PASSED passed, $TOTAL_FAILED failed, $TOTAL_SKIPPED skipped"
[ "$TOTAL_FAILED" -eq 0 ]
