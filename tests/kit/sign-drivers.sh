#!/bin/bash
# Test-signs the driver stand-ins for the test kit: a throw-away certificate
# (no CA, code signing only) made in a temporary folder outside the build
# tree, a SHA-1 signature (for Windows 7 x64) with a SHA-256 one nested in
# it, and the key deleted right after. Only the public certificate is kept.
# usage: sign-drivers.sh OUT_DIR SYS...
set -euo pipefail
out=$1
shift
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 365 \
    -subj "/CN=Avenor test kit" -addext basicConstraints=critical,CA:FALSE \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning 2>/dev/null
mkdir -p "$out"
for sys in "$@"; do
    osslsigncode sign -certs "$keys/cert.pem" -key "$keys/key.pem" -h sha1 -in "$sys" -out "$keys/sha1.sys" >/dev/null
    osslsigncode sign -nest -certs "$keys/cert.pem" -key "$keys/key.pem" -h sha256 -in "$keys/sha1.sys" \
        -out "$out/$(basename "$sys")" >/dev/null
    rm "$keys/sha1.sys"
done
rm -f "$keys/key.pem"
openssl x509 -in "$keys/cert.pem" -outform DER -out "$out/AvenorTest.cer"
