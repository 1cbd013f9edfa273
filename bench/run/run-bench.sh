#!/bin/bash
# Whole-run benchmark: one product of one 1 GiB file (or $BENCH_BYTES) from
# the loopback test server, downloaded
#   1. by native curl,
#   2. by a bare WinINet loop with 4,096-byte reads (run_bench bare),
#   3. by the real RunDownload with its progress window (run_bench run),
# all over plain HTTP in this one run, then the run once more over HTTPS;
# the main thread's CPU time while the file downloads; the cancel latency
# on an endless body; the time from the program's start to its filled
# product list; the worst time the progress window takes to answer a
# message during a run of 200 small files; the executable's size. Prints
# figures, asserts nothing.
# MB is 1048576 bytes, as in the progress window.
#
# Usage: bench/run/run-bench.sh <windows build dir>   (e.g. build/win)
# Runs itself inside scripts/with-test-env.sh (Xvfb, Wine prefix, test CA,
# test server on VELTA_TEST_PORT_BASE). The build's VELTA_DOWNLOAD_HOST must
# name localhost:<base+1> for the product-list figure.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "${1:?usage: run-bench.sh <windows build dir>}" && pwd)"
if [ -z "${VELTA_RUN_BENCH_INSIDE:-}" ]; then
  export VELTA_RUN_BENCH_INSIDE=1
  exec "$ROOT/scripts/with-test-env.sh" --build "$BUILD" "$0" "$BUILD"
fi

BYTES="${BENCH_BYTES:-1073741824}"
BASE="$VELTA_TEST_PORT_BASE"
BENCH="$BUILD/bench/run/run_bench.exe"
EXE="$BUILD/app/VELTADL.exe"
for f in "$BENCH" "$EXE"; do
  [ -f "$f" ] || { echo "build $(basename "$f") first" >&2; exit 1; }
done
WORK="$(mktemp -d /tmp/velta-run-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
WIN="Z:${WORK//\//\\}"
CTL="http://127.0.0.1:$BASE/__ctl"
HTTP="http://localhost:$BASE"
HTTPS="https://localhost:$((BASE + 1))"

curl -sf -X POST "$CTL/reset" >/dev/null
route() { printf "$1" | curl -sf --data-binary @- "$CTL/route" >/dev/null; }
route "target /bench/product.bin\npattern $BYTES\n\n"
route "target /bench/endless.bin\npattern endless\n\n"
SMALL=${BENCH_SMALL_FILES:-200}
for ((i = 0; i < SMALL; i++)); do
  route "target /bench/small/part$(printf %03d "$i").bin\npattern $((1024 + (i % 40) * 26))\n\n"
done
route "target /qrnSupport/download/VELTA/veltadownloadlist.txt\n\n1,VELTA Bench,$HTTPS/bench/,20260101\r\n"

get() { tr -d '\r' < "$1" | grep "^$2 " | awk '{print $2}'; }
mbs() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? b / 1048576 / s : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "wine: $(wine --version 2>/dev/null)"
echo "product: one file of $BYTES bytes"

t0=$(date +%s.%N)
curl -sf -o "$WORK/curl.bin" "$HTTP/bench/product.bin"
t1=$(date +%s.%N)
curl_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
[ "$(stat -c %s "$WORK/curl.bin")" = "$BYTES" ] || { echo "curl: wrong size" >&2; exit 1; }
rm -f "$WORK/curl.bin"

"$ROOT/scripts/wine-run" "$BENCH" bare "$HTTP/bench/product.bin" "$WIN" > "$WORK/bare.txt"
"$ROOT/scripts/wine-run" "$BENCH" run "$HTTP/bench/product.bin" "$WIN" > "$WORK/run.txt"
"$ROOT/scripts/wine-run" "$BENCH" run "$HTTPS/bench/product.bin" "$WIN" > "$WORK/runs.txt"
"$ROOT/scripts/wine-run" "$BENCH" cancel "$HTTP/bench/endless.bin" "$WIN" 64 > "$WORK/cancel.txt"
mkdir -p "$WORK/small"
"$ROOT/scripts/wine-run" "$BENCH" small "$HTTPS/bench/small/part" "$WIN\\small" "$SMALL" > "$WORK/small.txt" || true
"$ROOT/scripts/wine-run" "$BENCH" list "Z:${EXE//\//\\}" > "$WORK/list.txt" || true
"$ROOT/scripts/wine-run" "$BENCH" list "Z:${EXE//\//\\}" > "$WORK/list2.txt" || true

