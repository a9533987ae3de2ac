#!/usr/bin/env bash
# Signs a built release with Authenticode (SHA-256), the release owner's step
# after a reproducible, unsigned build:
#
#   scripts/sign.sh [--build DIR] CERT.p12 [PASSWORD-FILE]
#
# DIR is the build tree (default build/win32). starter.exe and
# starter-check.exe are signed first, then the Windows Installer package is
# built again around the signed programs and signed itself. Each signature is
# verified, against the system's certificate authorities and the ones in
# CERT.p12. The results go to DIR/signed. Set STARTER_TIMESTAMP_URL to have
# each signature countersigned by that time-stamping service.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/win32
if [ "${1:-}" = --build ]; then build=$2; shift 2; fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/sign.sh [--build DIR] CERT.p12 [PASSWORD-FILE]" >&2
  exit 2
fi
cert=$1
password=(-pass "")
[ $# -eq 2 ] && password=(-readpass "$2")
timestamp=()
[ -n "${STARTER_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$STARTER_TIMESTAMP_URL")
for tool in osslsigncode openssl msiinfo wixl; do
  command -v "$tool" >/dev/null || { echo "sign: $tool is missing; scripts/setup.sh installs it" >&2; exit 2; }
done
unsigned=$(ls "$build"/corvane-remote-starter-*.msi)
out=$build/signed
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/starter-sign-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The authorities to verify against: the system's, and those the certificate brings.
openssl_password=(-passin pass:)
[ $# -eq 2 ] && openssl_password=(-passin "file:$2")
{ cat /etc/ssl/certs/ca-certificates.crt 2>/dev/null || true
  openssl pkcs12 -in "$cert" "${openssl_password[@]}" -nokeys 2>/dev/null ||
    openssl pkcs12 -legacy -in "$cert" "${openssl_password[@]}" -nokeys; } >"$work/authorities.pem"

sign() {
  osslsigncode sign -pkcs12 "$cert" "${password[@]}" -h sha256 -n "Corvane Remote Starter" \
    "${timestamp[@]}" -in "$1" -out "$2" >/dev/null
  osslsigncode verify -CAfile "$work/authorities.pem" -in "$2" >"$work/verify.txt" ||
    { cat "$work/verify.txt" >&2; echo "sign: the signature of $2 does not verify" >&2; exit 1; }
  echo "sign: $2 signed and verified"
}

for program in starter.exe starter-check.exe; do
  sign "$build/release/$program" "$out/$program"
done

# The same package around the signed programs: same version, architecture and times.
version=$(msiinfo export "$unsigned" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
template=$(msiinfo suminfo "$unsigned" | sed -n 's/^Template: //p')
arch=x64
[ "${template%%;*}" = Intel ] && arch=x86
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
cmake -DSOURCE="$PWD" -DPROGRAMS="$out" -DVERSION="$version" -DARCH="$arch" -DEPOCH="$epoch" \
  -DOUT="$work/$(basename "$unsigned")" -P cmake/release_msi.cmake 2> >(grep -v -e GLib -e '^$' >&2)
sign "$work/$(basename "$unsigned")" "$out/$(basename "$unsigned")"
