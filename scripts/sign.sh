#!/usr/bin/env bash
# Signs a Windows executable with Authenticode (SHA-256), in place:
#   SIGN_PASSWORD=... scripts/sign.sh FILE CERTIFICATE.p12
# The PKCS#12 file holds the code-signing certificate and its key; its password is taken from
# the environment variable SIGN_PASSWORD and never put on a command line, where any user of the
# machine could read it. SIGN_TIMESTAMP_URL, when set, names an RFC 3161 time-stamp server, so
# that the signature stays valid after the certificate expires.
set -euo pipefail

fail() { echo "sign.sh: $*" >&2; exit 1; }

[ $# -eq 2 ] || fail "usage: SIGN_PASSWORD=... scripts/sign.sh FILE CERTIFICATE.p12"
file=$1 p12=$2
[ -f "$file" ] || fail "no such file to sign: $file"
[ -f "$p12" ] || fail "no such certificate file: $p12"
[ -n "${SIGN_PASSWORD+set}" ] || fail "SIGN_PASSWORD is not set"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"

# openssl reads the password from the environment itself (env:), osslsigncode from its input.
certificate=$(openssl pkcs12 -in "$p12" -passin env:SIGN_PASSWORD -clcerts -nokeys 2>/dev/null) ||
  fail "cannot open $p12: wrong password, or not a PKCS#12 file"
usage=$(openssl x509 -noout -ext extendedKeyUsage <<<"$certificate" 2>/dev/null || true)
grep -q "Code Signing" <<<"$usage" ||
  fail "the certificate in $p12 is not for code signing (no Code Signing extended key usage)"

timestamp=()
if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then timestamp=(-ts "$SIGN_TIMESTAMP_URL"); fi

# osslsigncode writes a new file (it overwrites none): sign into a private folder beside it.
work=$(mktemp -d "$(dirname "$file")/.signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
signed="$work/signed"
# printf is a shell builtin: the password goes down the pipe, never into any process's arguments.
printf '%s' "$SIGN_PASSWORD" |
  osslsigncode sign -pkcs12 "$p12" -readpass - -h sha256 "${timestamp[@]}" \
    -in "$file" -out "$signed" >/dev/null ||
  fail "osslsigncode could not sign $file"
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
echo "signed: $file"
