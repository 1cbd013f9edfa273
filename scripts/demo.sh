#!/bin/bash
# The main job: VELTA DL against the bundled demo download server.
#
#   scripts/demo.sh [--port N] [--large-mib N] [--product I]
#
# Builds the program for https://localhost:<port>, builds the demo site
# (demo/make_site.py: a Shift-JIS catalog of three products, their file
# lists, the demo setup program), serves it with nginx over HTTPS with a
# locally generated CA that the Wine prefix trusts, and runs VELTADL.exe.
# With a display (DISPLAY set) the program is yours to use; without one it
# runs under Xvfb and Walkthrough.exe steers one download of product I
# (default: the large one), prints what happened and saves screenshots.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PORT=18443
LARGE_MIB=96
RATE=16m
PRODUCT=2
while [ $# -gt 0 ]; do
  case "$1" in
    --port) PORT="$2"; shift 2 ;;
    --large-mib) LARGE_MIB="$2"; shift 2 ;;
    --product) PRODUCT="$2"; shift 2 ;;
    *) echo "usage: demo.sh [--port N] [--large-mib N] [--product I]" >&2; exit 2 ;;
  esac
done

"$ROOT/scripts/install-deps.sh"

BUILD="$ROOT/build/demo"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DVELTA_DOWNLOAD_HOST="localhost:$PORT" -DVELTA_USER_PAGE_HOST="localhost:$PORT" \
  -DVELTA_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target VELTADL DemoSetup Walkthrough TrustCa velta-site

ENV_NAME=demo
# shellcheck source=scripts/lib/env.sh
. "$ROOT/scripts/lib/env.sh"
say() { env_say "$@"; }

STATE="$BUILD/demo-run"
rm -rf "$STATE"
mkdir -p "$STATE"
NGINX_PID=""
cleanup() {
  set +e
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  env_teardown
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

HEADLESS=0
if [ -z "${DISPLAY:-}" ]; then
  HEADLESS=1
  env_start_xvfb "$STATE"
fi
env_wine
# Only under Xvfb: on a display of your own a window manager frames the windows.
if [ "$HEADLESS" = 1 ]; then env_unmanaged_windows; env_no_crash_dialog; fi

CERTS="$BUILD/certs"
env_certs "$CERTS" >/dev/null
env_trust_ca "$BUILD/tools/TrustCa.exe" "$CERTS" >/dev/null

SITE="$BUILD/site"
python3 "$ROOT/demo/make_site.py" "$SITE" "localhost:$PORT" "$BUILD/demo/DemoSetup.exe" \
  --large-mib "$LARGE_MIB"

sed -e "s|@STATE@|$STATE|g" -e "s|@PORT@|$PORT|g" -e "s|@CERTS@|$CERTS|g" -e "s|@SITE@|$SITE|g" -e "s|@RATE@|$RATE|g" \
  "$ROOT/demo/nginx.conf.in" >"$STATE/nginx.conf"
nginx -c "$STATE/nginx.conf" -p "$STATE" &
NGINX_PID=$!
env_wait_for 20 "nginx" curl -sf -A demo-readiness-check --cacert "$CERTS/ca.pem" \
  "https://localhost:$PORT/qrnSupport/download/VELTA/veltadownloadlist.txt" -o /dev/null
say "download server: nginx on https://localhost:$PORT/ (site $SITE)"

# The vendor's check of the site, as a publishing pipeline would run it:
# the folder before it goes out, then the live server as customers meet it.
site_check() { # label velta-site command and arguments...
  local label=$1 start=$EPOCHREALTIME rc=0
  shift
  "$ROOT/scripts/wine-run" "$BUILD/sitecheck/velta-site.exe" "$@" >"$STATE/site-check.txt" 2>&1 || rc=$?
  sed 's/^/  /' "$STATE/site-check.txt" >&2
  say "site check ($label): exit $rc in $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }') s"
  return $rc
}
site_check directory check "$(winepath -w "$SITE" 2>/dev/null)" --base-url "https://localhost:$PORT/" --both
site_check live check "https://localhost:$PORT" --both

# The vendor's next release of the site (demo/make_site.py --release 2),
# planned over the live one: what customers will see change and the stages
# to publish it in, every customer run across them checked.
SITE2="$BUILD/site-release-2"
python3 "$ROOT/demo/make_site.py" "$SITE2" "localhost:$PORT" "$BUILD/demo/DemoSetup.exe" \
  --large-mib "$LARGE_MIB" --release 2 >/dev/null
site_check "plan of release 2" plan "https://localhost:$PORT" "$(winepath -w "$SITE2" 2>/dev/null)" --both

PROGRAM="$(winepath -w "$BUILD/app/VELTADL.exe" 2>/dev/null)"
if [ "$HEADLESS" = 0 ]; then
  say "starting VELTA DL on $DISPLAY; close it to end the demo"
  set +e
  "$ROOT/scripts/wine-run" "$PROGRAM"
  rc=$?
  set -e
  say "VELTA DL ended with exit status $rc"
  exit 0
fi

SHOTS="$BUILD/screenshots"
mkdir -p "$SHOTS"
export VELTA_SCREENSHOT_DIR="$(winepath -w "$SHOTS" 2>/dev/null)"
MARKER="$(winepath -w "$STATE" 2>/dev/null)\\setup-ran.txt"
say "no display: walking through one download under Xvfb"
set +e
"$ROOT/scripts/wine-run" "$BUILD/demo/Walkthrough.exe" "$PROGRAM" "$PRODUCT" "$MARKER"
rc=$?
set -e
say "requests the server saw:"
sed 's/^/  /' "$STATE/access.log" >&2
say "screenshots in $SHOTS:"
ls -1 "$SHOTS" | sed 's/^/  /' >&2
exit $rc
