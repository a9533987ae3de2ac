#!/usr/bin/env bash
# Builds the release zip, its symbols zip (CPack, preset win32's toolchain) and
# the Windows Installer package (wixl) twice, from the same commit in two
# different folders at two different times, fails unless the executables, the
# zips and the package are byte for byte the same, then leaves them in build/
# with their SHA-256 in build/SHA256SUMS. File times in the zips and the
# package are the release's time: SOURCE_DATE_EPOCH, by default the commit's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
commit=$(git rev-parse HEAD)
# The archived sources have no history to read the time from.
SOURCE_DATE_EPOCH=$(cmake -DSOURCE="$PWD" -P cmake/release_epoch.cmake)
export SOURCE_DATE_EPOCH
work=$(mktemp -d "${TMPDIR:-/tmp}/starter-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

for build in one second-build; do
  mkdir -p "$work/$build/source"
  git archive "$commit" | tar -x -C "$work/$build/source"
  cmake -S "$work/$build/source" -B "$work/$build/out" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$work/$build/source/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$work/$build/out" -j "$(nproc)" --target starter starter-check starter-setup release_files \
    release_msi >/dev/null 2> >(grep -v -e GLib -e '^$' >&2)
  (cd "$work/$build/out" && cpack >/dev/null)
  sleep 1  # so that the second build's clock differs
done

zips=$(cd "$work/one/out" && ls corvane-remote-starter-*-win32.zip corvane-remote-starter-*-win32-symbols.zip \
  corvane-remote-starter-*-win32.msi)
for file in starter.exe starter-check.exe release/starter.exe release/starter-check.exe \
    release/starter-setup.exe release/package-actions.dll $zips; do
  if ! cmp "$work/one/out/$file" "$work/second-build/out/$file"; then
    echo "package: $file differs between two builds of $commit" >&2
    exit 1
  fi
done
mkdir -p build
for zip in $zips; do cp "$work/one/out/$zip" build/; done
echo "package: two builds of $commit gave the same bytes"
for zip in $zips; do
  (cd "$work" && sha256sum one/out/"$zip" second-build/out/"$zip")
done
# Published beside them, so that a download can be checked before it is opened.
(cd build && sha256sum -b $zips >SHA256SUMS && cat SHA256SUMS)
