#!/bin/bash
# install-sarif-validator.sh DIR
# Installs Microsoft's SARIF validator, the npm package
# @microsoft/sarif-multitool at a pinned version, below DIR (its own
# node_modules, nothing global) and prints the command that runs it. Quick
# when that version is already there.
set -euo pipefail
DIR="${1:?usage: install-sarif-validator.sh DIR}"
VERSION=5.7.0
PACKAGE="$DIR/node_modules/@microsoft/sarif-multitool"
BINARY="$DIR/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool"

installed_version() {
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["version"])' \
    "$PACKAGE/package.json" 2>/dev/null || true
}

if [ "$(installed_version)" != "$VERSION" ] || [ ! -f "$BINARY" ]; then
  command -v npm >/dev/null || { echo "install-sarif-validator: npm is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
  mkdir -p "$DIR"
  npm install --prefix "$DIR" --save-exact --no-audit --no-fund --loglevel=error \
    "@microsoft/sarif-multitool@$VERSION" >&2
fi
# npm here does not run the package's own install script, which sets this bit.
chmod u+x "$BINARY"
echo "$DIR/node_modules/.bin/sarif-multitool"
