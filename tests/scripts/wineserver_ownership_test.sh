#!/bin/bash
# wineserver_ownership_test.sh WORKDIR
#
# scripts/with-test-env.sh keeps one persistent wineserver for its prefix
# (scripts/lib/env.sh, shared with demo.sh). A wineserver that already serves
# the prefix, kept alive by somebody else, must be used and survive the run;
# one the run started itself must be gone when the run ends.
#
# WORKDIR keeps a private prefix between runs (about 700 MB; only the first
# run pays for wineboot, some 45 s here) and the environment's build folder.
# The project's prefix is never touched: a wineserver somebody keeps for it
# must not be stopped by a test, and the second case needs a prefix nobody
# serves. The environment's TrustCa.exe
# is a cross-built program the native build does not have; Wine's own
# attrib.exe stands in for it (it prints the CA file's attributes and exits 0),
# which is enough here: what is checked is the wineserver, not the trust.
# The test server listens on VELTA_TEST_PORT_BASE+10 .. +14.
# Exits 77 (ctest's skip) where Wine or Xvfb is not installed.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WORK="${1:?usage: wineserver_ownership_test.sh WORKDIR}"

for tool in wine wineserver winepath Xvfb python3 openssl; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done
WINE_ATTRIB=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/attrib.exe
if [ ! -f "$WINE_ATTRIB" ]; then
  echo "SKIP: no 64-bit Wine programs at $(dirname "$WINE_ATTRIB")"
  exit 77
fi

mkdir -p "$WORK"
WORK="$(cd "$WORK" && pwd)"
export VELTA_WINEPREFIX="$WORK/prefix" WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all
export VELTA_TEST_PORT_BASE=$((${VELTA_TEST_PORT_BASE:-18400} + 10))
ENV_BUILD="$WORK/env-build"
mkdir -p "$ENV_BUILD/tools"
cp "$WINE_ATTRIB" "$ENV_BUILD/tools/TrustCa.exe"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# server_pid: the pid of the process holding the wineserver lock of the
# prefix (empty when no wineserver serves it), read from /proc/locks, so this
# check shares nothing with the scripts under test.
server_pid() {
  python3 - "$WINEPREFIX" <<'EOF'
import glob, os, sys
st = os.stat(sys.argv[1])
name = "server-%x-%x" % (st.st_dev, st.st_ino)
inodes = set()
for lock in glob.glob("/tmp/.wine-%d/%s/lock" % (os.getuid(), name)) + glob.glob("/tmp/wine-*/%s/lock" % name):
    try:
        inodes.add(os.stat(lock).st_ino)
    except OSError:
        pass
with open("/proc/locks") as f:
    for line in f:
        fields = line.split()
        # "1: POSIX  ADVISORY  WRITE 1234 08:01:5678 0 EOF"
        if len(fields) >= 6 and fields[1] == "POSIX" and int(fields[5].split(":")[2]) in inodes:
            print(fields[4])
            sys.exit(0)
EOF
}

# wait_until <seconds> <command...>: polls against a deadline.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
}
holder_is() { [ "$(server_pid)" = "$1" ]; }

start=$SECONDS
"$ROOT/scripts/wine-prefix.sh" || { echo "FAIL: could not create $WINEPREFIX"; exit 1; }
echo "prefix ready in $((SECONDS - start)) s"
# The prefix is this test's own: a server left by an interrupted earlier run
# of it is stopped, so both cases start from a prefix nobody serves.
if [ -n "$(server_pid)" ]; then
  wineserver -k
  wineserver -w
fi

# The command run inside the environment records the pid of the wineserver
# serving the prefix while the environment is up.
{
  echo '#!/bin/bash'
  declare -f server_pid
  echo 'server_pid >"$1"'
} >"$WORK/record-server-pid.sh"
chmod +x "$WORK/record-server-pid.sh"
run_env() { # OUTFILE
  "$ROOT/scripts/with-test-env.sh" --build "$ENV_BUILD" "$WORK/record-server-pid.sh" "$1"
}

# --- 1: somebody else's wineserver is used and survives ------------------------
wineserver -f -p &
FOREIGN=$!
if ! wait_until 30 holder_is "$FOREIGN"; then
  fail "the wineserver started for the test (pid $FOREIGN) did not come up"
else
  run_env "$WORK/during-1"
  rc=$?
  [ "$rc" -eq 0 ] || fail "with-test-env.sh exited $rc with a wineserver already running"
  during="$(cat "$WORK/during-1" 2>/dev/null)"
  [ "$during" = "$FOREIGN" ] ||
    fail "during the run the prefix was served by '${during}', not by the running wineserver $FOREIGN"
  if kill -0 "$FOREIGN" 2>/dev/null && holder_is "$FOREIGN"; then
    echo "ok: the wineserver that was already running (pid $FOREIGN) survived the run"
  else
    fail "the wineserver that was already running (pid $FOREIGN) was stopped by the run"
  fi
fi
wineserver -k 2>/dev/null
wait "$FOREIGN" 2>/dev/null

# --- 2: a wineserver the run started is stopped at its end -----------------------
if [ -n "$(server_pid)" ]; then
  fail "a wineserver still serves the prefix before the second run"
else
  run_env "$WORK/during-2"
  rc=$?
  [ "$rc" -eq 0 ] || fail "with-test-env.sh exited $rc with no wineserver running"
  during="$(cat "$WORK/during-2" 2>/dev/null)"
  if [ -z "$during" ]; then
    fail "no wineserver served the prefix during the run"
  fi
  left="$(server_pid)"
  if [ -n "$left" ]; then
    fail "the wineserver the run started (pid $left) still runs after it"
    wineserver -k
    wineserver -w
  else
    echo "ok: the wineserver the run started (pid $during) was stopped at its end"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
