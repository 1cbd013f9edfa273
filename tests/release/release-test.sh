#!/bin/bash
# tests/release/release-test.sh SOURCE_DIR WINDOWS_BUILD_DIR
#
# The release as the vendor makes it, twice:
#   1. two copies of the source in two different folders, each built with
#      scripts/release.sh: the two VELTADL.exe are byte for byte the same,
#      and each SHA256SUMS checks;
#   2. a code-signing certificate and its CA made here with openssl (never
#      kept), the release signed with --sign, the password from the
#      environment; osslsigncode verify accepts the signature with that CA,
#      WinVerifyTrust under Wine accepts it with that CA in the prefix's Root
#      store and refuses a copy with one byte changed and the unsigned file;
#      removing the signature gives back the reproducible bytes;
#   3. --sign without the password in the environment, or with a wrong one,
#      publishes nothing.
# Runs in the Windows test environment (ctest inside scripts/with-test-env.sh).
set -euo pipefail
SRC="$(cd "${1:?source dir}" && pwd)"
BUILD="$(cd "${2:?windows build dir}" && pwd)"
WORK="$BUILD/release-test"
VERIFY="$BUILD/tools/VerifyTrust.exe"
HOSTS=(download.velta.example.jp www.velta.example.jp)

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$VERIFY" ] || fail "missing $VERIFY (target VerifyTrust)"

# Every run starts from nothing: fresh copies of the source, fresh build
# folders, no file of an earlier run. The folders keep their names from run
# to run, so a compiler cache can serve the first build of a rerun.
rm -rf "$WORK"
mkdir -p "$WORK"
copy_source() {
  local to=$1
  mkdir -p "$to"
  if git -C "$SRC" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$SRC" && git ls-files -z -co --exclude-standard | xargs -0 tar -c) | tar -x -C "$to"
  else
    tar -C "$SRC" --exclude=./build --exclude=./.cache -c . | tar -x -C "$to"
  fi
}

