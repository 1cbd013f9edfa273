#!/bin/bash
# Makes the test PKI for the loopback HTTPS ports into OUTDIR:
#   ca.pem/.key               trusted test CA (the env script adds it to the prefix's Root store)
#   untrusted-ca.pem/.key     a second CA that is never trusted
#   localhost.pem/.key        DNS:localhost, IP:127.0.0.1, from the trusted CA
#   untrusted.pem/.key        the same names, from the untrusted CA; the file
#                             carries that CA after the leaf, so the server
#                             presents the whole chain up to a root the
#                             client does not trust
#   wronghost.pem/.key        DNS:wrong.invalid only, from the trusted CA
#   expired.pem/.key          localhost, trusted CA, validity ended in 2020
# Keys are throw-away and made fresh; nothing here is ever committed.
set -euo pipefail
OUT="${1:?usage: gen-certs.sh OUTDIR}"
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export OPENSSL_CONF=/dev/null

make_ca() { # name cn
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -keyout "$WORK/$1.key" -out "$WORK/$1.pem" -subj "/O=VELTA DL tests/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

# leaf name ca san [startdate enddate]
make_leaf() {
  local name=$1 ca=$2 san=$3 cn=${3#DNS:}
  cn=${cn%%,*}
  openssl req -new -newkey rsa:2048 -nodes -sha256 -keyout "$WORK/$name.key" \
    -out "$WORK/$name.csr" -subj "/O=VELTA DL tests/CN=$cn" 2>/dev/null
  cat > "$WORK/$name.ext" <<EXT
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=$san
EXT
  if [ $# -ge 5 ]; then
    # OpenSSL 3.0's x509 cannot set a start date in the past; the ca command can.
    local db="$WORK/$name-db"
    mkdir -p "$db"
    : > "$db/index.txt"
    cat > "$db/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
database = $db/index.txt
new_certs_dir = $db
serial = $db/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
organizationName = optional
commonName = supplied
CNF
    openssl rand -hex 16 > "$db/serial"
    openssl ca -batch -config "$db/ca.cnf" -cert "$WORK/$ca.pem" -keyfile "$WORK/$ca.key" \
      -in "$WORK/$name.csr" -out "$WORK/$name.pem" -extfile "$WORK/$name.ext" \
      -startdate "$4" -enddate "$5" -notext 2>/dev/null
  else
    openssl x509 -req -sha256 -days 3650 -in "$WORK/$name.csr" \
      -CA "$WORK/$ca.pem" -CAkey "$WORK/$ca.key" -set_serial "0x$(openssl rand -hex 16)" \
      -extfile "$WORK/$name.ext" -out "$WORK/$name.pem" 2>/dev/null
  fi
}

make_ca ca "VELTA DL Test Root"
make_ca untrusted-ca "VELTA DL Untrusted Root"
make_leaf localhost ca "DNS:localhost,IP:127.0.0.1"
make_leaf untrusted untrusted-ca "DNS:localhost,IP:127.0.0.1"
make_leaf wronghost ca "DNS:wrong.invalid"
make_leaf expired ca "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20200201000000Z

cat "$WORK/untrusted-ca.pem" >> "$WORK/untrusted.pem"

for f in ca untrusted-ca localhost untrusted wronghost expired; do
  install -m 600 "$WORK/$f.key" "$OUT/$f.key"
  install -m 644 "$WORK/$f.pem" "$OUT/$f.pem"
done
# Written last: tells the env script the set is complete and of which
# layout; it regenerates sets of another layout.
echo "layout 2 $(date -u +%Y-%m-%dT%H:%M:%SZ)" > "$OUT/generated"
