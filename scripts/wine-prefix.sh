#!/bin/bash
# Creates the project's Wine prefix once (a few seconds) and keeps it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VELTA_WINEPREFIX:-$ROOT/.cache/wine}"
export WINEARCH=win64 WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/users" ]; then
  mkdir -p "$WINEPREFIX"
  echo "wine-prefix: creating $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
