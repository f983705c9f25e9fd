#!/bin/busybox sh
# First process of the test VM: loads the drivers, lays out the board's device names over them,
# runs the test program once per device arrangement and powers the VM off.

/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

fail() {
  echo "kernel-vm: FAIL: $*"
  poweroff -f
}

while read -r module; do
  case $module in
  i2c-stub) params="chip_addr=0x20" ;; # the port device on bus 1
  *) params="" ;;
  esac
  insmod "/lib/modules/$module.ko" $params || fail "insmod $module"
done </lib/modules/modules.load

# The board's partitions, in its order, with its sizes, over loop-attached files of the
# same size with 64 KiB erase blocks.
set -- uboot 0x80000 ubootenv 0x20000 devicetree 0x40000 kernel 0x300000 \
  rfs 0xF00000 rescue 0xA00000 onie 0x100000
loop=0
while [ $# -gt 0 ]; do
  truncate -s $(($2)) "/tmp/flash-$1.bin" || fail "flash file $1"
  losetup "/dev/loop$loop" "/tmp/flash-$1.bin" || fail "losetup $1"
  echo "/dev/loop$loop,64Ki,$1" >/sys/module/block2mtd/parameters/block2mtd || fail "block2mtd $1"
  loop=$((loop + 1))
  shift 2
done

# /dev/mtd-<name> as the board's device manager makes them.
for dir in /sys/class/mtd/mtd*; do
  case $dir in *ro) continue ;; esac
  ln -s "${dir##*/}" "/dev/mtd-$(cat "$dir/name")"
done

# The stub's adapter number depends on what else registered a bus; its node is moved aside so
# that the board's bus names can be made (or left missing) one phase at a time.
stub=""
for dir in /sys/class/i2c-dev/i2c-*; do
  [ "$(cat "$dir/name")" = "SMBus stub driver" ] && stub=${dir##*/}
done
[ -n "$stub" ] || fail "no i2c-stub adapter"
mv "/dev/$stub" /dev/i2c-stub

echo "kernel-vm: kernel $(uname -r); the SMBus stub is $stub"
cat /proc/mtd

failed=""
phase() {
  name=$1
  shift
  echo "=== phase $name"
  /bin/vmtest --gtest_color=no "$@" </dev/null
  status=$?
  echo "=== phase $name: exit $status"
  [ $status -eq 0 ] || failed="$failed $name"
}

phase flash --gtest_filter='*Flash*-AbsentFlash.*'

mv /dev/mtd-onie /dev/onie-aside
phase flash-absent-partition --gtest_filter='AbsentFlash.*'
mv /dev/onie-aside /dev/mtd-onie

ln -s i2c-stub /dev/i2c-1
phase i2c-bus0-missing --gtest_filter='AbsentBusZero.*'

ln -s i2c-stub /dev/i2c-0
phase i2c --gtest_filter='PortDevice.*'

if [ -z "$failed" ]; then
  echo "kernel-vm: PASS"
else
  echo "kernel-vm: FAIL:$failed"
fi
poweroff -f
