#!/usr/bin/env bash
# Boots the test VM and passes when its init reports that every phase passed. The VM is a
# separate emulated machine without network; nothing it runs reaches this host. The firmware's
# terminal resets are dropped from the log, which ctest may print.
#
# usage: run-vm.sh QEMU VMLINUZ INITRAMFS TIMEOUT_SECONDS LOG
set -uo pipefail

qemu=$1 kernel=$2 initramfs=$3 limit=$4 log=$5

if [[ ! -x $qemu ]]; then
  echo "qemu-system-x86_64 not found: run scripts/setup.sh" >&2
  exit 1
fi

start=$SECONDS
timeout -k 5 "$limit" "$qemu" -accel tcg -nographic -nodefaults -no-reboot -m 256 -smp 1 \
  -kernel "$kernel" -initrd "$initramfs" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 bm_vm_test=1" \
  -monitor none -serial stdio </dev/null 2>&1 | sed -u 's/\r$//; s/\x1b[^a-zA-Z]*[a-zA-Z]//g' | tee "$log"
status=${PIPESTATUS[0]}
echo "VM ran for $((SECONDS - start)) s (qemu exit status $status)"

if ((status == 124 || status == 137)); then
  echo "FAIL: the VM did not power off within $limit s"
  exit 1
fi
if ! grep -qx 'kernel-vm: PASS' "$log"; then
  echo "FAIL: the VM did not report a pass"
  exit 1
fi
echo "Checked against the kernel's drivers in the VM:"
if ! grep '^\[real driver\]' "$log"; then
  echo "FAIL: the VM passed without reporting a single operation"
  exit 1
fi
