#!/usr/bin/env bash
# Signs a release with Authenticode (SHA-256), the release owner's step after
# scripts/package.sh, which builds it unsigned and reproducibly:
#
#   scripts/sign.sh [--build DIR] CERT.p12 [PASSWORD-FILE]
#
# DIR (default build) holds what package.sh leaves there: the release zip, its
# symbols zip and the Windows Installer package. The programs are signed, the
# zip is made again around them with a new SHA256SUMS, and the package is
# built again around them and signed itself; each signature is verified
# against the system's certificate authorities and those in CERT.p12. The
# results, and a SHA256SUMS of them, replace DIR/signed only once all of them
# are made. Set STARTER_TIMESTAMP_URL to have each signature countersigned by
# that time-stamping service.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ "${1:-}" = --build ]; then build=$2; shift 2; fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/sign.sh [--build DIR] CERT.p12 [PASSWORD-FILE]" >&2
  exit 2
fi
cert=$1
password=(-pass "")
openssl_password=(-passin pass:)
if [ $# -eq 2 ]; then
  password=(-readpass "$2")
  openssl_password=(-passin "file:$2")
fi
timestamp=()
[ -n "${STARTER_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$STARTER_TIMESTAMP_URL")
for tool in osslsigncode openssl msiinfo msibuild wixl python3; do
  command -v "$tool" >/dev/null || { echo "sign: $tool is missing; scripts/setup.sh installs it" >&2; exit 2; }
done
zip=$(ls "$build"/corvane-remote-starter-*-win??.zip 2>/dev/null | grep -v -- -symbols.zip || true)
symbols=${zip%.zip}-symbols.zip
package=${zip%.zip}.msi
if [ -z "$zip" ] || [ ! -f "$symbols" ] || [ ! -f "$package" ]; then
  echo "sign: no release in $build: run scripts/package.sh first, or give --build DIR" >&2
  exit 2
fi
if ! msiinfo streams "$package" 2>/dev/null | grep -qx Binary.Setup; then
  echo "sign: $package holds no starter-setup.exe: build it again with scripts/package.sh" >&2
  exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/starter-sign-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The authorities to verify against: the system's, and those the certificate
# brings. Opening it first tells a wrong password from everything after.
if ! { openssl pkcs12 -in "$cert" "${openssl_password[@]}" -nokeys 2>/dev/null ||
       openssl pkcs12 -legacy -in "$cert" "${openssl_password[@]}" -nokeys 2>/dev/null; } \
       >"$work/certificates.pem"; then
  echo "sign: cannot open $cert with $([ $# -eq 2 ] && echo "the password in $2" || echo "an empty password"): a wrong password, or not a PKCS#12 file; $build/signed is as it was" >&2
  exit 2
fi
{ cat /etc/ssl/certs/ca-certificates.crt 2>/dev/null || true; cat "$work/certificates.pem"; } \
  >"$work/authorities.pem"

sign() {
  osslsigncode sign -pkcs12 "$cert" "${password[@]}" -h sha256 -n "Corvane Remote Starter" \
    "${timestamp[@]}" -in "$1" -out "$2" >/dev/null
  osslsigncode verify -CAfile "$work/authorities.pem" -in "$2" >"$work/verify.txt" ||
    { cat "$work/verify.txt" >&2; echo "sign: the signature of $2 does not verify" >&2; exit 1; }
  echo "sign: $(basename "$2") signed and verified"
}

# The programs: the three of the zip, and the package's actions from its Binary table.
mkdir -p "$work/unsigned" "$work/programs" "$work/signed"
python3 -m zipfile -e "$zip" "$work/unsigned"
msiinfo extract "$package" Binary.PackageActions >"$work/unsigned/package-actions.dll"
for program in starter.exe starter-check.exe starter-setup.exe package-actions.dll; do
  sign "$work/unsigned/$program" "$work/programs/$program"
done

# The zip again, each entry as it was but for the signed programs and SHA256SUMS.
python3 - "$zip" "$work/programs" "$work/signed/$(basename "$zip")" <<'PY'
import hashlib, os, sys, zipfile
source, programs, out = sys.argv[1:]
with zipfile.ZipFile(source) as old:
    entries = [(info, old.read(info)) for info in old.infolist()]
data = {info.filename: content for info, content in entries}
for name in ("starter.exe", "starter-check.exe", "starter-setup.exe"):
    with open(os.path.join(programs, name), "rb") as f:
        data[name] = f.read()
sums = []
for line in data["SHA256SUMS"].decode().splitlines():
    name = line.split(" *", 1)[1]
    sums.append(f"{hashlib.sha256(data[name]).hexdigest()} *{name}\n")
data["SHA256SUMS"] = "".join(sums).encode()
with zipfile.ZipFile(out, "w") as new:
    for info, _ in entries:
        new.writestr(info, data[info.filename])
PY
cp "$symbols" "$work/signed/"

# The same package around the signed programs: same version, architecture and times.
version=$(msiinfo export "$package" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
file_version=$(msiinfo export "$package" File | awk -F'\t' '$1 == "starter.exe" {print $5}')
template=$(msiinfo suminfo "$package" | sed -n 's/^Template: //p')
arch=x64
[ "${template%%;*}" = Intel ] && arch=x86
epoch=$(cmake -DSOURCE="$PWD" -P cmake/release_epoch.cmake)
cmake -DSOURCE="$PWD" -DPROGRAMS="$work/programs" -DVERSION="$version" -DFILE_VERSION="$file_version" \
  -DARCH="$arch" -DEPOCH="$epoch" -DOUT="$work/$(basename "$package")" -P cmake/release_msi.cmake \
  2> >(grep -v -e GLib -e '^$' >&2)
sign "$work/$(basename "$package")" "$work/signed/$(basename "$package")"
(cd "$work/signed" && sha256sum -b -- *.zip *.msi >SHA256SUMS)

rm -rf "$build/signed.old"
[ -d "$build/signed" ] && mv "$build/signed" "$build/signed.old"
mv "$work/signed" "$build/signed"
rm -rf "$build/signed.old"
echo "sign: the signed release is in $build/signed"
