"""The physical presence test passed as a person would: a board at time scale 1 in tmux, its
blinks counted on the front panel of `boardsim run`, the count typed at the console."""
import os
import re
import subprocess
import tempfile
import time
import unittest

BOARDSIM = os.environ["BOARDSIM"]
# A few samples per 2-second blink period, each lit phase at least 1 s.
SAMPLE_SECONDS = 0.25
PANEL = re.compile(r"blue LED \[ (LIT|off) \]")


class FrontPanel(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())
        self.board = os.path.join(self.dir, "board")
        self.socket = os.path.join(self.dir, "tmux")
        self.addCleanup(subprocess.run, ["tmux", "-S", self.socket, "kill-server"],
                        stderr=subprocess.DEVNULL)
        subprocess.run([BOARDSIM, "create", self.board, "--rtc", "2026-03-14 15:09:26"],
                       check=True, stdout=subprocess.DEVNULL)
        # Not a prototype board: the test keeps its count to itself.
        with open(os.path.join(self.board, "sim/cpld.bin"), "r+b") as cpld:
            cpld.seek(0x20)
            cpld.write(b"\x20")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket] + list(args), check=True,
                              capture_output=True, text=True).stdout

    def screen(self, window):
        return self.tmux("capture-pane", "-p", "-t", "panel:%d" % window)

    def wait_for(self, text, window=0, timeout=30, count=1):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            screen = self.screen(window)
            if screen.count(text) >= count:
                return screen
            time.sleep(0.1)
        self.fail("%r not on the screen:\n%s" % (text, self.screen(window)))

    def console(self):
        """The console's last line with text above the panel, and whether the panel on the
        window's last line shows the LED lit."""
        lines = self.screen(0).rstrip("\n").split("\n")
        found = PANEL.search(lines[-1])
        self.assertIsNotNone(found, "no panel on the last line:\n" + "\n".join(lines))
        text = [line for line in lines[:-1] if line.strip()]
        return (text[-1] if text else ""), found.group(1) == "LIT"

    def count_blinks(self):
        """Starts an attempt and counts the LED's dark-to-lit changes until the question."""
        self.tmux("send-keys", "-t", "panel:0", "x")
        blinks, lit = 0, False
        capture = os.environ.get("PANEL_CAPTURE")
        deadline = time.monotonic() + 40
        while True:
            tail, now = self.console()
            if tail.startswith("How many times did the LED blink?"):
                return blinks
            self.assertLess(time.monotonic(), deadline, "no question:\n" + self.screen(0))
            if now and not lit:
                blinks += 1
                if blinks == 1 and capture:
                    self.save_captures(capture)
            lit = now
            time.sleep(SAMPLE_SECONDS)

    def save_captures(self, path):
        """Both panels during a blink, for the documentation (PANEL_CAPTURE=FILE)."""
        console = self.screen(0)
        time.sleep(0.3)  # the other panel refreshes five times a second
        with open(path, "w") as f:
            f.write("boardsim run (the console window, the panel on its last line):\n\n")
            f.write(console.rstrip("\n") + "\n\nboardsim panel (another window):\n\n")
            f.write(self.screen(1).rstrip() + "\n")

    def test_the_blinks_counted_on_the_panel_pass_the_physical_presence_test(self):
        self.tmux("new-session", "-d", "-s", "panel", "-x", "100", "-y", "36",
                  "%s run %s --time-scale 1; echo run-exit=$?; sleep 60" % (BOARDSIM, self.board))
        self.wait_for("Option? :")
        self.tmux("new-window", "-t", "panel:1",
                  "%s panel %s; echo panel-exit=$?; sleep 60" % (BOARDSIM, self.board))
        self.wait_for("blue location LED", window=1)
        self.tmux("send-keys", "-t", "panel:0", "p")
        self.wait_for("Do you wish to continue y/N?")
        self.tmux("send-keys", "-t", "panel:0", "y")

        # Wrong answers and further attempts are the console tests' business.
        self.wait_for("Hit a key to start the test.")
        blinks = self.count_blinks()
        self.tmux("send-keys", "-t", "panel:0", str(blinks), "Enter")
        self.wait_for("Correct. Physical presence established and low security mode enabled")
        self.assertTrue(os.path.exists(os.path.join(self.board, "tmp/lowsec")))
        self.assertNotIn("PROTO", self.screen(0))
        # The board's own record of the LED agrees with what the panel showed.
        with open(os.path.join(self.board, "sim/led.log")) as log:
            lit_writes = sum(1 for line in log if line.split()[1:] == ["0x05", "0x00"])
        self.assertEqual(lit_writes, blinks)

        # The run ends with the boot, the terminal whole again; the other panel follows.
        self.wait_for("Option? :", count=2)
        self.tmux("send-keys", "-t", "panel:0", "e")
        screen = self.wait_for("run-exit=3")
        self.assertIsNone(PANEL.search(screen))
        self.wait_for("the board stopped", window=1)
        self.assertFalse(os.path.exists(os.path.join(self.board, "sim/running")))


if __name__ == "__main__":
    unittest.main()
