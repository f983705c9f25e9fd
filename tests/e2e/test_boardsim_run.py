"""Drives `boardsim run` through a pty, as an operator at the console would: the demo application
starts from slot 1, also after waiting for a USB drive that is ready late."""
import io
import os
import subprocess
import tempfile
import unittest

import pexpect

BOARDSIM = os.environ["BOARDSIM"]
IMGTOOL = os.environ["IMGTOOL"]
DEMO_APP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../sim/demo-app")
# Texts that must never reach the console of a board that is working.
NEVER = ["Segmentation fault", "AddressSanitizer", "runtime error:", "not found",
         "System reboot failed"]


class BoardsimRun(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())
        self.board = os.path.join(self.dir, "board")

    def boot(self, *args):
        """`boardsim run` on a pty; without --no-panel the transcript would hold the panel."""
        child = pexpect.spawn(BOARDSIM, ["run", self.board, "--no-panel"] + list(args),
                              encoding="latin-1", env={"PATH": os.environ["PATH"]}, timeout=60)
        child.logfile_read = io.StringIO()
        return child

    def finish(self, child):
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 0)
        for text in NEVER:
            self.assertNotIn(text, child.logfile_read.getvalue())

    def put_demo_in_slot_one(self, *create_args):
        # ARCH=ppc: the same scenarios with the switch's build of the boot manager.
        subprocess.run([BOARDSIM, "create", self.board, "--rtc", "2026-12-05 09:15:30",
                        "--arch", os.environ.get("ARCH", "host")] + list(create_args), check=True)
        tarball = os.path.join(self.dir, "app.tar.gz")
        subprocess.run(["tar", "-czf", tarball, "--owner=0", "--group=0", "-C", DEMO_APP, "home"],
                       check=True)
        os.makedirs(os.path.join(self.board, "user/images"), exist_ok=True)
        subprocess.run([IMGTOOL, "build", os.path.join(self.board, "user/images/image1"), "--add",
                        "application:1.0.0.1:" + tarball], check=True, stdout=subprocess.DEVNULL)

    def test_the_demo_application_starts_from_slot_one(self):
        self.put_demo_in_slot_one()
        child = self.boot()
        child.expect(r"Booting image '1'\r\nRunning install script\r\n")
        child.expect(r"\*\*\* Switch application 1\.0\.0\.1 up on the simulated board \*\*\*\r\n"
                     r"site: lab\r\n")
        child.expect(r"boardsim: boot 1: application started")
        self.finish(child)
        with open(os.path.join(self.board, "sim/journal.log")) as f:
            self.assertTrue(f.read().endswith("summary-scan\nbacktrace\n"))

    @unittest.skipIf(os.environ.get("ARCH") == "ppc", "the host build runs it")
    def test_a_drive_that_is_ready_three_board_seconds_late_is_waited_for(self):
        self.put_demo_in_slot_one("--usb", "on")
        drive = os.path.join(self.dir, "drive")
        os.makedirs(drive)
        # The drive's timer polls the board clock every millisecond of real time: at half real
        # speed a board second lasts long enough that a loaded machine cannot skip past one.
        subprocess.run([BOARDSIM, "usb", self.board, "attach", drive, "--after", "3"], check=True)
        child = self.boot("--time-scale", "0.5")
        # The marker appears at board second 3, so at least two tries miss it; a late timer may
        # cost one more, never the time-out.
        child.expect(r"this can take up to 10 seconds\.\r\n\.{2,9}USB mounted and ready!\r\n"
                     r"No boot image found on USB\.\r\nNo valid image found on USB\r\n")
        child.expect("boardsim: boot 1: application started")
        self.finish(child)


if __name__ == "__main__":
    unittest.main()
