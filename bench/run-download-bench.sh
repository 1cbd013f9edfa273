#!/bin/bash
# Downloads 1 GiB (or $BENCH_BYTES) from a loopback test server three ways in
# one run and prints MB/s, the ratios to the bare WinINet loop, and the
# memory of the request process:
#   1. a bare WinINet loop with 4,096-byte reads (download_bench bare)
#   2. CHttpWebRequest::StartToFile                (download_bench class)
#   3. native curl
# The machine is shared, so the three ways run interleaved $BENCH_ROUNDS
# times (default 3) and the medians are compared.
# Usage: bench/run-download-bench.sh <windows build dir>   (e.g. build/http-win)
# Uses VELTA_WINEPREFIX / VELTA_TEST_PORT_BASE like the tests; starts its own
# plain-HTTP test server on the port base and stops it at the end.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:?usage: run-download-bench.sh <windows build dir>}" && pwd)"
BYTES="${BENCH_BYTES:-1073741824}"
ROUNDS="${BENCH_ROUNDS:-3}"
BASE="${VELTA_TEST_PORT_BASE:-18400}"
EXE="$BUILD/bench/download_bench.exe"
[ -f "$EXE" ] || { echo "build the download_bench target first" >&2; exit 1; }
WORK="$(mktemp -d /tmp/velta-bench.XXXXXX)"
SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

python3 "$ROOT/testserver/server.py" --base "$BASE" --state "$WORK/state" >"$WORK/server.log" 2>&1 &
SERVER_PID=$!
for _ in $(seq 1 200); do [ -s "$WORK/state" ] && break; sleep 0.05; done
[ -s "$WORK/state" ] || { echo "test server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
CTL="http://127.0.0.1:$BASE/__ctl"
printf 'target /bench.bin\npattern %s\n\n' "$BYTES" | curl -sf --data-binary @- "$CTL/route" >/dev/null
URL="http://127.0.0.1:$BASE/bench.bin"
WINPATH="Z:${WORK//\//\\}"

# Samples the Linux process of the Wine program (peak anonymous resident
# memory), independent of what Wine reports to the program itself.
sample_rss() { # output file; runs until killed
  local max=0 pid rss
  while :; do
    for pid in $(pgrep -f 'download_bench.exe' || true); do
      rss="$(awk '/^RssAnon:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)"
      if [ -n "$rss" ] && [ "$rss" -gt "$max" ]; then max=$rss; echo "$max" > "$1"; fi
    done
    sleep 0.2
  done
}

check_size() {
  [ "$(stat -c %s "$1")" = "$BYTES" ] || { echo "$1: wrong size $(stat -c %s "$1")" >&2; exit 1; }
  rm -f "$1"
}

echo "downloading $BYTES bytes from $URL, $ROUNDS round(s)"
: > "$WORK/results"
for round in $(seq 1 "$ROUNDS"); do
  for way in bare class; do
    echo 0 > "$WORK/rss"
    sample_rss "$WORK/rss" &
    SAMPLER=$!
    line="$("$ROOT/scripts/wine-run" "$EXE" "$URL" "$WINPATH\\$way.bin" "$way")"
    kill "$SAMPLER"; wait "$SAMPLER" 2>/dev/null || true
    line="${line%$'\r'}"  # the Windows program ends its line with CR LF
    line="$line linux_rss_anon_max=$(cat "$WORK/rss")"
    check_size "$WORK/$way.bin"
    echo "round $round: $line"
    echo "$line" >> "$WORK/results"
  done
  seconds="$(curl -s -o "$WORK/curl.bin" -w '%{time_total}' "$URL")"
  check_size "$WORK/curl.bin"
  echo "round $round: curl bytes=$BYTES seconds=$seconds"
  echo "curl bytes=$BYTES seconds=$seconds" >> "$WORK/results"
done

python3 - "$BYTES" "$WORK/results" <<'PY'
import statistics, sys
size = int(sys.argv[1])
runs = {}
for line in open(sys.argv[2]):
    name, *kv = line.split()
    f = dict(x.split("=", 1) for x in kv if "=" in x)
    if "seconds" not in f:
        print("unreadable result line: " + repr(line), file=sys.stderr)
        continue
    f["mbps"] = size / float(f["seconds"]) / 1e6
    runs.setdefault(name, []).append(f)
med = {n: statistics.median(r["mbps"] for r in rs) for n, rs in runs.items()}
b, c, u = med["bare-wininet-4096"], med["CHttpWebRequest"], med["curl"]
print(f"median MB/s: bare WinINet 4096 {b:.1f} | CHttpWebRequest {c:.1f} | curl {u:.1f}")
for name, rs in runs.items():
    print(f"{name}: " + ", ".join(f"{r['mbps']:.1f}" for r in rs) + " MB/s")
print(f"ratios: CHttpWebRequest/bare {c / b:.3f} | CHttpWebRequest/curl {c / u:.3f} | bare/curl {b / u:.3f}")
for name in ("bare-wininet-4096", "CHttpWebRequest"):
    rs = runs[name]
    print(f"memory of the request process ({name}): private before {max(int(r['private_before']) for r in rs)/1024:.1f} MiB, "
          f"max sampled during {max(int(r['private_max']) for r in rs)/1024:.1f} MiB, "
          f"peak commit {max(int(r['peak_commit']) for r in rs)/1024:.1f} MiB, "
          f"Linux RssAnon max {max(int(r['linux_rss_anon_max']) for r in rs)/1024:.1f} MiB")
PY
