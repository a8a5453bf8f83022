#!/bin/bash
# Signs Windows programs and installer packages in place (Authenticode,
# SHA-256) with the maker's certificate, when one is given; with none it
# changes nothing, so that the release stays byte for byte reproducible.
# cmake/Package.cmake calls it for Avenor.exe before it goes into the packages,
# then for the installer package. The variables name files kept outside the
# repository (a private key is never committed):
#   AVENOR_SIGN_PKCS12              a PKCS#12 file (.pfx, .p12): certificate and key
#   AVENOR_SIGN_CERT, AVENOR_SIGN_KEY  or the certificate (with its chain) and the
#                                   private key, PEM or DER
#   AVENOR_SIGN_PASSWORD            the password of either, if it has one
#   AVENOR_SIGN_TIMESTAMP           a time-stamp server (RFC 3161) URL: the
#                                   signature then stays valid after the
#                                   certificate expires
# usage: sign.sh FILE...
set -euo pipefail
if [ -n "${AVENOR_SIGN_PKCS12:-}" ]; then
    with=(-pkcs12 "$AVENOR_SIGN_PKCS12")
elif [ -n "${AVENOR_SIGN_CERT:-}${AVENOR_SIGN_KEY:-}" ]; then
    if [ -z "${AVENOR_SIGN_CERT:-}" ] || [ -z "${AVENOR_SIGN_KEY:-}" ]; then
        echo "sign.sh: AVENOR_SIGN_CERT and AVENOR_SIGN_KEY go together" >&2
        exit 1
    fi
    with=(-certs "$AVENOR_SIGN_CERT" -key "$AVENOR_SIGN_KEY")
else
    exit 0
fi
# The password goes through a pipe, not the command line.
[ -n "${AVENOR_SIGN_PASSWORD:-}" ] && with+=(-readpass -)
[ -n "${AVENOR_SIGN_TIMESTAMP:-}" ] && with+=(-ts "$AVENOR_SIGN_TIMESTAMP")
for f in "$@"; do
    printf '%s' "${AVENOR_SIGN_PASSWORD:-}" |
        osslsigncode sign "${with[@]}" -h sha256 -n Avenor -in "$f" -out "$f.signed" >/dev/null
    mv -f "$f.signed" "$f"
    echo "signed: $f"
done
