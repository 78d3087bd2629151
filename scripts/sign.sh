#!/usr/bin/env bash
# Signs a Windows executable with Authenticode (SHA-256), in place, with a key held in a
# PKCS#12 file or on a PKCS#11 token (a USB token, an HSM, a cloud signing service):
#   SIGN_PASSWORD=... scripts/sign.sh FILE CERTIFICATE.p12
#   SIGN_PKCS11_MODULE=... SIGN_PKCS11_KEY=pkcs11:... SIGN_PKCS11_CERT=pkcs11:... SIGN_PIN=... \
#     scripts/sign.sh FILE                  (SIGN_CERTS=chain.pem instead of SIGN_PKCS11_CERT)
#   scripts/sign.sh --check [CERTIFICATE.p12]   checks the signer the same way, signs nothing
# The password and the PIN are taken from the environment and never put on a command line,
# where any user of the machine could read them; a token's PIN is tried once before anything
# is signed, and a wrong one is reported, not retried. SIGN_TIMESTAMP_URL names an RFC 3161
# time-stamp server, so that the signature stays valid after the certificate expires;
# SOURCE_DATE_EPOCH, when set, is the signing time, so the same key gives the same bytes. The
# signed file must verify against the system's root certificates, the chain that came with the
# certificate, or those of SIGN_CAFILE (a private CA's); else the file is left as it was.
set -euo pipefail
here=$(dirname "$0")

fail() { echo "sign.sh: $*" >&2; exit 1; }
usage() {
  fail "usage: SIGN_PASSWORD=... scripts/sign.sh FILE CERTIFICATE.p12, or with SIGN_PKCS11_MODULE," \
    "SIGN_PKCS11_KEY, SIGN_PKCS11_CERT (or SIGN_CERTS) and SIGN_PIN: scripts/sign.sh FILE;" \
    "--check in place of FILE checks the signer only"
}

