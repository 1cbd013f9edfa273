#!/bin/bash
# Whole-run benchmark. The speed figures: one product of one 1 GiB file (or
# $BENCH_BYTES) from the loopback test server, downloaded
#   1. by a bare WinINet loop with 4,096-byte reads to a file (run_bench bare),
#   2. by the real RunDownload with its progress window (run_bench run),
# over plain HTTP and then over HTTPS, back to back in each of $BENCH_ROUNDS
# rounds (default 5; the order of bare and run alternates from round to
# round). Each round gives a ratio run/bare per protocol; the medians of
# those ratios are printed on one line with the machine's CPU model, since
# the figures of two machines do not compare. Then, once: native curl; the
# main thread's CPU time while the file downloads; the cancel latency on an
# endless body; the time from the program's start to its filled product
# list; the worst time the progress window takes to answer a message during
# a run of 200 small files; the executable's size. Prints figures, asserts
# nothing; BENCH_SPEED_ONLY=1 stops after the speed figures. The machine's
# load average is printed before and after: on a shared machine only the
# ratios of one invocation compare.
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

CPU_MODEL="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
ROUNDS="${BENCH_ROUNDS:-5}"
load() { cut -d' ' -f1 /proc/loadavg; }
echo "machine: $(nproc) cores, $CPU_MODEL"
echo "wine: $(wine --version 2>/dev/null)"
echo "product: one file of $BYTES bytes; $ROUNDS rounds; load average $(load) at the start"

bare() { "$ROOT/scripts/wine-run" "$BENCH" bare "$1" "$WIN" > "$2"; }
run() { "$ROOT/scripts/wine-run" "$BENCH" run "$1" "$WIN" > "$2"; }
received() { # file key
  local got; got=$(get "$1" "$2")
  [ "$got" = "$BYTES" ] || echo "warning: $(basename "$1" .txt) received $got of $BYTES bytes" >&2
}
load_start=$(load)
for ((r = 1; r <= ROUNDS; r++)); do
  for proto in http https; do
    url="$HTTP/bench/product.bin"; [ "$proto" = https ] && url="$HTTPS/bench/product.bin"
    if ((r % 2)); then
      bare "$url" "$WORK/bare-$proto-$r.txt"; run "$url" "$WORK/run-$proto-$r.txt"
    else
      run "$url" "$WORK/run-$proto-$r.txt"; bare "$url" "$WORK/bare-$proto-$r.txt"
    fi
    received "$WORK/bare-$proto-$r.txt" bare_bytes
    received "$WORK/run-$proto-$r.txt" run_bytes
    b=$(mbs "$BYTES" "$(get "$WORK/bare-$proto-$r.txt" bare_seconds)")
    u=$(mbs "$BYTES" "$(get "$WORK/run-$proto-$r.txt" run_transfer_seconds)")
    echo "$proto $b $u" >> "$WORK/rounds.txt"
    echo "round $r $proto: bare loop $b MB/s, RunDownload $u MB/s, ratio $(ratio "$u" "$b")"
  done
done
load_end=$(load)

# Medians over the rounds: of each way's MB/s, and of the per-round ratios
# (the two ways of one round ran back to back, under the same load).
medians() { # protocol -> "bare_median run_median ratio_median ratios..."
  awk -v p="$1" 'BEGIN { n = 0 } $1 == p { b[n] = $2; u[n] = $3; q[n] = ($2 > 0 ? $3 / $2 : 0); n++ }
    function median(a, n,   i, j, t) {
      for (i = 1; i < n; i++) for (j = i; j > 0 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
      return n % 2 ? a[int(n / 2)] : (a[n / 2 - 1] + a[n / 2]) / 2
    }
    END { for (i = 0; i < n; i++) l = l sprintf(" %.2f", q[i])
          printf "%.1f %.1f %.2f%s\n", median(b, n), median(u, n), median(q, n), l }' "$WORK/rounds.txt"
}
read -r bare_mbs run_mbs ratio_http ratios_http <<< "$(medians http)"
read -r bares_mbs runs_mbs ratio_https ratios_https <<< "$(medians https)"

echo
printf '%-44s %10s\n' "way (medians of $ROUNDS rounds)" "MB/s"
printf '%-44s %10s\n' "bare WinINet loop, 4096-byte reads, HTTP" "$bare_mbs"
printf '%-44s %10s\n' "RunDownload, window open to closed, HTTP" "$run_mbs"
printf '%-44s %10s\n' "bare WinINet loop, 4096-byte reads, HTTPS" "$bares_mbs"
printf '%-44s %10s\n' "RunDownload, window open to closed, HTTPS" "$runs_mbs"
echo "ratios of the rounds, run / bare: HTTP $ratios_http, HTTPS $ratios_https"
echo "ratio run / bare loop (median of $ROUNDS rounds): HTTP $ratio_http, HTTPS $ratio_https on $CPU_MODEL, $(nproc) cores, load average $load_start before and $load_end after"
[ -n "${BENCH_SPEED_ONLY:-}" ] && exit 0

t0=$(date +%s.%N)
curl -sf -o "$WORK/curl.bin" "$HTTP/bench/product.bin"
t1=$(date +%s.%N)
curl_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
[ "$(stat -c %s "$WORK/curl.bin")" = "$BYTES" ] || { echo "curl: wrong size" >&2; exit 1; }
rm -f "$WORK/curl.bin"
"$ROOT/scripts/wine-run" "$BENCH" cancel "$HTTP/bench/endless.bin" "$WIN" 64 > "$WORK/cancel.txt"
mkdir -p "$WORK/small"
"$ROOT/scripts/wine-run" "$BENCH" small "$HTTPS/bench/small/part" "$WIN\\small" "$SMALL" > "$WORK/small.txt" || true
"$ROOT/scripts/wine-run" "$BENCH" list "Z:${EXE//\//\\}" > "$WORK/list.txt" || true
"$ROOT/scripts/wine-run" "$BENCH" list "Z:${EXE//\//\\}" > "$WORK/list2.txt" || true

echo "curl (native, plain HTTP, once): $(mbs "$BYTES" "$curl_s") MB/s"
echo "whole RunDownload over HTTP, round 1 (folder, window, download, setup attempt, removal): $(get "$WORK/run-http-1.txt" run_total_seconds) s"
echo
for f in run-http-1 run-https-1; do
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
