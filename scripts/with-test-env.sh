#!/bin/bash
# with-test-env.sh [--build DIR] [--docroot DIR] <command...>
#
# Runs one command inside the test environment of the Windows tests and
# tears the environment down afterwards, whatever the command's outcome:
#   - Xvfb on a free display (DISPLAY exported),
#   - the Wine prefix (VELTA_WINEPREFIX, default .cache/wine) with one
#     persistent wineserver, so every wine start costs milliseconds,
#   - the test PKI in DIR/certs (made by gen-certs.sh when missing) and its CA
#     trusted in the prefix through DIR/tools/TrustCa.exe,
#   - testserver/server.py on VELTA_TEST_PORT_BASE (default 18400) .. +4.
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

export VELTA_WINEPREFIX="${VELTA_WINEPREFIX:-$ROOT/.cache/wine}"
export WINEPREFIX="$VELTA_WINEPREFIX"
export WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
export VELTA_TEST_PORT_BASE="${VELTA_TEST_PORT_BASE:-18400}"
BASE="$VELTA_TEST_PORT_BASE"
STATE_DIR="$BUILD/test-env"
mkdir -p "$STATE_DIR"
LOG="$STATE_DIR/testserver.log"

XVFB_PID=""
SERVER_PID=""
CMD_PID=""
OWN_WINESERVER=0

say() { echo "with-test-env: $*" >&2; }

cleanup() {
  local rc=$?
  set +e
  if [ -n "$CMD_PID" ] && kill -0 "$CMD_PID" 2>/dev/null; then
    kill -TERM "$CMD_PID" 2>/dev/null
    wait "$CMD_PID" 2>/dev/null
  fi
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null; wait "$SERVER_PID" 2>/dev/null; fi
  if [ "$OWN_WINESERVER" = 1 ]; then wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; fi
  rm -f "$STATE_DIR/testserver.state"
  return $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# wait_for <seconds> <what> <command...>: polls the command until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ]; then say "$what not ready after ${seconds}s"; return 1; fi
    sleep 0.05
  done
}

port_free() {
  python3 - "$1" <<'EOF'
import socket, sys
s = socket.socket()
# Connections of an earlier run in TIME_WAIT must not count as taken.
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)
EOF
}

# --- X display -------------------------------------------------------------
# Xvfb picks a free display itself and reports its number on a pipe.
DISPLAY_FILE="$STATE_DIR/display"
rm -f "$DISPLAY_FILE"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$DISPLAY_FILE" >"$STATE_DIR/xvfb.log" 2>&1 &
XVFB_PID=$!
wait_for 20 "Xvfb" test -s "$DISPLAY_FILE"
export DISPLAY=":$(tr -d '[:space:]' <"$DISPLAY_FILE")"

# --- Wine --------------------------------------------------------------------
"$ROOT/scripts/wine-prefix.sh"
# A wineserver that somebody already keeps alive for this prefix is left
# alone; only one started here is shut down at the end.
wineserver_running() {
  python3 - "$WINEPREFIX" <<'EOF'
import fcntl, glob, os, sys
st = os.stat(sys.argv[1])
# Wine keeps its server folder below /tmp/.wine-UID, Debian's build below a
# /tmp/wine-XXXXXX folder; the running server holds a lock on its lock file.
name = "server-%x-%x" % (st.st_dev, st.st_ino)
for lock in glob.glob("/tmp/.wine-%d/%s/lock" % (os.getuid(), name)) + glob.glob("/tmp/wine-*/%s/lock" % name):
    try:
        f = open(lock, "r+")
    except OSError:
        continue
    try:
        fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit(0)
sys.exit(1)
EOF
}
if ! wineserver_running; then
  wineserver -p
  OWN_WINESERVER=1
  wait_for 20 "wineserver" wineserver_running
fi

# Without a window manager on Xvfb, Wine waits up to two seconds for the
# absent manager every time a managed window is hidden (each message box
# closing); unmanaged windows skip that wait.
if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$ROOT/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
fi

# --- certificates and trust ---------------------------------------------------
CERTS="$BUILD/certs"
if ! grep -q '^layout 2 ' "$CERTS/generated" 2>/dev/null; then
  "$ROOT/scripts/gen-certs.sh" "$CERTS"
fi
TRUST="$BUILD/tools/TrustCa.exe"
if [ ! -f "$TRUST" ]; then
  say "missing $TRUST (build the target TrustCa of the cross build first)"
  exit 3
fi
# Also the first wine program of the run: it brings the prefix up to date
# before ctest starts timing anything.
if ! "$ROOT/scripts/wine-run" "$TRUST" "$(winepath -w "$CERTS/ca.pem" 2>/dev/null)"; then
  say "could not trust the test CA in $WINEPREFIX"
  exit 3
fi

# --- test server --------------------------------------------------------------
for offset in 0 1 2 3 4; do
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
if ! wait_for 20 "test server" server_ready; then
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
