#!/bin/bash
# with-test-env.sh [--build DIR] [--docroot DIR] <command...>
#
# Runs one command inside the test environment of the Windows tests and
# tears the environment down afterwards, whatever the command's outcome
# (the Wine pieces are shared with demo.sh in scripts/lib/env.sh):
#   - Xvfb on a free display (DISPLAY exported),
#   - the Wine prefix (VELTA_WINEPREFIX, default .cache/wine) with one
#     persistent wineserver, so every wine start costs milliseconds (one
#     already running for the prefix is used and left running),
#   - the test PKI in DIR/certs (made by gen-certs.sh when missing) and its CA
#     trusted in the prefix through DIR/tools/TrustCa.exe,
#   - testserver/server.py on VELTA_TEST_PORT_BASE (default 18400) .. +6.
# The command's exit code is returned. Services are waited for by polling
# against deadlines. See tests/README.md.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/win"
DOCROOT=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD="$2"; shift 2 ;;
    --docroot) DOCROOT="$2"; shift 2 ;;
    --) shift; break ;;
    -*) echo "with-test-env: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "usage: with-test-env.sh [--build DIR] [--docroot DIR] <command...>" >&2
  exit 2
fi
mkdir -p "$BUILD"
BUILD="$(cd "$BUILD" && pwd)"

export VELTA_TEST_PORT_BASE="${VELTA_TEST_PORT_BASE:-18400}"
BASE="$VELTA_TEST_PORT_BASE"
STATE_DIR="$BUILD/test-env"
mkdir -p "$STATE_DIR"
LOG="$STATE_DIR/testserver.log"

SERVER_PID=""
CMD_PID=""

ENV_NAME=with-test-env
# shellcheck source=scripts/lib/env.sh
. "$ROOT/scripts/lib/env.sh"
say() { env_say "$@"; }

cleanup() {
  local rc=$?
  set +e
  if [ -n "$CMD_PID" ] && kill -0 "$CMD_PID" 2>/dev/null; then
    kill -TERM "$CMD_PID" 2>/dev/null
    wait "$CMD_PID" 2>/dev/null
  fi
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null; wait "$SERVER_PID" 2>/dev/null; fi
  env_teardown
  rm -f "$STATE_DIR/testserver.state"
  return $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

port_free() {
  python3 - "$1" <<'PY'
import socket, sys
s = socket.socket()
# Connections of an earlier run in TIME_WAIT must not count as taken.
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)
PY
}

env_start_xvfb "$STATE_DIR"
env_wine
env_unmanaged_windows
env_no_crash_dialog
CERTS="$BUILD/certs"
env_certs "$CERTS"
env_trust_ca "$BUILD/tools/TrustCa.exe" "$CERTS" || exit $?

# --- test server --------------------------------------------------------------
for offset in 0 1 2 3 4 5 6; do
  if ! port_free $((BASE + offset)); then
    say "port $((BASE + offset)) is taken; set VELTA_TEST_PORT_BASE to a free range"
    exit 3
  fi
done
SERVER_ARGS=(--base "$BASE" --certs "$CERTS" --state "$STATE_DIR/testserver.state")
[ -n "$DOCROOT" ] && SERVER_ARGS+=(--docroot "$DOCROOT")
rm -f "$STATE_DIR/testserver.state"
python3 "$ROOT/testserver/server.py" "${SERVER_ARGS[@]}" >"$LOG" 2>&1 &
SERVER_PID=$!
server_ready() {
  kill -0 "$SERVER_PID" && test -s "$STATE_DIR/testserver.state" &&
    python3 -c "import urllib.request,sys; sys.exit(urllib.request.urlopen('http://127.0.0.1:$BASE/__ctl/ping', timeout=2).read() != b'pong')"
}
if ! env_wait_for 20 "test server" server_ready; then
  cat "$LOG" >&2
  exit 3
fi

export VELTA_SCREENSHOT_DIR="${VELTA_SCREENSHOT_DIR:-$(winepath -w "$BUILD/screenshots" 2>/dev/null)}"
mkdir -p "$BUILD/screenshots"

# In the background and waited for, so that a TERM or INT to this script is
# handled at once (bash runs traps only between commands) and the command is
# stopped with the rest of the environment.
set +e
"$@" &
CMD_PID=$!
wait "$CMD_PID"
rc=$?
CMD_PID=""
set -e
exit $rc
