#!/bin/bash
# Installs everything the build, the tests and the demo need on a Debian 12
# machine. Quick and silent when all of it is already there.
set -euo pipefail

PACKAGES=(
  cmake ninja-build make python3 openssl git
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-x86-64
  wine wine64 libgnutls30 xvfb xauth x11-utils locales fonts-ipafont-gothic
  imagemagick googletest
  g++ clang clang-format libclang-rt-14-dev curl nginx
  osslsigncode
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The SARIF validator of the site checker's tests comes from npm
# (scripts/install-sarif-validator.sh); a machine whose Node.js already
# brings npm keeps it.
if ! command -v npm >/dev/null 2>&1; then
  echo "install-deps: installing nodejs npm"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
fi

# Wine takes its ANSI code page from the locale; without ja_JP.UTF-8 present
# it falls back to 1252 and every Shift-JIS text is misread.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "install-deps: generating ja_JP.UTF-8"
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
