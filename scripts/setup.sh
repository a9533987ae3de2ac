#!/usr/bin/env bash
# Installs what the build, the tests and the demo need: the host toolchain,
# GoogleTest and Google Benchmark, mingw-w64 for 32- and 64-bit Windows, 32-
# and 64-bit Wine, a Japanese UTF-8 locale (Wine takes its ANSI code page from
# the Unix locale), clang with the libFuzzer runtime, clang-tidy, cppcheck and
# valgrind, wixl and msitools for the Windows Installer package, osslsigncode and
# openssl for signing. Skips what is there.
set -euo pipefail
# The other scripts run this too; once per top-level run is enough.
[ "${STARTER_SETUP_DONE:-}" = 1 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# A mirror can serve an index that fails its hash (one of the i386 lists, seen
# for days at a time); apt-get update then fails although it fetched every other
# list. Go on with those: an install that needs the missing one says so.
updated=0
apt_update() {
  [ "$updated" -eq 1 ] && return 0
  updated=1
  "${sudo[@]}" apt-get update -qq ||
    echo "setup: some package lists could not be fetched; going on with the others" >&2
}
apt_install() {
  apt_update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$@" >/dev/null
}

packages=(cmake make g++ googletest libgtest-dev libbenchmark-dev binutils-mingw-w64-i686
          g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
          wine wine64 locales
          clang libclang-rt-14-dev clang-tidy cppcheck valgrind strip-nondeterminism time
          wixl msitools osslsigncode openssl)
missing=()
command -v python3 >/dev/null || missing+=(python3)
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_install "${missing[@]}"
fi

# 32-bit Wine needs the i386 builds of the libraries at exactly the installed
# versions. Where it cannot be had, or cannot run, the 32-bit tests run in the
# emulated machine below instead.
if ! installed wine32:i386; then
  echo "setup: installing wine32:i386"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
    updated=0
  fi
  apt_install wine32:i386 ||
    echo "setup: wine32:i386 could not be installed: the 32-bit tests run in an emulated machine" >&2
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  "${sudo[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# Where 32-bit Wine cannot run, because the kernel cannot run 32-bit x86 code or
# because wine32 could not be installed, the 32-bit tests run in a machine that
# qemu emulates (scripts/vm32.sh), built from Debian's packages.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  missing=()
  for package in qemu-system-x86 debootstrap e2fsprogs; do
    installed "$package" || missing+=("$package")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]} for the emulated 32-bit machine"
    apt_install "${missing[@]}"
  fi
fi
