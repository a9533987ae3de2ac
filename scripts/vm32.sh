#!/usr/bin/env bash
# Runs a command of this checkout inside a small Debian machine that qemu
# emulates in software, for hosts whose kernel cannot run 32-bit x86 code:
# there 32-bit Wine, and so the shipped 32-bit programs, can run only in such a
# machine. The checkout is shared at the same absolute path, so a build tree
# made on the host works unchanged. Its root image is built once, from Debian's
# packages, into build/vm32 (about five minutes), and every run starts from
# that image unchanged.
#
#   scripts/vm32.sh COMMAND [ARG...]    exits with COMMAND's status
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
vm=$repo/build/vm32
image=$vm/root.img
release=bookworm
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
mirror=${mirror:-http://deb.debian.org/debian}

# Only the init script and this script's own recipe decide the image; a change
# to either builds it again.
recipe=$(sed -n '/^build_image()/,/^}/p' "$0" | sha256sum | cut -c1-16)

build_image() {
  local root=$vm/root
  rm -rf "$root" "$image"
  mkdir -p "$root"
  echo "vm32: building the root image in $vm"
  debootstrap --variant=minbase --include=python3,locales,kmod,cmake,binutils-mingw-w64-i686,time \
    "$release" "$root" "$mirror" >"$vm/debootstrap.log"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount -t proc proc "$root/proc"
  trap 'umount "$root/proc" 2>/dev/null || true' RETURN
  chroot "$root" sh -ec '
    dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      wine wine32:i386 wine64 linux-image-amd64 initramfs-tools \
      osslsigncode openssl msitools wixl
    apt-get clean
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8' >"$vm/packages.log" 2>&1
  umount "$root/proc"
  cat >"$root/usr/sbin/vm-init" <<'EOF'
#!/bin/sh
# The machine's only process of its own: mounts, runs the job, powers off.
mount -t proc proc /proc; mount -t sysfs sys /sys 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run; mount -o remount,rw /
modprobe 9pnet_virtio; modprobe 9p
# cache=loose: without the page cache, Wine's mappings of large programs read zeros.
opts=trans=virtio,version=9p2000.L,msize=512000,cache=loose
mkdir -p /job; mount -t 9p -o $opts job /job
repo=$(cat /job/repo); mkdir -p "$repo"; mount -t 9p -o $opts repo "$repo"
export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root TMPDIR=/var/tmp LANG=C.UTF-8
cd "$repo" && sh /job/run >/job/output 2>&1
echo $? >/job/status
sync; echo o >/proc/sysrq-trigger; sleep 60
EOF
  chmod +x "$root/usr/sbin/vm-init"
  cp "$root"/boot/vmlinuz-* "$vm/vmlinuz"
  cp "$root"/boot/initrd.img-* "$vm/initrd"
  # Sparse: the prefixes of a test run go in the space left over.
  mke2fs -q -t ext4 -d "$root" -L root "$image.new" 16G >/dev/null
  rm -rf "$root"
  mv "$image.new" "$image"
  echo "$recipe" >"$vm/recipe"
}

if [ ! -f "$image" ] || [ "$(cat "$vm/recipe" 2>/dev/null)" != "$recipe" ]; then
  mkdir -p "$vm"
  build_image
fi

job=$(mktemp -d "${TMPDIR:-/tmp}/vm32-job-XXXXXX")
trap 'rm -rf "$job"' EXIT
echo "$repo" >"$job/repo"
{
  # CTest runs Python from the host's path: give the same path to the guest's.
  python=$(command -v python3)
  printf 'mkdir -p %q && [ -x %q ] || ln -sf /usr/bin/python3 %q\n' \
    "$(dirname "$python")" "$python" "$python"
  echo 'export STARTER_EMULATED=1'
  printf '%q ' "$@"; echo
} >"$job/run"

# SMAP and SMEP off: qemu's software CPU faults on a 32-bit iret with them on.
timeout "${VM32_TIMEOUT:-2400}" qemu-system-x86_64 \
  -machine q35 -accel tcg,thread=multi -cpu max,-smap,-smep -smp "$(nproc)" -m 8192 \
  -display none -monitor none -serial "file:$vm/console.log" -no-reboot \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd" \
  -append "root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/usr/sbin/vm-init" \
  -drive "file=$image,format=raw,if=virtio,snapshot=on" \
  -virtfs "local,path=$repo,mount_tag=repo,security_model=none" \
  -virtfs "local,path=$job,mount_tag=job,security_model=none" || true
cat "$job/output" 2>/dev/null || true
if [ ! -f "$job/status" ]; then
  echo "vm32: the machine stopped before the command finished; see $vm/console.log" >&2
  exit 1
fi
exit "$(cat "$job/status")"
