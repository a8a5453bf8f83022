#!/bin/bash
# Signs Windows programs and installer packages in place (Authenticode,
# SHA-256) with the maker's certificate, when one is given, and verifies every
# signature right after signing; with none it changes nothing, so that the
# release stays byte for byte reproducible. A release build (AVENOR_RELEASE=1)
# must not ship unsigned: there a missing certificate, a signature that does
# not verify, or a missing time-stamp server (unless waived) is an error.
# cmake/Package.cmake calls it for Avenor.exe before it goes into the packages,
# then for the installer package. The variables name files kept outside the
# repository (a private key is never committed):
#   AVENOR_SIGN_PKCS12              a PKCS#12 file (.pfx, .p12): certificate and key
#   AVENOR_SIGN_CERT, AVENOR_SIGN_KEY  or the certificate (with its chain) and the
#                                   private key, PEM or DER
#   AVENOR_SIGN_PASSWORD            the password of either, if it has one, or
#   AVENOR_SIGN_PASSWORD_FILE       a file that holds it
#   AVENOR_SIGN_TIMESTAMP           a time-stamp server (RFC 3161) URL: the
#                                   signature then stays valid after the
#                                   certificate expires
#   AVENOR_SIGN_CAFILE              the trusted roots the signature is verified
#                                   against (PEM; default: the system's)
#   AVENOR_SIGN_TSA_CAFILE          the same for the time-stamp server's signature
#   AVENOR_RELEASE=1                a release: signing is required, and so is a
#                                   time stamp unless AVENOR_SIGN_NO_TIMESTAMP=1
# usage: sign.sh FILE...
set -euo pipefail
fail() {
    echo "sign.sh: $*" >&2
    exit 1
}
release=${AVENOR_RELEASE:-0}
if [ -n "${AVENOR_SIGN_PKCS12:-}" ]; then
    with=(-pkcs12 "$AVENOR_SIGN_PKCS12")
elif [ -n "${AVENOR_SIGN_CERT:-}${AVENOR_SIGN_KEY:-}" ]; then
    if [ -z "${AVENOR_SIGN_CERT:-}" ] || [ -z "${AVENOR_SIGN_KEY:-}" ]; then
        fail "AVENOR_SIGN_CERT and AVENOR_SIGN_KEY go together"
    fi
    with=(-certs "$AVENOR_SIGN_CERT" -key "$AVENOR_SIGN_KEY")
elif [ "$release" = 1 ]; then
    fail "AVENOR_RELEASE=1, but no certificate is given (AVENOR_SIGN_PKCS12, or AVENOR_SIGN_CERT and AVENOR_SIGN_KEY): a release is never shipped unsigned"
else
    exit 0
fi
if [ -z "${AVENOR_SIGN_TIMESTAMP:-}" ] && [ "$release" = 1 ] && [ "${AVENOR_SIGN_NO_TIMESTAMP:-0}" != 1 ]; then
    fail "AVENOR_RELEASE=1, but no time-stamp server is given (AVENOR_SIGN_TIMESTAMP): without one the signature ends with the certificate; AVENOR_SIGN_NO_TIMESTAMP=1 waives it"
fi
# The password goes through a pipe, not the command line.
password=${AVENOR_SIGN_PASSWORD:-}
if [ -n "${AVENOR_SIGN_PASSWORD_FILE:-}" ]; then
    password=$(<"$AVENOR_SIGN_PASSWORD_FILE") || fail "cannot read AVENOR_SIGN_PASSWORD_FILE"
fi
[ -n "$password" ] && with+=(-readpass -)
cafile=${AVENOR_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
checks=(-CAfile "$cafile")
if [ -n "${AVENOR_SIGN_TIMESTAMP:-}" ]; then
    with+=(-ts "$AVENOR_SIGN_TIMESTAMP")
    checks+=(-TSA-CAfile "${AVENOR_SIGN_TSA_CAFILE:-$cafile}")
fi
for f in "$@"; do
    printf '%s' "$password" |
        osslsigncode sign "${with[@]}" -h sha256 -n Avenor -in "$f" -out "$f.signed" >/dev/null ||
        { rm -f "$f.signed"; fail "signing $f failed"; }
    if ! verified=$(osslsigncode verify "${checks[@]}" -ignore-cdp -in "$f.signed" 2>&1); then
        echo "$verified" >&2
        rm -f "$f.signed"
        fail "the signature of $f does not verify"
    fi
    mv -f "$f.signed" "$f"
    echo "signed and verified: $f"
done
