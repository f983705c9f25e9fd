"""Drives `boardsim run` through a pty, as an operator at the console would: the demo application
starts from slot 1."""
import os
import shutil
import subprocess
import tempfile
import unittest

import pexpect

BOARDSIM = os.environ["BOARDSIM"]
IMGTOOL = os.environ["IMGTOOL"]
DEMO_APP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../sim/demo-app")
# Texts that must never reach the console of a board that is working.
NEVER = [r"Segmentation fault", r"AddressSanitizer", r"runtime error:", r"not found",
         r"System reboot failed"]


class Console:
    """An expect that also fails as soon as a forbidden pattern shows."""

    def __init__(self, child):
        self.child = child

    def expect(self, pattern, timeout=60):
        index = self.child.expect([pattern] + NEVER, timeout=timeout)
        if index != 0:
            raise AssertionError("forbidden console text: %r" % self.child.after)


def boot(board, *args):
    """`boardsim run` on a pty; without --no-panel the transcript would hold the panel."""
    child = pexpect.spawn(BOARDSIM, ["run", board, "--no-panel"] + list(args),
                          encoding="latin-1", env={"PATH": os.environ["PATH"]})
    return child, Console(child)


class BoardsimRun(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.board = os.path.join(self.dir, "board")
        # ARCH=ppc: the same scenarios with the switch's build of the boot manager.
        subprocess.run([BOARDSIM, "create", self.board, "--rtc", "2026-12-05 09:15:30",
                        "--arch", os.environ.get("ARCH", "host")], check=True)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_the_demo_application_starts_from_slot_one(self):
        tarball = os.path.join(self.dir, "app.tar.gz")
        image = os.path.join(self.dir, "image")
        subprocess.run(["tar", "-czf", tarball, "--owner=0", "--group=0", "-C", DEMO_APP, "home"],
                       check=True)
        subprocess.run([IMGTOOL, "build", image, "--add", "application:1.0.0.1:" + tarball],
                       check=True, stdout=subprocess.DEVNULL)
        os.makedirs(os.path.join(self.board, "user/images"), exist_ok=True)
        shutil.copy(image, os.path.join(self.board, "user/images/image1"))
        child, console = boot(self.board)
        console.expect(r"Booting image '1'\r\nRunning install script\r\n")
        console.expect(r"\*\*\* Switch application 1\.0\.0\.1 up on the simulated board \*\*\*\r\n"
                       r"site: lab\r\n")
        console.expect(r"boardsim: boot 1: application started")
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 0)
        with open(os.path.join(self.board, "sim/journal.log")) as f:
            self.assertTrue(f.read().endswith("summary-scan\nbacktrace\n"))


if __name__ == "__main__":
    unittest.main()
