#!/bin/bash
# The whole-run benchmark's own figures, against the loopback test server,
# over HTTP and HTTPS: the bare loop reads the whole file; the run's window,
# followed from the main thread, is seen opening and closing, the bytes it
# reports are the file's, and the run's closing box is answered (a box left
# open would stall the run to this test's time-out) and no watcher runs
# while the window is up. A benchmark that no longer saw its window would
# print speeds of nothing; one that watched the run would slow it down.
# Usage: run_bench_test.sh <run_bench.exe> <wine-run> <work folder>
# Runs inside scripts/with-test-env.sh (the test server on the port base).
set -euo pipefail
BENCH="$1"
WINE_RUN="$2"
WORK="$3"
BASE="${VELTA_TEST_PORT_BASE:?runs inside scripts/with-test-env.sh}"
BYTES=3145728
rm -rf "$WORK"
mkdir -p "$WORK"
WIN="Z:${WORK//\//\\}"
printf 'target /bench-check/product.bin\npattern %s\n\n' "$BYTES" |
  curl -sf --data-binary @- "http://127.0.0.1:$BASE/__ctl/route" >/dev/null

failed=0
value() { tr -d '\r' < "$1" | awk -v k="$2" '$1 == k { print $2 }'; }
expect() { # file key wanted
  local got
  got="$(value "$1" "$2")"
  if [ "$got" != "$3" ]; then
    echo "$(basename "$1" .txt): $2 is '$got', expected '$3'"
    failed=1
  fi
}
for url in "http://localhost:$BASE/bench-check/product.bin" \
           "https://localhost:$((BASE + 1))/bench-check/product.bin"; do
  proto="${url%%:*}"
  "$WINE_RUN" "$BENCH" bare "$url" "$WIN" > "$WORK/bare-$proto.txt"
  expect "$WORK/bare-$proto.txt" bare_ok 1
  expect "$WORK/bare-$proto.txt" bare_bytes "$BYTES"
  "$WINE_RUN" "$BENCH" run "$url" "$WIN" > "$WORK/run-$proto.txt"
  expect "$WORK/run-$proto.txt" run_window_seen 1
  expect "$WORK/run-$proto.txt" run_bytes "$BYTES"
  # The file is no setup program: the run shows that the setup did not
  # start, and the benchmark's late watcher answers that box.
  expect "$WORK/run-$proto.txt" run_result 0
  expect "$WORK/run-$proto.txt" run_boxes 1
  # Nothing but the run may poll the wineserver while the window is up.
  expect "$WORK/run-$proto.txt" run_watched_while_open 0
  # The window's life lies inside the run and includes the pause after the
  # file (100 ms).
  transfer="$(value "$WORK/run-$proto.txt" run_transfer_seconds)"
  total="$(value "$WORK/run-$proto.txt" run_total_seconds)"
  if ! awk -v t="$transfer" -v w="$total" 'BEGIN { exit !(t >= 0.1 && t < w) }'; then
    echo "run-$proto: window open for '$transfer' s of a run of '$total' s"
    failed=1
  fi
done
[ "$failed" = 0 ] && echo "run_bench: every figure as expected"
exit "$failed"
