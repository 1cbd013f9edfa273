#!/bin/bash
# velta-site plan between two releases of a site of $BENCH_PRODUCTS products
# (default 1000) of $BENCH_FILES files each (default 50), both folders on
# disk, natively: the planner over many files (each 32 to 543 bytes, so the
# figure is the planner's, not SHA-256's over many bytes). The second
# release changes every tenth product's list, moves every twentieth product
# and adds ten. Runs $BENCH_ROUNDS times (default 5) and prints each run's
# wall and CPU time, the medians, and the load before and after, since the
# machine may be shared.
# Usage: bench/sitecheck/run-plan-bench.sh <native build dir>   (Release, e.g. build/native-release)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${1:?usage: run-plan-bench.sh <native build dir>}"
PRODUCTS="${BENCH_PRODUCTS:-1000}"
FILES="${BENCH_FILES:-50}"
ROUNDS="${BENCH_ROUNDS:-5}"
[ -d "$BUILD" ] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTA_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target velta-site >/dev/null
EXE="$BUILD/sitecheck/velta-site"

WORK="$(mktemp -d /tmp/velta-plan-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
python3 "$ROOT/bench/sitecheck/make_plan_sites.py" "$WORK" localhost:18850 \
  --products "$PRODUCTS" --files "$FILES"

echo "velta-site plan, $PRODUCTS products x $FILES files on each side, directory mode, natively"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$WORK/wall"
: >"$WORK/cpu"
for round in $(seq 1 "$ROUNDS"); do
  /usr/bin/time -f "%e %U %S" -o "$WORK/time" \
    "$EXE" plan "$WORK/old" "$WORK/new" --base-url https://localhost:18850/ >"$WORK/out.txt" || {
    tail -n 5 "$WORK/out.txt" >&2
    echo "the plan of the bench sites failed" >&2
    exit 1
  }
  read -r wall user sys <"$WORK/time"
  cpu=$(python3 -c "print(f'{$user + $sys:.2f}')")
  printf '  round %d: %.2f s wall, %s s CPU (user %s, system %s)\n' "$round" "$wall" "$cpu" "$user" "$sys"
  echo "$wall" >>"$WORK/wall"
  echo "$cpu" >>"$WORK/cpu"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
tail -n 1 "$WORK/out.txt"
grep -E '^  stage ' "$WORK/out.txt"
median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] }'; }
echo "median: $(median <"$WORK/wall") s wall, $(median <"$WORK/cpu") s CPU"