for f in bare run runs; do
  key=bare_bytes; [ "$f" = bare ] || key=run_bytes
  got=$(get "$WORK/$f.txt" "$key")
  [ "$got" = "$BYTES" ] || echo "warning: $f received $got of $BYTES bytes" >&2
done
bare_s=$(get "$WORK/bare.txt" bare_seconds)
run_s=$(get "$WORK/run.txt" run_transfer_seconds)
runs_s=$(get "$WORK/runs.txt" run_transfer_seconds)
curl_mbs=$(mbs "$BYTES" "$curl_s"); bare_mbs=$(mbs "$BYTES" "$bare_s")
run_mbs=$(mbs "$BYTES" "$run_s"); runs_mbs=$(mbs "$BYTES" "$runs_s")

echo
printf '%-44s %10s %10s\n' "way (plain HTTP unless noted)" "seconds" "MB/s"
printf '%-44s %10s %10s\n' "curl (native)" "$curl_s" "$curl_mbs"
printf '%-44s %10s %10s\n' "bare WinINet loop, 4096-byte reads" "$bare_s" "$bare_mbs"
printf '%-44s %10s %10s\n' "RunDownload, window open to closed" "$run_s" "$run_mbs"
printf '%-44s %10s %10s\n' "RunDownload over HTTPS" "$runs_s" "$runs_mbs"
echo "ratio run / bare loop: $(ratio "$run_mbs" "$bare_mbs")   run / curl: $(ratio "$run_mbs" "$curl_mbs")   bare / curl: $(ratio "$bare_mbs" "$curl_mbs")"
echo "whole RunDownload (folder, window, download, setup attempt, removal): $(get "$WORK/run.txt" run_total_seconds) s"
echo
for f in run runs; do
  main=$(get "$WORK/$f.txt" run_main_cpu_seconds); proc=$(get "$WORK/$f.txt" run_process_cpu_seconds)
  secs=$(get "$WORK/$f.txt" run_transfer_seconds)
  echo "CPU while the file downloads ($f): main thread $main s, whole process $proc s, over $secs s wall ($(awk -v m="$main" -v s="$secs" 'BEGIN { printf "%.1f", (s > 0 ? 100 * m / s : 0) }')% of one core on the main thread)"
done
echo "cancel on an endless body, pressed at $(awk -v b="$(get "$WORK/cancel.txt" cancel_bytes_at_press)" 'BEGIN { printf "%.1f", b / 1048576 }') MiB: window gone after $(get "$WORK/cancel.txt" cancel_to_window_gone_ms) ms, RunDownload returned after $(get "$WORK/cancel.txt" cancel_to_return_ms) ms (the notice answered by the watcher in between)"
for f in list list2; do
  echo "program start to filled product list ($f): $(get "$WORK/$f.txt" list_filled_ms) ms (dialog found after $(get "$WORK/$f.txt" list_window_ms) ms, $(get "$WORK/$f.txt" list_items) item)"
done
echo "progress window during $(get "$WORK/small.txt" small_files) small files over HTTPS ($(get "$WORK/small.txt" small_seconds) s): a message every 200 ms, $(get "$WORK/small.txt" small_messages) answered, worst answer $(get "$WORK/small.txt" small_worst_ms) ms, median $(get "$WORK/small.txt" small_median_ms) ms, unanswered $(get "$WORK/small.txt" small_unanswered)"
size=$(stat -c %s "$EXE")
x86_64-w64-mingw32-strip -o "$WORK/stripped.exe" "$EXE" 2>/dev/null && stripped=$(stat -c %s "$WORK/stripped.exe") || stripped="?"
echo "executable: $size bytes as built, $stripped bytes stripped"
