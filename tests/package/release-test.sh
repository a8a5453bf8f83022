#!/bin/bash
# The release packages on Linux, where they are made. What only Linux tools
# read: the tables of the installer package the build made, as a validator
# and a managed install ask for them, and a package code that follows every
# byte. Signing with a throw-away self-signed certificate, as a release: the release
# packages made with it (scripts/sign.sh through the package target, its
# password from a file, time-stamped by a stand-in time-stamp server started
# here) carry a signed Avenor.exe, the same in both, and a signed installer
# package; a certificate and key given as two files sign as well; a release
# with no certificate, a wrong password (where the right one signs), a
# signature that does not verify or no time stamp is refused, unless the time
# stamp is waived; the signed program still runs (the demo's key toggle
# under Wine); without its signature it is the build's, reproducible, file
# again. One check per row.
# usage: release-test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2 package=Avenor-$2-win32 m="$1/Avenor-$2-win32.msi"
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d)
trap 'kill $tsa 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
# Only what the rows set: none of the maker's signing variables.
unset AVENOR_RELEASE AVENOR_SIGN_PKCS12 AVENOR_SIGN_CERT AVENOR_SIGN_KEY AVENOR_SIGN_PASSWORD \
    AVENOR_SIGN_PASSWORD_FILE AVENOR_SIGN_TIMESTAMP AVENOR_SIGN_NO_TIMESTAMP
certificate() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 -subj "/CN=$2" -addext "$3" 2>/dev/null
}
certificate cert "Avenor test signing" extendedKeyUsage=codeSigning &&
    certificate tsa "Avenor test time stamps" extendedKeyUsage=critical,timeStamping &&
    openssl pkcs12 -export -in cert.pem -inkey cert.key -out cert.p12 -passout pass:test && echo test >password || exit 1
