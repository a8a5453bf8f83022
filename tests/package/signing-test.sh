#!/bin/bash
# Signing with a throw-away self-signed certificate: the release packages made
# with it (scripts/sign.sh through the package target) carry a signed
# Avenor.exe, the same in both, and a signed installer package; a certificate
# and key given as two files sign as well; the signed program still runs (the
# demo's key toggle under Wine); without its signature it is the build's,
# reproducible, file again. One check per row.
# usage: signing-test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 package=Avenor-$2-win32
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=Avenor test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null &&
    openssl pkcs12 -export -in cert.pem -inkey key.pem -out cert.p12 -passout pass:test || exit 1
AVENOR_SIGN_PKCS12=$work/cert.p12 AVENOR_SIGN_PASSWORD=test \
    cpack --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log 2>&1 || { cat cpack.log; exit 1; }
mkdir run msi && unzip -q "out/$package.zip" -d run && cp "$build/standins/Lumora.exe" run/ &&
    (cd msi && msiextract "../out/$package.msi" >/dev/null) && cp "$build/Avenor.exe" pair.exe || exit 1
verify() { osslsigncode verify -CAfile cert.pem -in "$1"; }
sign_with_pair() { AVENOR_SIGN_CERT=cert.pem AVENOR_SIGN_KEY=key.pem bash "$AVENOR_ROOT/scripts/sign.sh" "$1"; }
toggle() { wine "$build/tests/tools/avenor_demo.exe" "Z:${work//\//\\}\\$1"; }
unsigned() { osslsigncode remove-signature -in "$1" -out unsigned.exe && cmp unsigned.exe "$build/Avenor.exe"; }

rows=(
"the zip's Avenor.exe is signed          | verify run/Avenor.exe"
"the installer package is signed         | verify out/$package.msi"
"the package's Avenor.exe is the zip's   | cmp msi/*/Tavrik/Lumora/Avenor.exe run/Avenor.exe"
"a certificate and a key sign as well    | sign_with_pair pair.exe && verify pair.exe"
"the signed program toggles under Wine   | toggle run"
"without its signature it is the build's | unsigned run/Avenor.exe"
)
failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r name command <<<"$row"
    eval "$command" >row.log 2>&1 && echo "ok    $name" || { echo "FAIL  $name"; cat row.log; failed=1; }
done
exit $failed
