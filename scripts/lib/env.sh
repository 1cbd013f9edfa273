# shellcheck shell=bash
# Shared pieces of the Wine environment, sourced by scripts/with-test-env.sh
# and scripts/demo.sh (not run on its own):
#   env_start_xvfb STATE_DIR      Xvfb on a display it picks itself; DISPLAY exported
#   env_wine                      the prefix (VELTA_WINEPREFIX, default .cache/wine)
#                                 and its persistent wineserver
#   env_unmanaged_windows         Managed=N for the prefix
#   env_no_crash_dialog           a crashing program ends at once, without winedbg's dialog
#   env_certs DIR                 the test PKI in DIR (scripts/gen-certs.sh)
#   env_trust_ca TRUST_EXE DIR    DIR/ca.pem trusted in the prefix
#   env_teardown                  stops what env_* started, nothing else
# The caller sets ENV_NAME (the prefix of its messages) and calls env_teardown
# from its EXIT trap. Everything is waited for by polling against deadlines.

ENV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ENV_XVFB_PID=""
ENV_OWN_WINESERVER=0

env_say() { echo "${ENV_NAME:-env}: $*" >&2; }

# env_wait_for <seconds> <what> <command...>: polls the command until it succeeds.
env_wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ]; then env_say "$what not ready after ${seconds}s"; return 1; fi
    sleep 0.05
  done
}

# --- X display -------------------------------------------------------------
# Xvfb picks a free display itself and reports its number on a pipe, so two
# environments started at once never race for the same display.
env_start_xvfb() {
  local state=$1 display_file="$1/display"
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" >"$state/xvfb.log" 2>&1 &
  ENV_XVFB_PID=$!
  env_wait_for 20 "Xvfb" test -s "$display_file" || return 1
  DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
  export DISPLAY
}

# --- Wine --------------------------------------------------------------------
# env_wineserver_running: whether a wineserver serves WINEPREFIX now.
env_wineserver_running() {
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

# env_wine: exports the prefix, creates it when missing and keeps one
# persistent wineserver for it, so every wine start costs milliseconds
# instead of seconds. A wineserver that somebody already keeps alive for this
# prefix is used and left alone; only one started here is stopped by
# env_teardown.
env_wine() {
  export VELTA_WINEPREFIX="${VELTA_WINEPREFIX:-$ENV_ROOT/.cache/wine}"
  export WINEPREFIX="$VELTA_WINEPREFIX"
  export WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
  "$ENV_ROOT/scripts/wine-prefix.sh" || return 1
  if ! env_wineserver_running; then
    wineserver -p || return 1
    ENV_OWN_WINESERVER=1
    env_wait_for 20 "wineserver" env_wineserver_running || return 1
  fi
}

# Without a window manager on Xvfb, Wine waits up to two seconds for the
# absent manager every time a managed window is hidden (each message box
# closing); unmanaged windows skip that wait.
env_unmanaged_windows() {
  grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null && return 0
  "$ENV_ROOT/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
}

# A crash in a program under test would otherwise open winedbg's dialog and
# wait for a person until ctest's time-out; without it the crash ends the
# program at once and the test fails with it.
env_no_crash_dialog() {
  grep -q '^"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null && return 0
  "$ENV_ROOT/scripts/wine-run" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
}

# --- certificates and trust ---------------------------------------------------
# env_certs DIR: makes the test PKI in DIR when it is missing, incomplete or of
# an older layout (gen-certs.sh writes DIR/generated last).
env_certs() {
  grep -q '^layout 2 ' "$1/generated" 2>/dev/null && return 0
  "$ENV_ROOT/scripts/gen-certs.sh" "$1"
}

# env_trust_ca TRUST_EXE DIR: adds DIR/ca.pem to the prefix's Root store
# (idempotent). Also the first wine program of a run: it brings the prefix up
# to date before anything is timed.
env_trust_ca() {
  local trust=$1 certs=$2
  if [ ! -f "$trust" ]; then
    env_say "missing $trust (build the target TrustCa of the cross build first)"
    return 3
  fi
  if ! "$ENV_ROOT/scripts/wine-run" "$trust" "$(winepath -w "$certs/ca.pem" 2>/dev/null)"; then
    env_say "could not trust the test CA in $WINEPREFIX"
    return 3
  fi
}

# --- teardown -------------------------------------------------------------------
env_teardown() {
  if [ "$ENV_OWN_WINESERVER" = 1 ]; then
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    ENV_OWN_WINESERVER=0
  fi
  if [ -n "$ENV_XVFB_PID" ]; then
    kill "$ENV_XVFB_PID" 2>/dev/null
    wait "$ENV_XVFB_PID" 2>/dev/null
    ENV_XVFB_PID=""
  fi
  return 0
}
