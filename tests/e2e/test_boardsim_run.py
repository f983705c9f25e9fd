"""Drives `boardsim run` through a pty, as an operator at the console would."""
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
RESCUE_MENU = (r"Entering Rescue Mode\.\r\n"
               r"Please select one of the following options:\r\n"
               r"\tX\) Use xmodem 1K to serial download an image\r\n"
               r"\tP\) Physical presence \(low security mode\)\r\n"
               r"\tR\) Reboot\r\n"
               r"\tE\) Exit\r\n"
               r"\r\nOption\? : ")


class Console:
    """An expect that also fails as soon as a forbidden pattern shows."""

    def __init__(self, child):
        self.child = child

    def expect(self, pattern, timeout=60):
        index = self.child.expect([pattern] + NEVER, timeout=timeout)
        if index != 0:
            raise AssertionError("forbidden console text: %r" % self.child.after)

    def exit_rescue_menu(self):
        """Waits for the rescue menu's prompt and leaves the menu with Exit."""
        self.expect(RESCUE_MENU)
        self.child.send("e")
        self.expect(r"e\r\n")


class BoardsimRun(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.board = os.path.join(self.dir, "board")
        subprocess.run([BOARDSIM, "create", self.board, "--rtc", "2026-12-05 09:15:30"],
                       check=True)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def boot(self, *args):
        # pexpect's pty is a terminal: without --no-panel the transcript would hold the panel.
        child = pexpect.spawn(BOARDSIM, ["run", self.board, "--no-panel"] + list(args),
                              encoding="latin-1",
                              env={"PATH": os.environ["PATH"]})
        return child, Console(child)

    def journal(self):
        with open(os.path.join(self.board, "sim/journal.log")) as f:
            return f.read()

    def test_a_board_without_slot_files_offers_the_rescue_menu_then_reboots_each_boot(self):
        child, console = self.boot("--boots", "2")
        for n in (1, 2):
            console.expect(r"Booting image '1'\r\n"
                           r"Failed to open Application image 1. Trying image 2.\r\n"
                           r"Failed to open Application image 2.\r\n" + RESCUE_MENU)
            child.send("e")
            console.expect(r"e\r\n")
            console.expect(r"boardsim: boot %d: rebooted" % n)
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 3)
        self.assertIn("date 120509152026.30\n", self.journal())
        self.assertEqual(self.journal().count("reboot\n"), 2)

    def test_boot_selector_two_boots_image_two_first(self):
        subprocess.run([BOARDSIM, "eeprom", self.board, "set", "boot-slot", "2"], check=True)
        child, console = self.boot()
        console.expect(r"Booting image '2'\r\nFailed to open Application image 2\.")
        console.exit_rescue_menu()
        console.expect(r"boardsim: boot 1: rebooted")
        child.expect(pexpect.EOF)

    def put_demo_image(self, *slots):
        tarball = os.path.join(self.dir, "app.tar.gz")
        image = os.path.join(self.dir, "image")
        subprocess.run(["tar", "-czf", tarball, "--owner=0", "--group=0", "-C", DEMO_APP, "home"],
                       check=True)
        subprocess.run([IMGTOOL, "build", image, "--add", "application:1.0.0.1:" + tarball],
                       check=True, stdout=subprocess.DEVNULL)
        os.makedirs(os.path.join(self.board, "user/images"), exist_ok=True)
        for slot in slots:
            shutil.copy(image, os.path.join(self.board, "user/images/image%d" % slot))

    def test_the_demo_application_starts_from_slot_one(self):
        self.put_demo_image(1, 2)
        child, console = self.boot()
        console.expect(r"Booting image '1'\r\nRunning install script\r\n")
        console.expect(r"\*\*\* Switch application 1\.0\.0\.1 up on the simulated board \*\*\*\r\n"
                       r"site: lab\r\n")
        console.expect(r"boardsim: boot 1: application started")
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 0)
        self.assertTrue(self.journal().endswith("summary-scan\nbacktrace\n"))

    def test_a_damaged_slot_falls_back_to_the_other(self):
        self.put_demo_image(2)
        with open(os.path.join(self.board, "user/images/image1"), "wb") as f:
            f.write(b"\0" * 64)
        child, console = self.boot()
        console.expect(r"Image1 has invalid header\.\.\. trying Image2\.\r\n"
                       r"Booting image '2'\r\n")
        console.expect(r"boardsim: boot 1: application started")
        child.expect(pexpect.EOF)

    def test_a_run_that_does_not_finish_times_out(self):
        # The stub reboot never returning keeps the boot manager waiting for ever.
        with open(os.path.join(self.board, "bin/reboot"), "w") as f:
            f.write("#!/bin/sh\nwhile :; do read x; done\n")
        child, console = self.boot("--timeout", "2")
        console.exit_rescue_menu()
        console.expect(r"boardsim: boot 1: timed out")
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 6)


if __name__ == "__main__":
    unittest.main()
