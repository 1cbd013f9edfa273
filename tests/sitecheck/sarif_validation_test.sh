#!/bin/bash
# sarif_validation_test.sh TOOLS_DIR SAMPLE_PROGRAM VELTA_SITE WORK_DIR
# The checker's SARIF against Microsoft's own validator (installed pinned by
# scripts/install-sarif-validator.sh below TOOLS_DIR): the log of findings
# built by SAMPLE_PROGRAM and velta-site's log of a faulty site on disk must
# have no error result. A log that breaks the schema must have some, or the
# validator proves nothing here.
set -euo pipefail
TOOLS=$1 SAMPLE=$2 SITE_CHECKER=$3 WORK=$4
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VALIDATOR=$("$ROOT/scripts/install-sarif-validator.sh" "$TOOLS")
rm -rf "$WORK" && mkdir -p "$WORK"
cd "$WORK"

# Errors the validator reports for one log, one line each; none: empty.
errors_of() {
  local log=$1 result="$WORK/$(basename "$1" .sarif).validation.sarif"
  rm -f "$result"
  "$VALIDATOR" validate "$log" -o "$result" >"$result.txt" 2>&1 || true
  [ -s "$result" ] || { echo "no validation result for $log:"; cat "$result.txt"; return; }
  python3 - "$result" <<'PY'
import json, sys
for run in json.load(open(sys.argv[1], encoding="utf-8"))["runs"]:
    for r in run.get("results", []):
        if r.get("level", "warning") == "error":
            print(r.get("ruleId"), r.get("message", {}).get("id"), r.get("message", {}).get("arguments"))
    for inv in run.get("invocations", []):
        for n in inv.get("toolExecutionNotifications", []):
            if n.get("level") == "error":
                print("tool:", n.get("message", {}).get("text"))
PY
}

failed=0
"$SAMPLE" sample.sarif

# A site with a missing file, a Japanese name that is missing too, a date
# with dashes and a product whose list is missing.
mkdir -p site/qrnSupport/download/VELTA site/p
printf '1,VELTA Test,https://vendor.test/p/,20261201\r\n2,\x8b\x8b\x97\x5e,https://vendor.test/q/,2026-12-01\r\n' \
  > site/qrnSupport/download/VELTA/veltadownloadlist.txt
printf 'setup.exe\r\ndata.cab\r\n\x83\x66\x81\x5b\x83\x5e.cab\r\n' > site/p/downloadlist.txt
printf 'MZ' > site/p/setup.exe
"$SITE_CHECKER" check site --base-url https://vendor.test/ --format sarif > site.sarif || true
# Every result names its rule: a log without any would pass the validator
# while telling a code-scanning tool nothing.
if ! grep -q '"ruleId"' site.sarif; then
  echo "FAIL: velta-site's own log names no rule"
  failed=1
fi
logs=(sample.sarif site.sarif)

for log in "${logs[@]}"; do
  found=$(errors_of "$log")
  if [ -n "$found" ]; then
    echo "FAIL: the validator finds errors in $log:"
    echo "$found"
    failed=1
  else
    echo "ok: $log passes the validator"
  fi
done

sed 's/"version": "2.1.0"/"version": "2.0"/; s/"ruleId": "VS104"/"ruleId": 104/' sample.sarif > broken.sarif
if [ -z "$(errors_of broken.sarif)" ]; then
  echo "FAIL: the validator passes a log with a wrong version and a numeric ruleId"
  failed=1
else
  echo "ok: the validator refuses a broken log"
fi
exit $failed