# The second build never takes objects from the compiler cache, which
# could have them from the first one: it compiles everything itself.
for side in one two; do
  copy_source "$WORK/$side/src"
  start=$SECONDS
  cache=()
  [ "$side" = two ] && cache=(CCACHE_DISABLE=1)
  env "${cache[@]}" "$WORK/$side/src/scripts/release.sh" --build "$WORK/$side/build" --out "$WORK/$side/dist" "${HOSTS[@]}" \
    >"$WORK/$side.log" 2>&1 || { cat "$WORK/$side.log"; fail "release build $side"; }
  (cd "$WORK/$side/dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS of $side"
  echo "release $side: $(tr '\n' ' ' <"$WORK/$side/dist/SHA256SUMS") ($((SECONDS - start)) s, in $WORK/$side)"
done
for exe in VELTADL.exe velta-site.exe; do
  cmp "$WORK/one/dist/$exe" "$WORK/two/dist/$exe" || fail "two builds of the same source differ in $exe"
done
echo "ok: both builds are byte for byte the same"

PKI="$WORK/pki"
rm -rf "$PKI"
mkdir -p "$PKI"
trap 'rm -rf "$PKI"' EXIT
cat >"$PKI/openssl.cnf" <<'CNF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = VELTA Release Test CA
[ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$PKI/ca.key" -out "$PKI/ca.pem" -days 2 \
  -config "$PKI/openssl.cnf" -extensions ca 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$PKI/signer.key" -out "$PKI/signer.csr" \
  -subj "/CN=VELTA Release Test Publisher" 2>/dev/null
openssl x509 -req -in "$PKI/signer.csr" -CA "$PKI/ca.pem" -CAkey "$PKI/ca.key" -CAcreateserial \
  -out "$PKI/signer.pem" -days 2 -extfile "$PKI/openssl.cnf" -extensions signer 2>/dev/null
PASSWORD="pw-$RANDOM-$RANDOM"
VELTA_SIGN_PASSWORD="$PASSWORD" openssl pkcs12 -export -inkey "$PKI/signer.key" -in "$PKI/signer.pem" \
  -certfile "$PKI/ca.pem" -out "$PKI/signer.pfx" -passout env:VELTA_SIGN_PASSWORD

release_two() { "$WORK/two/src/scripts/release.sh" --build "$WORK/two/build" "$@" "${HOSTS[@]}"; }

SIGNED="$WORK/signed"
VELTA_SIGN_PASSWORD="$PASSWORD" release_two --sign "$PKI/signer.pfx" --out "$SIGNED" >"$WORK/sign.log" 2>&1 ||
  { cat "$WORK/sign.log"; fail "signed release"; }
(cd "$SIGNED" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS of the signed release"
echo "signed: $(cut -d' ' -f1 "$SIGNED/SHA256SUMS")"

osslsigncode verify -CAfile "$PKI/ca.pem" -in "$SIGNED/VELTADL.exe" >"$WORK/verify.log" 2>&1 ||
  { cat "$WORK/verify.log"; fail "osslsigncode verify"; }
grep -q "Message digest algorithm *: SHA256" "$WORK/verify.log" || { cat "$WORK/verify.log"; fail "not SHA-256"; }
grep -q "CN=VELTA Release Test Publisher" "$WORK/verify.log" || fail "signer not named"
echo "ok: osslsigncode verify"

TAMPERED="$WORK/tampered.exe"
cp "$SIGNED/VELTADL.exe" "$TAMPERED"
# One byte of the code section (after the headers) changed.
printf '\x5a' | dd of="$TAMPERED" bs=1 seek=4200 conv=notrunc 2>/dev/null
cmp -s "$TAMPERED" "$SIGNED/VELTADL.exe" && printf '\xa5' | dd of="$TAMPERED" bs=1 seek=4200 conv=notrunc 2>/dev/null

winpath() { winepath -w "$1" 2>/dev/null; }
trust() { "$SRC/scripts/wine-run" "$VERIFY" "$(winpath "$1")" "$(winpath "$PKI/ca.pem")" | tr -d '\r'; }
got=$(trust "$SIGNED/VELTADL.exe") || fail "WinVerifyTrust refused the signed release: $got"
[ "$got" = "trust 0x00000000" ] || fail "WinVerifyTrust: $got"
got=$(trust "$TAMPERED") && fail "WinVerifyTrust accepted a changed file: $got"
[ "$got" = "trust 0x80096010" ] || fail "changed file: $got, not TRUST_E_BAD_DIGEST"
got=$(trust "$WORK/two/dist/VELTADL.exe") && fail "WinVerifyTrust accepted the unsigned file: $got"
[ "$got" = "trust 0x800B0100" ] || fail "unsigned file: $got, not TRUST_E_NOSIGNATURE"
echo "ok: WinVerifyTrust accepts the signed release, refuses a changed and an unsigned copy"

osslsigncode remove-signature -in "$SIGNED/VELTADL.exe" -out "$WORK/stripped.exe" >/dev/null
cmp "$WORK/stripped.exe" "$WORK/one/dist/VELTADL.exe" || fail "without its signature the file is not the reproducible one"
echo "ok: removing the signature gives back the reproducible bytes"

REFUSED="$WORK/refused"
rm -rf "$REFUSED"
if env -u VELTA_SIGN_PASSWORD "$WORK/two/src/scripts/release.sh" --build "$WORK/two/build" \
    --sign "$PKI/signer.pfx" --out "$REFUSED" "${HOSTS[@]}" >/dev/null 2>&1; then
  fail "signed without a password in the environment"
fi
if VELTA_SIGN_PASSWORD="wrong-$PASSWORD" release_two --sign "$PKI/signer.pfx" --out "$REFUSED" >/dev/null 2>&1; then
  fail "signed with a wrong password"
fi
[ ! -e "$REFUSED/VELTADL.exe" ] || fail "a refused signing left an exe behind"
echo "ok: no password or a wrong one publishes nothing"
