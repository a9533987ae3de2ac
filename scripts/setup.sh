#!/usr/bin/env bash
# Installs what the build, the tests and the demo need: the host toolchain,
# GoogleTest and Google Benchmark, mingw-w64 for 32- and 64-bit Windows, 32-
# and 64-bit Wine, a Japanese UTF-8 locale (Wine takes its ANSI code page from
# the Unix locale), clang with the libFuzzer runtime, clang-tidy, cppcheck and
# valgrind, wixl and msitools for the Windows Installer package, osslsigncode and
# openssl for signing. Skips what is there.
set -euo pipefail

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# A mirror in the middle of a sync serves index files that fail their hashes
# for a minute or two; try again rather than fail the whole run on it.
updated=0
apt_install() {
  local attempt
  for attempt in 1 2 3 4 5; do
    if [ "$updated" -eq 1 ] || "${sudo[@]}" apt-get update -qq; then
      updated=1
      DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$@" >/dev/null && return 0
    fi
    [ "$attempt" -eq 5 ] && break
    updated=0
    echo "setup: apt-get failed (attempt $attempt of 5), trying again in 30 s" >&2
    sleep 30
  done
  echo "setup: could not install $*" >&2
  return 1
}

packages=(cmake make g++ googletest libgtest-dev libbenchmark-dev binutils-mingw-w64-i686
          g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64 locales
          clang libclang-rt-14-dev clang-tidy cppcheck valgrind strip-nondeterminism time
          wixl msitools osslsigncode openssl)
missing=()
command -v python3 >/dev/null || missing+=(python3)
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  apt_install "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  "${sudo[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# Where the kernel cannot run 32-bit x86 code, the 32-bit tests run in a machine
# that qemu emulates (scripts/vm32.sh), built from Debian's packages.
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
