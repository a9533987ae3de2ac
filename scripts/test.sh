#!/usr/bin/env bash
# Builds and tests everything, installing what is missing first:
#   native    unit tests on the dry-run platform, then once more under valgrind;
#             the benchmarks are built and run once, so that they cannot rot
#   sanitize  the same unit tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   package   the release built twice and compared, then signed with a throwaway certificate
#   fuzz      each fuzz target for a few seconds from its seeds
#   lint      clang-tidy and cppcheck
#   win32     the Windows build's unit, platform and end-to-end tests under Wine
#             (scripts/test_windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export STARTER_SETUP_DONE=1
jobs=$(nproc)

cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"
echo "benchmarks: one iteration each"
build/native/launch_bench --benchmark_min_time=0 >/dev/null
echo "valgrind: unit tests"
valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  build/native/unit_tests --gtest_brief=1

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

scripts/package.sh
# The release owner's step right after it, with a throwaway certificate.
keys=$(mktemp -d "${TMPDIR:-/tmp}/starter-keys-XXXXXX")
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Throwaway -days 1 -keyout "$keys/key.pem" \
  -out "$keys/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -passout pass: -out "$keys/cert.p12"
scripts/sign.sh "$keys/cert.p12"
osslsigncode verify -CAfile "$keys/cert.pem" -in build/signed/corvane-remote-starter-*-win32.msi >/dev/null
(cd build/signed && sha256sum -c --quiet SHA256SUMS)
rm -rf "$keys"
scripts/fuzz.sh 6

cmake --preset win32
cmake --build --preset win32 -j "$jobs"
cmake --build --preset win32 --target test_packages  # the next version, for e2e.msi's upgrades
scripts/lint.sh

. scripts/wine_env.sh
(cd build/win32 && cpack >/dev/null)  # the release zip, for e2e.release
if [ "$windows_preset" = win32 ]; then
  scripts/test_windows.sh
else
  # The same tests natively on the x86_64 build, then the shipped 32-bit build,
  # WoW64 included, in a machine that qemu emulates.
  cmake --preset win64
  cmake --build --preset win64 -j "$jobs"
  cmake --build --preset win64 --target test_packages
  (cd build/win64 && cpack >/dev/null)
  scripts/test_windows.sh
  echo "NOTE: the 32-bit and WoW64 runs go to an emulated machine (scripts/vm32.sh); they take a while."
  scripts/vm32.sh scripts/test_windows.sh
fi
