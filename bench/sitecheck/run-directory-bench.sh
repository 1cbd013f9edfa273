#!/bin/bash
# The directory check's time as the site grows: the native velta-site
# checks, in directory mode, a site of one product of $BENCH_BIG files
# (default 40000), the same with 1 KiB in each data file (an empty file is
# never opened, so the first site alone would flatter sites of real files),
# and a site of $BENCH_PRODUCTS products (default 1000) of $BENCH_FILES files
# each (default 50). The machine is shared, so each
# check runs $BENCH_ROUNDS times (default 5) and the medians of its wall
# time and of its processor time (user + system) are printed.
# Usage: bench/sitecheck/run-directory-bench.sh <native build dir>   (e.g. build/native)
# Needs the target velta-site of that build (a Release build gives the
# figures of the shipped code; a sanitizer build is several times slower).
set -euo pipefail
BUILD="$(cd "${1:?usage: run-directory-bench.sh <native build dir>}" && pwd)"
EXE="$BUILD/sitecheck/velta-site"
[ -x "$EXE" ] || { echo "build the velta-site target of $BUILD first" >&2; exit 1; }
BIG="${BENCH_BIG:-40000}"
PRODUCTS="${BENCH_PRODUCTS:-1000}"
FILES="${BENCH_FILES:-50}"
ROUNDS="${BENCH_ROUNDS:-5}"
WORK="$(mktemp -d /tmp/velta-dir-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT

# make_site DIR PRODUCTS FILES [BYTES]: a catalog of PRODUCTS products, each
# with a setup program (a PE header) and FILES - 1 data files of distinct
# names and BYTES bytes each (default 0).
make_site() {
  python3 - "$@" <<'PY'
import os, sys
site, products, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = bytes((i * 7 + 3) % 256 for i in range(int(sys.argv[4]) if len(sys.argv) > 4 else 0))
os.makedirs(f"{site}/qrnSupport/download/VELTA")
head = b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0"
with open(f"{site}/qrnSupport/download/VELTA/veltadownloadlist.txt", "wb") as catalog:
    for p in range(products):
        catalog.write(f"{p + 1},Product{p:04d},https://bench.example/p{p:04d}/,20261201\r\n".encode())
        folder = f"{site}/p{p:04d}"
        os.makedirs(folder)
        names = ["setup.exe"] + [f"data{i:05d}.cab" for i in range(1, files)]
        with open(f"{folder}/downloadlist.txt", "wb") as f:
            f.write("".join(n + "\r\n" for n in names).encode())
        with open(f"{folder}/setup.exe", "wb") as f:
            f.write(head)
        for n in names[1:]:
            with open(f"{folder}/{n}", "wb") as f:
                f.write(data)
PY
}

# bench LABEL DIR: ROUNDS checks of DIR; the median wall time and the
# median processor time (user + system) of the checker, in seconds.
bench() {
  python3 - "$1" "$2" "$EXE" "$ROUNDS" <<'PY'
import os, resource, statistics, subprocess, sys, time
label, site, exe, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
walls, cpus = [], []
for _ in range(rounds):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    run = subprocess.run([exe, "check", site, "--base-url", "https://bench.example/"],
                         capture_output=True, text=True)
    walls.append(time.monotonic() - start)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpus.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    # Findings (exit status 1) would be a fault of the generated site.
    if run.returncode != 0:
        sys.exit(f"the check of {label} failed:\n{run.stdout}{run.stderr}")
print(f"{label:34} median {statistics.median(walls):.3f} s wall, "
      f"{statistics.median(cpus):.3f} s processor "
      f"(wall:{''.join(f' {w:.3f}' for w in walls)})")
print("  " + run.stdout.strip().splitlines()[-1])
PY
}

make_site "$WORK/big" 1 "$BIG"
make_site "$WORK/full" 1 "$BIG" 1024
make_site "$WORK/wide" "$PRODUCTS" "$FILES"
echo "velta-site directory check, $ROUNDS rounds each ($EXE)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
bench "1 product x $BIG files" "$WORK/big"
bench "1 product x $BIG files of 1 KiB" "$WORK/full"
bench "$PRODUCTS products x $FILES files" "$WORK/wide"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
