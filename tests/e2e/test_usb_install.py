"""USB installs through `boardsim run`: a drive that appears late, and power lost while the boot
bundle writes the kernel."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

import pexpect

from test_boardsim_run import BOARDSIM, DEMO_APP, boot

KEYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../keys")
TYPE_APPLICATION = 0x01706774
TYPE_KERNEL = 0x03706774
TYPE_DEVICETREE = 0x05706774
FLASH_BLOCK = 0x10000
SIGNED_HEADER = 24 + 6 + 256  # one signature record of a 2048-bit key
PROGRAM_PIECE = 1024  # the flash writer programs a block in pieces of this size


def signature(payload, key):
    return subprocess.run(["openssl", "dgst", "-sha256", "-sign",
                           os.path.join(KEYS, "sample_%s_key.pem" % key)],
                          input=payload, stdout=subprocess.PIPE, check=True).stdout


def sub_image(kind, version, payload, key="production"):
    """A version-3 sub-image whose payload is signed with the named sample key."""
    sig = signature(payload, key)
    records = struct.pack(">HHH", 3, 6 + len(sig), len(sig)) + sig
    image = bytearray(24) + records + payload
    struct.pack_into(">IIII", image, 4, len(image) - 16, kind, version, 0x48445233)
    struct.pack_into(">H", image, 22, 24 + len(records))
    struct.pack_into(">I", image, 0, ~zlib.crc32(bytes(image[4:])) & 0xFFFFFFFF)
    return bytes(image)


def demo_tarball(directory):
    tarball = os.path.join(directory, "app.tar.gz")
    subprocess.run(["tar", "-czf", tarball, "--owner=0", "--group=0", "-C", DEMO_APP, "home"],
                   check=True)
    with open(tarball, "rb") as f:
        return f.read()


class UsbInstall(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.board = os.path.join(self.dir, "board")
        self.drive = os.path.join(self.dir, "drive")
        os.makedirs(self.drive)
        subprocess.run([BOARDSIM, "create", self.board, "--rtc", "2026-07-03 14:05:09",
                        "--usb-enable", "213"], check=True)
        self.app = demo_tarball(self.dir)
        # Three whole flash blocks, header with its signature record included.
        self.kernel = sub_image(TYPE_KERNEL, 0x02000000,
                                (bytes(range(256)) * 768)[:3 * FLASH_BLOCK - SIGNED_HEADER])
        self.tree = sub_image(TYPE_DEVICETREE, 0x02000000, b"\xd0\x0d\xfe\xed" * 300)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def put_slots(self, *slots):
        os.makedirs(os.path.join(self.board, "user/images"), exist_ok=True)
        for slot in slots:
            with open(os.path.join(self.board, "user/images/image%d" % slot), "wb") as f:
                f.write(sub_image(TYPE_APPLICATION, 0x01000000, self.app))

    def attach(self, *after):
        subprocess.run([BOARDSIM, "usb", self.board, "attach", self.drive] + list(after),
                       check=True)

    def boot(self, *args):
        return boot(self.board, *args)

    def read(self, path):
        with open(os.path.join(self.board, path), "rb") as f:
            return f.read()

    def partition(self, name, length):
        return self.read("sim/flash/%s.bin" % name)[:length]

    def finish(self, child, status):
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, status)

    def test_a_drive_that_is_ready_three_board_seconds_late_is_waited_for(self):
        self.put_slots(1)
        # The drive's timer polls the board clock every millisecond of real time: at half real
        # speed a board second lasts long enough that a loaded machine cannot skip past one.
        with open(os.path.join(self.board, "sim/board.conf"), "a") as conf:
            conf.write("time.scale = 0.5\n")
        self.attach("--after", "3")
        child, console = self.boot()
        # The marker appears at board second 3, so at least two tries miss it; a late timer may
        # cost one more, never the time-out.
        console.expect(r"this can take up to 10 seconds\.\r\n\.{2,9}USB mounted and ready!\r\n"
                       r"No boot image found on USB\.\r\nNo valid image found on USB\r\n")
        console.expect("boardsim: boot 1: application started")
        self.finish(child, 0)

    def test_power_cut_during_the_boot_bundle_and_the_boot_after_it(self):
        """Cuts after the erase and after the first, middle and last program of every block;
        records what the next boot does with the drive still in place."""
        self.put_slots(1)
        with open(os.path.join(self.drive, "ZKM7730_Boot.img"), "wb") as f:
            f.write(self.kernel + self.tree)
        per_block = 1 + FLASH_BLOCK // PROGRAM_PIECE  # an erase, then the block in pieces
        kernel_blocks = (len(self.kernel) + FLASH_BLOCK - 1) // FLASH_BLOCK
        cuts = [block * per_block + n for block in range(kernel_blocks + 1)
                for n in (1, 2, per_block // 2, per_block)]
        outcomes = {}
        for cut in cuts:
            for name in ("kernel", "devicetree"):
                subprocess.run([BOARDSIM, "flash", self.board, "write", name, os.devnull],
                               check=True)
            self.attach()
            subprocess.run([BOARDSIM, "fault", self.board, "--power-cut", str(cut)], check=True)
            child, console = self.boot("--boots", "3")
            console.expect("boardsim: boot 1: power cut")
            index = child.expect(["boardsim: boot 2: rebooted",
                                  "boardsim: boot 2: application started"], timeout=60)
            self.finish(child, 0)
            outcomes[cut] = ("reinstalled" if index == 0 else "booted",
                             self.partition("kernel", len(self.kernel)) == self.kernel,
                             self.partition("devicetree", len(self.tree)) == self.tree)
        # A copy counts as installed only when it is whole: the boot after a cut writes again
        # whichever partition the cut left torn or erased. Only once the device tree is whole is
        # there nothing left to repair, and the application starts.
        tree_start = kernel_blocks * per_block
        expected = {cut: ("reinstalled", True, True) for cut in cuts}
        # The device tree fits in two pieces: after the middle one it is whole.
        expected[tree_start + per_block // 2] = ("booted", True, True)
        expected[tree_start + per_block] = ("booted", True, True)
        self.assertEqual(outcomes, expected)
        print("\npower cuts tried: %d; next boot reinstalled %d, booted the application %d; "
              "kernel intact at the end after %d" % (
                  len(cuts), sum(o[0] == "reinstalled" for o in outcomes.values()),
                  sum(o[0] == "booted" for o in outcomes.values()),
                  sum(o[1] for o in outcomes.values())))

if __name__ == "__main__":
    unittest.main()
