#!/bin/bash
# scripts/release.sh [--sign PFX] [--build DIR] [--out DIR] DOWNLOAD_HOST USER_PAGE_HOST
#
# Builds the release VELTADL.exe for the vendor's hosts (each an optional
# host:port) and the vendor's site checker velta-site.exe, and writes both
# with their SHA256SUMS to the output folder
# (default build/release/dist). The build is reproducible: the same commit
# gives the same bytes whichever folders it is built in (the Release settings
# of CMakeLists.txt see to that).
#
# --sign PFX signs both executables with Authenticode (SHA-256) through osslsigncode,
# with the key and certificate chain of the PKCS#12 file PFX. Its password
# comes from the environment variable VELTA_SIGN_PASSWORD only; it is handed
# to osslsigncode through a pipe, never on a command line or in a file.
# SHA256SUMS then names the signed files.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PFX=""
BUILD="$ROOT/build/release"
OUT=""
usage() {
  echo "usage: release.sh [--sign PFX] [--build DIR] [--out DIR] DOWNLOAD_HOST USER_PAGE_HOST" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --sign) [ $# -ge 2 ] || usage; PFX="$2"; shift 2 ;;
    --build) [ $# -ge 2 ] || usage; BUILD="$2"; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; OUT="$2"; shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || usage
DOWNLOAD_HOST=$1
USER_PAGE_HOST=$2
OUT="${OUT:-$BUILD/dist}"

if [ -n "$PFX" ]; then
  [ -f "$PFX" ] || { echo "release.sh: no such file $PFX" >&2; exit 1; }
  if [ -z "${VELTA_SIGN_PASSWORD+set}" ]; then
    echo "release.sh: set VELTA_SIGN_PASSWORD to the password of $PFX" >&2
    exit 1
  fi
  command -v osslsigncode >/dev/null || { echo "release.sh: osslsigncode missing (scripts/install-deps.sh)" >&2; exit 1; }
fi

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DVELTA_DOWNLOAD_HOST="$DOWNLOAD_HOST" -DVELTA_USER_PAGE_HOST="$USER_PAGE_HOST" \
  -DVELTA_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j"${VELTA_JOBS:-2}" --target VELTADL velta-site >/dev/null

mkdir -p "$OUT"
rm -f "$OUT/VELTADL.exe" "$OUT/velta-site.exe" "$OUT/SHA256SUMS"
for built in "$BUILD/app/VELTADL.exe" "$BUILD/sitecheck/velta-site.exe"; do
  name=$(basename "$built")
  if [ -n "$PFX" ]; then
    # No time-stamping server: the release machine may be offline, and the
    # signature then holds until the certificate expires.
    osslsigncode sign -pkcs12 "$PFX" -readpass <(printf '%s' "$VELTA_SIGN_PASSWORD") \
      -h sha256 -n "VELTA DL" -in "$built" -out "$OUT/$name" >/dev/null
  else
    cp "$built" "$OUT/$name"
  fi
  echo "release.sh: $OUT/$name"
done
(cd "$OUT" && sha256sum VELTADL.exe velta-site.exe > SHA256SUMS)
cat "$OUT/SHA256SUMS"