# The time-stamp server: RFC 3161 over HTTP, answered by openssl ts.
cat >ts.cnf <<'EOF'
[tsa]
default_tsa = t
[t]
serial = serial
signer_cert = tsa.pem
signer_key = tsa.key
default_policy = 1.2.3.4.1
digests = sha256
signer_digest = sha256
ess_cert_id_alg = sha256
EOF
echo 01 >serial
python3 - 2>tsa.log <<'PY' &
import http.server, os, subprocess
class TimeStamps(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers['Content-Length']))
        reply = subprocess.run(['openssl', 'ts', '-reply', '-config', 'ts.cnf', '-queryfile', '/dev/stdin',
                                '-out', '/dev/stdout'], input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.end_headers()
        self.wfile.write(reply)
server = http.server.HTTPServer(('127.0.0.1', 0), TimeStamps)
open('port.tmp', 'w').write(str(server.server_port))
os.rename('port.tmp', 'port')
server.serve_forever()
PY
tsa=$!
for _ in $(seq 100); do [ -e port ] && break; sleep 0.1; done
export AVENOR_SIGN_CAFILE=$work/cert.pem AVENOR_SIGN_TSA_CAFILE=$work/tsa.pem
# The release packages in folder $1, made with the variables that follow.
release() { env AVENOR_RELEASE=1 "${@:2}" cpack --config "$build/CPackConfig.cmake" -B "$work/$1"; }
release out AVENOR_SIGN_PKCS12="$work/cert.p12" AVENOR_SIGN_PASSWORD_FILE="$work/password" \
    AVENOR_SIGN_TIMESTAMP="http://127.0.0.1:$(cat port)" >cpack.log 2>&1 || { cat cpack.log; exit 1; }
mkdir run msi && unzip -q "out/$package.zip" -d run && cp "$build/standins/Lumora.exe" run/ &&
    (cd msi && msiextract "../out/$package.msi" >/dev/null) && cp "$build/Avenor.exe" pair.exe || exit 1
verify() { osslsigncode verify -CAfile cert.pem -TSA-CAfile tsa.pem -in "$1"; }
stamped() { verify "$1" | grep -q 'Timestamp Server Signature verification: ok'; }
sign_with_pair() { env AVENOR_SIGN_CERT=cert.pem AVENOR_SIGN_KEY=cert.key "$@" bash "$AVENOR_ROOT/scripts/sign.sh" pair.exe; }
# The command after the message fails, and says why.
refused() { ! "${@:2}" && grep -q "$1" row.log; }
toggle() { wine "$build/tests/tools/avenor_demo.exe" "Z:${work//\//\\}\\$1"; }
unsigned() { osslsigncode remove-signature -in "$1" -out unsigned.exe && cmp unsigned.exe "$build/Avenor.exe"; }

package() { cmake -DAVENOR_MSI_VERSION=1.1.0.0 -DAVENOR_MSI_FILES="$build" -DAVENOR_MSI="$1" "${@:2}" \
    -P "$AVENOR_ROOT/cmake/PackageMsi.cmake" >/dev/null; }
table() { msiinfo export "$m" "$1" | tr -d '\r\0'; }
package_code() { msiinfo export "$1" _SummaryInformation | sed -n 's/^9\t//p'; }
# The same sources give the same bytes; one property more gives another code.
code() {
    sed 's|<Property Id="ARPNOMODIFY" Value="1" />|&<Property Id="EXTRA" Value="1" />|' \
        "$AVENOR_ROOT/res/Avenor.wxs" >"$work/extra.wxs"
    package "$work/one.msi" && package "$work/again.msi" && package "$work/extra.msi" -DAVENOR_MSI_SOURCE="$work/extra.wxs" &&
        cmp "$work/one.msi" "$work/again.msi" && [ -n "$(package_code "$work/one.msi")" ] &&
        [ "$(package_code "$work/one.msi")" != "$(package_code "$work/extra.msi")" ]
}
rows=(
"Avenor.exe: version, language 1033, compressed with a checksum | table File | grep -qP \"^Avenor\\.exe\\tAvenor\\.exe\\tAvenor\\.exe\\t\\d+\\t$version\\t1033\\t1536\\t\""
"a hash row for Avenor.ini only                                 | [ \"\$(table MsiFileHash | cut -f1 | tail -n +4)\" = Avenor.ini ]"
"the icon of the list of installed programs is the launcher's   | table Property | grep -qxP 'ARPPRODUCTICON\\tAvenor\\.ico' && cmp <(msiinfo extract \"\$m\" Icon.Avenor.ico) \"\$AVENOR_ROOT/res/Avenor.ico\""
"the folders are secure properties                              | table Property | grep -qxP 'SecureCustomProperties\\tAVENOR_OLDER;AVENOR_NEWER;AVENOR_REMEMBERED;INSTALLDIR'"
"database code page 1252                                        | table _ForceCodepage | grep -qP '^1252\\t_ForceCodepage'"
"the package code follows every byte                            | code"
"the zip's Avenor.exe is signed, stamped   | stamped run/Avenor.exe"
"the installer package is signed, stamped  | stamped out/$package.msi"
"the package's Avenor.exe is the zip's     | cmp msi/*/Tavrik/Lumora/Avenor.exe run/Avenor.exe"
"a certificate and a key sign as well      | sign_with_pair && verify pair.exe"
"a release with no certificate is refused  | refused 'never shipped unsigned' release unsigned"
"the right password signs; waived, unstamped | release waived AVENOR_SIGN_PKCS12=cert.p12 AVENOR_SIGN_PASSWORD=test AVENOR_SIGN_NO_TIMESTAMP=1 && verify waived/$package.msi && ! stamped waived/$package.msi"
"a wrong password fails the build          | refused 'signing .* failed' release wrong AVENOR_SIGN_PKCS12=cert.p12 AVENOR_SIGN_PASSWORD=wrong AVENOR_SIGN_NO_TIMESTAMP=1"
"a signature that does not verify fails    | refused 'does not verify' sign_with_pair AVENOR_SIGN_CAFILE=tsa.pem"
"a release with no time stamp is refused   | refused 'no time-stamp server' sign_with_pair AVENOR_RELEASE=1"
"the signed program toggles under Wine     | toggle run"
"without its signature it is the build's   | unsigned run/Avenor.exe"
)
failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r name command <<<"$row"
    eval "$command" >row.log 2>&1 && echo "ok    $name" || { echo "FAIL  $name"; cat row.log; failed=1; }
done
exit $failed
