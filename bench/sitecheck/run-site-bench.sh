#!/bin/bash
# The live site check's time with one fetch at a time and with the default
# number at once, side by side: velta-site.exe under Wine checks a site of
# $BENCH_FILES files (default 40) of $BENCH_MIB MiB (default 5) served by
# nginx over HTTPS on loopback. The machine is shared, so the two runs
# alternate $BENCH_ROUNDS times (default 3) and the medians are compared.
# Usage: bench/sitecheck/run-site-bench.sh <windows build dir>   (e.g. build/win)
# Needs the targets velta-site and TrustCa of that build. Uses VELTA_WINEPREFIX
# and VELTA_TEST_PORT_BASE like the tests; nginx listens on the port base + 7.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "${1:?usage: run-site-bench.sh <windows build dir>}" && pwd)"
FILES="${BENCH_FILES:-40}"
MIB="${BENCH_MIB:-5}"
ROUNDS="${BENCH_ROUNDS:-3}"
PORT=$(( ${VELTA_TEST_PORT_BASE:-18400} + 7 ))
EXE="$BUILD/sitecheck/velta-site.exe"
[ -f "$EXE" ] || { echo "build the velta-site target of $BUILD first" >&2; exit 1; }

ENV_NAME=site-bench
# shellcheck source=scripts/lib/env.sh
. "$ROOT/scripts/lib/env.sh"
WORK="$(mktemp -d /tmp/velta-site-bench.XXXXXX)"
NGINX_PID=""
cleanup() {
  set +e
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  env_teardown
  rm -rf "$WORK"
}
trap cleanup EXIT

# The site: one product whose list names a setup program and the data files,
# every file $MIB MiB (the setup program a PE header, then filler).
SITE="$WORK/site"
python3 - "$SITE" "localhost:$PORT" "$FILES" "$MIB" <<'PY'
import os, sys
site, host, files, mib = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
os.makedirs(f"{site}/qrnSupport/download/VELTA")
os.makedirs(f"{site}/p")
with open(f"{site}/qrnSupport/download/VELTA/veltadownloadlist.txt", "wb") as f:
    f.write(f"1,Bench,https://{host}/p/,20261201\r\n".encode())
names = ["setup.exe"] + [f"data{i:02d}.cab" for i in range(1, files)]
with open(f"{site}/p/downloadlist.txt", "wb") as f:
    f.write("".join(n + "\r\n" for n in names).encode())
head = bytearray(b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0")
block = bytes(range(256)) * 4096  # 1 MiB
for n in names:
    with open(f"{site}/p/{n}", "wb") as f:
        body = (bytes(head) if n == "setup.exe" else b"") + block * mib
        f.write(body[: mib << 20])
PY

env_wine
CERTS="$BUILD/certs"
env_certs "$CERTS" >/dev/null
env_trust_ca "$BUILD/tools/TrustCa.exe" "$CERTS" >/dev/null

mkdir -p "$WORK/nginx"
cat >"$WORK/nginx/nginx.conf" <<CONF
user root;
daemon off;
worker_processes 2;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log warn;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $WORK/nginx/body;
    proxy_temp_path $WORK/nginx/proxy;
    fastcgi_temp_path $WORK/nginx/fastcgi;
    uwsgi_temp_path $WORK/nginx/uwsgi;
    scgi_temp_path $WORK/nginx/scgi;
    sendfile on;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$PORT ssl;
        server_name localhost;
        ssl_certificate $CERTS/localhost.pem;
        ssl_certificate_key $CERTS/localhost.key;
        root $SITE;
        location / { try_files \$uri =404; }
    }
}
CONF
nginx -c "$WORK/nginx/nginx.conf" -p "$WORK/nginx" &
NGINX_PID=$!
env_wait_for 20 "nginx" curl -sf --cacert "$CERTS/ca.pem" \
  "https://localhost:$PORT/qrnSupport/download/VELTA/veltadownloadlist.txt" -o /dev/null

# check JOBS_ARGUMENTS...: seconds of one live check; the check must pass.
check() {
  local start end
  start=$(date +%s.%N)
  if ! "$ROOT/scripts/wine-run" "$EXE" check "https://localhost:$PORT" "$@" >"$WORK/out.txt" 2>&1; then
    cat "$WORK/out.txt" >&2
    echo "the check of the bench site failed" >&2
    exit 1
  fi
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}

median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] }'; }

echo "live check of $FILES files of $MIB MiB over HTTPS on loopback (nginx), $ROUNDS round(s)"
: >"$WORK/one"
: >"$WORK/default"
for round in $(seq 1 "$ROUNDS"); do
  one=$(check --jobs 1)
  default=$(check)
  printf '  round %d: --jobs 1 %.2f s, default (--jobs 4) %.2f s\n' "$round" "$one" "$default"
  echo "$one" >>"$WORK/one"
  echo "$default" >>"$WORK/default"
done
tail -n 1 "$WORK/out.txt"
printf '%-22s %-22s\n' "--jobs 1" "default (--jobs 4)"
printf '%-22s %-22s\n' "$(median <"$WORK/one") s" "$(median <"$WORK/default") s"