file=""
if [ "${1:-}" = --check ]; then
  [ $# -le 2 ] || usage
  p12=${2:-}
else
  { [ $# -ge 1 ] && [ $# -le 2 ]; } || usage
  file=$1 p12=${2:-}
  [ -f "$file" ] || fail "no such file to sign: $file"
fi
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"

# Beside the file, so that the signed copy replaces it by a rename.
work=$(mktemp -d "$([ -n "$file" ] && dirname "$file" || echo "${TMPDIR:-/tmp}")/.signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
signer_pem="$work/signer.pem" anchors="$work/anchors.pem"
if [ -f /etc/ssl/certs/ca-certificates.crt ]; then cp /etc/ssl/certs/ca-certificates.crt "$anchors"; fi
if [ -n "${SIGN_CAFILE:-}" ]; then
  [ -f "$SIGN_CAFILE" ] || fail "SIGN_CAFILE names no file: $SIGN_CAFILE"
  cat "$SIGN_CAFILE" >>"$anchors"
fi

if [ -n "$p12" ]; then
  [ -z "${SIGN_PKCS11_MODULE:-}" ] ||
    fail "both a .p12 file ($p12) and SIGN_PKCS11_MODULE are given: sign with one of them"
  [ -f "$p12" ] || fail "no such certificate file: $p12"
  [ -n "${SIGN_PASSWORD+set}" ] || fail "SIGN_PASSWORD is not set"
  # openssl reads the password from the environment itself (env:), osslsigncode from its input.
  openssl pkcs12 -in "$p12" -passin env:SIGN_PASSWORD -clcerts -nokeys -out "$signer_pem" 2>/dev/null ||
    fail "cannot open $p12: wrong password, or not a PKCS#12 file"
  openssl pkcs12 -in "$p12" -passin env:SIGN_PASSWORD -cacerts -nokeys 2>/dev/null >>"$anchors" || true
  signer=(-pkcs12 "$p12") secret=$SIGN_PASSWORD described=$p12
elif [ -n "${SIGN_PKCS11_MODULE:-}" ]; then
  module=$SIGN_PKCS11_MODULE
  [ -f "$module" ] || fail "the PKCS#11 module SIGN_PKCS11_MODULE names does not exist: $module"
  [ -n "${SIGN_PKCS11_KEY:-}" ] || fail "SIGN_PKCS11_KEY is not set (the pkcs11: URI of the private key)"
  if [ -n "${SIGN_PKCS11_CERT:-}" ] && [ -n "${SIGN_CERTS:-}" ]; then
    fail "both SIGN_PKCS11_CERT and SIGN_CERTS are given: name the certificate once"
  fi
  engine="$(openssl version -e | sed 's/^ENGINESDIR: "\(.*\)"$/\1/')/pkcs11.so"
  [ -f "$engine" ] ||
    fail "the OpenSSL PKCS#11 engine is not installed ($engine): apt-get install libengine-pkcs11-openssl"
  signer=(-pkcs11engine "$engine" -pkcs11module "$module" -key "$SIGN_PKCS11_KEY")
  if [ -n "${SIGN_PKCS11_CERT:-}" ]; then
    /usr/bin/python3 "$here/pkcs11_signer.py" "$module" "$SIGN_PKCS11_KEY" "$SIGN_PKCS11_CERT" "$signer_pem"
    signer+=(-pkcs11cert "$SIGN_PKCS11_CERT") described=$SIGN_PKCS11_CERT
  elif [ -n "${SIGN_CERTS:-}" ]; then
    [ -f "$SIGN_CERTS" ] || fail "SIGN_CERTS names no file: $SIGN_CERTS"
    openssl x509 -in "$SIGN_CERTS" -out "$signer_pem" 2>/dev/null ||
      fail "SIGN_CERTS holds no PEM certificate: $SIGN_CERTS"
    cat "$SIGN_CERTS" >>"$anchors"
    /usr/bin/python3 "$here/pkcs11_signer.py" "$module" "$SIGN_PKCS11_KEY"
    signer+=(-certs "$SIGN_CERTS") described=$SIGN_CERTS
  else
    fail "no certificate: set SIGN_PKCS11_CERT (its pkcs11: URI) or SIGN_CERTS (a PEM file with it and its chain)"
  fi
  secret=${SIGN_PIN-}
else
  fail "nothing to sign with: give a .p12 file, or SIGN_PKCS11_MODULE and the token's key"
fi
grep -q "Code Signing" <(openssl x509 -noout -ext extendedKeyUsage -in "$signer_pem" 2>/dev/null) ||
  fail "the certificate in $described is not for code signing (no Code Signing extended key usage)"
if [ -z "$file" ]; then exit 0; fi

options=(-h sha256)
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH is not a count of seconds: $SOURCE_DATE_EPOCH"
  options+=(-time "$SOURCE_DATE_EPOCH")
fi
if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then options+=(-ts "$SIGN_TIMESTAMP_URL"); fi

# osslsigncode writes a new file (it overwrites none). printf is a shell builtin: the secret goes
# down the pipe, never into any process's arguments.
signed="$work/signed"
printf '%s' "$secret" |
  osslsigncode sign "${signer[@]}" -readpass /dev/stdin "${options[@]}" -in "$file" -out "$signed" \
    >"$work/log" 2>&1 ||
  fail "osslsigncode could not sign $file: $(grep -v '^Engine ' "$work/log" | head -n 1)"
# Revocation lists are not fetched (osslsigncode 2.6 and later would): the check is of this
# signature, not of the network.
offline=()
if osslsigncode verify --help 2>&1 | grep -q -- '-ignore-crl'; then offline=(-ignore-crl); fi
osslsigncode verify "${offline[@]}" -CAfile "$anchors" -TSA-CAfile "$anchors" -in "$signed" \
  >"$work/log" 2>&1 ||
  fail "the signature of $file does not verify: $(grep -o -m 1 -E '(Verify error|Error): .*' "$work/log")" \
    "(a private CA's root goes in SIGN_CAFILE; a chain in SIGN_CERTS)"
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
echo "signed: $file"
