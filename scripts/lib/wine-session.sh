# Shared by scripts/with-test-env.sh and scripts/demo.sh (sourced, not run):
# the pieces of a Wine session without a person in front of it.
#
#   velta_wait_for SECONDS WHAT COMMAND...   poll COMMAND until it succeeds
#   velta_start_xvfb STATE_DIR               Xvfb on a display it picks itself;
#                                            exports DISPLAY, sets VELTA_XVFB_PID
#   velta_start_wineserver                   the persistent wineserver of
#                                            WINEPREFIX; sets VELTA_OWN_WINESERVER=1
#                                            only when it started one
#   velta_unmanaged_windows                  Managed=N for the prefix
#   velta_trust_test_ca CERTS TRUSTCA_EXE    the certificates (made when missing
#                                            or of an older layout) and their CA
#                                            trusted in the prefix
#   velta_end_session                        stops what this session started:
#                                            its wineserver (never one that was
#                                            already running) and its Xvfb
#
# The caller sets ROOT (the checkout) and WINEPREFIX before using these.

VELTA_XVFB_PID=""
VELTA_OWN_WINESERVER=0

velta_say() { echo "${VELTA_SESSION_NAME:-wine-session}: $*" >&2; }

velta_wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ]; then velta_say "$what not ready after ${seconds}s"; return 1; fi
    sleep 0.05
  done
}

# Xvfb picks a free display itself and reports its number on a pipe, so two
# sessions on one machine never race for the same display.
velta_start_xvfb() {
  local state=$1
  local display_file="$state/display"
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" >"$state/xvfb.log" 2>&1 &
  VELTA_XVFB_PID=$!
  velta_wait_for 20 "Xvfb" test -s "$display_file"
  DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
  export DISPLAY
}

# True when a wineserver holds the lock of WINEPREFIX's server folder.
velta_wineserver_running() {
  python3 - "$WINEPREFIX" <<'PY'
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
PY
}

# A wineserver that somebody already keeps alive for this prefix is used and
# left alone; one started here is stopped by velta_end_session.
velta_start_wineserver() {
  "$ROOT/scripts/wine-prefix.sh"
  if ! velta_wineserver_running; then
    wineserver -p
    VELTA_OWN_WINESERVER=1
    velta_wait_for 20 "wineserver" velta_wineserver_running
  fi
}

# Without a window manager on Xvfb, Wine waits up to two seconds for the
# absent manager every time a managed window is hidden (each message box
# closing); unmanaged windows skip that wait.
velta_unmanaged_windows() {
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$ROOT/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
  fi
}

velta_trust_test_ca() {
  local certs=$1 trust=$2
  if ! grep -q '^layout 2 ' "$certs/generated" 2>/dev/null; then
    "$ROOT/scripts/gen-certs.sh" "$certs" >/dev/null
  fi
  if [ ! -f "$trust" ]; then
    velta_say "missing $trust (build the target TrustCa of the cross build first)"
    return 3
  fi
  if ! "$ROOT/scripts/wine-run" "$trust" "$(winepath -w "$certs/ca.pem" 2>/dev/null)" >/dev/null; then
    velta_say "could not trust the test CA in $WINEPREFIX"
    return 3
  fi
}

velta_end_session() {
  if [ "$VELTA_OWN_WINESERVER" = 1 ]; then
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    VELTA_OWN_WINESERVER=0
  fi
  if [ -n "$VELTA_XVFB_PID" ]; then
    kill "$VELTA_XVFB_PID" 2>/dev/null
    wait "$VELTA_XVFB_PID" 2>/dev/null
    VELTA_XVFB_PID=""
  fi
  return 0
}
