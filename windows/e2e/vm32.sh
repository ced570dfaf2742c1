#!/usr/bin/env bash
# vm32.sh WORK_DIR COMMAND [ARGS...]: runs COMMAND in an emulated x86-64
# machine whose kernel runs 32-bit programs, for a host whose own kernel has
# them turned off (where a 32-bit Wine cannot start at all). A developer's
# tool, not part of CI: emulated, Wine runs ten to twenty times slower
# (a fresh 32-bit prefix takes about eight minutes).
#
# The machine is QEMU without acceleration, booting Debian's kernel (taken
# from the archive with apt-get download, unpacked into WORK_DIR, never
# installed) from a small initramfs of busybox and the 9p modules. This
# host's whole root is shared with it read-write over 9p; COMMAND runs there
# as root in a chroot, in the current directory, with a fresh /tmp. Its
# output comes back on standard output; the exit code is COMMAND's.
#   windows/e2e/vm32.sh build-win32/vm32 windows/e2e/run_e2e.sh build-win32
# Measured: run_e2e.sh passes in about 22 minutes, its probes included.
# Programs over about a megabyte (the unit tests, and now the DLL itself)
# arrive through 9p's mapped pages partly as zeros and fault; copy the
# build's programs to the machine's own /tmp first and run the scripts on
# that copy (run_e2e.sh, installs.sh and side_by_side.sh take any folder).
# Files read with read(), as cp reads them, arrive whole.
set -euo pipefail
work=$(mkdir -p "$1" && cd "$1" && pwd)
shift
missing=()
command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
[ -x /bin/busybox ] || missing+=(busybox-static)
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The kernel the archive's linux-image-amd64 names, unpacked once.
if ! compgen -G "$work/kernel/boot/vmlinuz-*" >/dev/null; then
  image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
  (cd "$work" && apt-get download "$image" && dpkg-deb -x "$image"_*.deb kernel && rm "$image"_*.deb)
fi

# The initramfs: busybox, the modules that reach the host's root, and an
# init that runs the command and powers off.
modules="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache
         9pnet 9pnet_virtio 9p"
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,mods,proc,sys,dev,newroot}
cp /bin/busybox "$root/bin/"
for m in $modules; do find "$work/kernel/lib/modules" -name "$m.ko" -exec cp {} "$root/mods/" \;; done
printf '%q ' "$@" > "$root/command"
pwd > "$root/directory"
cat > "$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $(echo $modules); do insmod /mods/\$m.ko; done
mount -t 9p -o trans=virtio,version=9p2000.L,cache=mmap,msize=512000 hostroot /newroot
mount -t proc proc /newroot/proc; mount -t sysfs sys /newroot/sys; mount -t devtmpfs dev /newroot/dev
mount -t tmpfs tmp /newroot/tmp
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts; mount -t tmpfs shm /newroot/dev/shm
chroot /newroot /bin/bash -c "cd \$(cat /directory) && \$(cat /command)" > /dev/console 2>&1
echo "vm32: exit \$?" > /dev/console
sync; poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip) > "$work/initramfs.gz"

# SMAP and SMEP off: the emulator's 32-bit system calls trip over them.
log=$work/console.log
qemu-system-x86_64 -accel tcg -cpu max,-smap,-smep -m 8G -smp 2 -nographic -no-reboot \
  -kernel "$(ls "$work"/kernel/boot/vmlinuz-*)" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 ia32_emulation=on panic=-1 quiet nosmap nosmep" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,id=hostroot,multidevs=remap |
  tee "$log"
rc=$(tr -d '\r' < "$log" | sed -n 's/.*vm32: exit \([0-9]*\)$/\1/p' | tail -n 1)
exit "${rc:-1}"
