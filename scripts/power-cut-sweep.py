#!/usr/bin/env python3
"""Power cuts at every point of an install on a simulated board.

    power-cut-sweep.py DIR --scenario FILE [--boardsim PATH] [--imgtool PATH]

Builds the scenario's images, prepares a board in DIR/template with the old ones and boots it
once, then runs the install once to count the events a power cut can fall on (flash erases and
writes, writes under /user: `boardsim fault --help`). For every one of them it restores the
board, cuts there and boots again, once with the drive (or the serial sender) still there and
once with it gone, and records how the board ended: the application reached at once, after a
reinstall and reboot, the rescue menu, or other; and whether the flash partitions and slot files
then hold the new images whole (their bytes compared), and which slot the last boot started.

Prints a table, writes DIR/sweep.csv and DIR/sweep.svg (one cell per cut point and case,
coloured by outcome). Exit status 1 when a cut point with the drive in does not end with the new
images whole and the application running, or one with the drive out ends as "other".

A scenario is a TOML file:
    name = "..."
    install = "usb" | "menu-usb" | "menu-xmodem"   # the boot's USB steps or the rescue menu
    bundle = "FILE"      # its name on the drive (usb, menu-usb)
    slot = 2             # the answer to the installer's slot question (menu-*)
    board = ["kernel.erase_size = 0x1000"]   # lines added to the board's sim/board.conf
    [[old]] / [[new]]    # the images before and the ones installed, in bundle order:
    target = "slot1" | "slot2" | PARTITION
    type = "application" | "kernel" | ...   version = "2.0.0.0"
    payload = "app"      # the demo application, or a number: that many bytes of filler
    filler = 200000      # with "app": a file of that many random bytes added to the application
"""
import argparse
import csv
import io
import os
import random
import re
import select
import shutil
import subprocess
import sys
import tarfile
import tomllib

import pexpect

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEY = os.path.join(ROOT, "keys/sample_production_key.pem")
BOOT_END = re.compile(r"boardsim: boot (\d+): ([a-z ]+?)\r?\n")
BOOTING = re.compile(r"Booting image '(\d)'")
MENU = "Option? : "
OUTCOMES = ("at once", "after reinstall", "rescue menu", "other")
COLOURS = {"at once": "#2e8b57", "after reinstall": "#9acd32", "rescue menu": "#4682b4",
           "other": "#d62728"}


class Sweep:
    def __init__(self, args, scenario):
        self.args = args
        self.s = scenario
        self.dir = os.path.abspath(args.dir)
        self.template = os.path.join(self.dir, "template")
        self.board = os.path.join(self.dir, "board")
        self.drive = os.path.join(self.dir, "drive")
        self.images = os.path.join(self.dir, "images")

    def boardsim(self, *args):
        subprocess.run([self.args.boardsim] + list(args), check=True, stdout=subprocess.DEVNULL)

    # --- images -------------------------------------------------------------------------
    def payload(self, entry):
        if entry.get("payload", "app") == "app":
            # The demo application, with as many bytes as `filler` asks that gzip cannot shrink.
            filler = entry.get("filler", 0)
            path = os.path.join(self.images, "app-%d.tar.gz" % filler)
            with tarfile.open(path, "w:gz") as tar:
                tar.add(os.path.join(ROOT, "sim/demo-app/home"), "home",
                        filter=lambda t: setattr(t, "uid", 0) or setattr(t, "gid", 0) or t)
                if filler:
                    info = tarfile.TarInfo("home/filler")
                    info.size = filler
                    tar.addfile(info, io.BytesIO(random.Random(filler).randbytes(filler)))
            return path
        path = os.path.join(self.images, "filler-%d" % entry["payload"])
        with open(path, "wb") as f:
            f.write((bytes(range(251)) * (entry["payload"] // 251 + 1))[:entry["payload"]])
        return path

    def sub_image(self, entry, name):
        out = os.path.join(self.images, name)
        subprocess.run([self.args.imgtool, "build", out, "--add",
                        "%s:%s:%s" % (entry["type"], entry["version"], self.payload(entry)),
                        "--sign", KEY], check=True, stdout=subprocess.DEVNULL)
        with open(out, "rb") as f:
            return f.read()

    def put(self, board, target, image):
        if target.startswith("slot"):
            os.makedirs(os.path.join(board, "user/images"), exist_ok=True)
            with open(os.path.join(board, "user/images/image" + target[4:]), "wb") as f:
                f.write(image)
        else:
            path = os.path.join(self.images, "put.bin")
            with open(path, "wb") as f:
                f.write(image)
            self.boardsim("flash", board, "write", target, path)

    def whole(self, board):
        for target, image in self.new:
            if target.startswith("slot"):
                path = os.path.join(board, "user/images/image" + target[4:])
                if not os.path.exists(path):
                    return False
                with open(path, "rb") as f:
                    if f.read() != image:
                        return False
            else:
                with open(os.path.join(board, "sim/flash/%s.bin" % target), "rb") as f:
                    if f.read(len(image)) != image:
                        return False
        return True

    def prepare(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.images)
        os.makedirs(self.drive)
        self.new = [(n["target"], self.sub_image(n, "new-%d.img" % i))
                    for i, n in enumerate(self.s["new"])]
        self.bundle = os.path.join(self.images, "bundle.img")
        with open(self.bundle, "wb") as f:
            f.write(b"".join(image for _, image in self.new))
        if self.s["install"] != "menu-xmodem":
            shutil.copy(self.bundle, os.path.join(self.drive, self.s["bundle"]))
        self.boardsim("create", self.template, "--usb", "on", "--rtc", "2026-07-03 14:05:09")
        with open(os.path.join(self.template, "sim/board.conf"), "a") as conf:
            conf.writelines(line + "\n" for line in self.s.get("board", []))
        for i, old in enumerate(self.s.get("old", [])):
            self.put(self.template, old["target"], self.sub_image(old, "old-%d.img" % i))
        # A first boot leaves what every later one finds: the key files, the summary.
        ends, _ = self.run(self.template, 1)
        if ends != ["application started"]:
            sys.exit("%s: the prepared board does not boot: %s" % (self.s["name"], ends))

    def restore(self, with_drive):
        shutil.rmtree(self.board, ignore_errors=True)
        subprocess.run(["cp", "-a", "--reflink=auto", self.template, self.board], check=True)
        if with_drive and self.s["install"] != "menu-xmodem":
            self.boardsim("usb", self.board, "attach", self.drive)

    # --- boots --------------------------------------------------------------------------
    def run(self, board, boots, install=False):
        """Boots the board; the boot ends as boardsim tells. In a boot that installs through the
        rescue menu the operator's steps are taken; any other menu is left with Reboot."""
        child = pexpect.spawn(self.args.boardsim, ["run", board, "--no-panel", "--boots",
                                                   str(boots)], encoding="latin-1",
                              env={"PATH": os.environ["PATH"]}, timeout=60)
        # The last boot's console, for a look at a cut point that went wrong.
        child.logfile_read = open(os.path.join(self.dir, "console.log"), "w")
        ends, menus = [], 0
        steps = self.menu_steps() if install and self.s["install"] != "usb" else []
        while True:
            expected = [BOOT_END, pexpect.EOF, pexpect.TIMEOUT,
                        re.escape(steps[0][0] if steps else MENU), BOOTING]
            i = child.expect(expected)
            if i == 4:
                self.booted = child.match.group(1)
            elif i == 0:
                ends.append(child.match.group(2))
            elif i == 1:
                break
            elif i == 2:
                ends.append("hung")
                child.terminate(force=True)
                break
            elif steps:
                _, send = steps.pop(0)
                if send == "SX":
                    child.send("\r")
                    self.send_with_sx(child)
                else:
                    child.send(send)
            else:
                menus += 1
                child.send("r")
        child.close()
        return ends, menus

    def menu_steps(self):
        slot = "%d\n" % self.s.get("slot", 2)
        if self.s["install"] == "menu-usb":
            number = sorted(os.listdir(self.drive)).index(self.s["bundle"]) + 1
            get = [(MENU, "u"), ("(q to quit): ", "%d\n" % number)]
        else:
            get = [(MENU, "x"), ("download.\r\n", "SX"), ("Waiting for the <ENTER> key to be hit...", "\n")]
        return get + [("just boot image): ", slot), (MENU, "e")]

    def send_with_sx(self, child):
        # socat feeds sx through pipes; handed the terminal it would change its settings.
        sx = subprocess.Popen(["socat", "-b", "4096", "-", "EXEC:sx -k " + self.bundle],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        fd, out = child.child_fd, sx.stdout.fileno()
        while sx.poll() is None:
            ready, _, _ = select.select([fd, out], [], [], 0.5)
            if fd in ready:
                try:
                    sx.stdin.write(os.read(fd, 4096))
                    sx.stdin.flush()
                except (BrokenPipeError, OSError):
                    pass
            if out in ready:
                data = os.read(out, 4096)
                if data:
                    os.write(fd, data)
        sx.wait()

    def install_boot(self, cut):
        self.restore(with_drive=True)
        if self.s["install"] != "usb":
            self.boardsim("env", self.board, "diagnostics=rescue")
        if cut:
            self.boardsim("fault", self.board, "--power-cut", str(cut))
        return self.run(self.board, 1, install=True)[0]

    def after(self, with_drive):
        """The boots after a cut, and how the board ends."""
        menu_install = self.s["install"] != "usb"
        if menu_install:
            self.boardsim("env", self.board, "diagnostics=none")
        if not with_drive:
            self.boardsim("usb", self.board, "detach")
        self.booted = "-"
        ends, menus = self.run(self.board, 1 if menu_install else 3)
        if ends[:1] == ["application started"] and not menus:
            outcome = "at once"
        elif not menus and ends[:2] == ["rebooted", "application started"]:
            outcome = "after reinstall"
        elif menus:
            outcome = "rescue menu"
        else:
            outcome = "other"
        in_force = self.booted in self.slots() or not self.slots()
        if menu_install and with_drive and not (outcome == "at once" and in_force and
                                                self.whole(self.board)):
            # The operator installs again from the menu, and the board boots on from there.
            self.boardsim("env", self.board, "diagnostics=rescue")
            again, _ = self.run(self.board, 1, install=True)
            self.boardsim("env", self.board, "diagnostics=none")
            ends, menus = self.run(self.board, 1)
            outcome = ("after reinstall" if again == ["application started"] and
                       ends == ["application started"] and not menus else "other")
        return outcome, self.whole(self.board), self.booted

    def slots(self):
        """The slots the new images go to: the board should then start one of them."""
        return [target[4:] for target, _ in self.new if target.startswith("slot")]

    def sweep(self):
        self.prepare()
        events = os.path.join(self.board, "sim/power-events")
        ends = self.install_boot(0)
        with open(events) as f:
            count = int(f.read())
        if not self.whole(self.board) or ends[-1:] not in (["application started"],
                                                           ["rebooted"]):
            sys.exit("%s: the install without a cut fails: %s" % (self.s["name"], ends))
        rows = []
        for cut in range(1, count + 1):
            ends = self.install_boot(cut)
            if ends != ["power cut"]:
                sys.exit("%s: cut %d did not fire: %s" % (self.s["name"], cut, ends))
            cut_state = os.path.join(self.dir, "cut")
            shutil.rmtree(cut_state, ignore_errors=True)
            subprocess.run(["cp", "-a", "--reflink=auto", self.board, cut_state], check=True)
            drive_in = self.after(True)
            shutil.rmtree(self.board)
            os.rename(cut_state, self.board)
            drive_out = self.after(False)
            rows.append((cut,) + drive_in + drive_out)
            print("cut %d/%d: %s" % (cut, count, rows[-1][1:]), file=sys.stderr, flush=True)
        return rows


def report(name, rows, directory, slots):
    print("\n%s: %d cut points" % (name, len(rows)))
    print("%5s  %-16s %-5s %-5s  %-16s %-5s %-5s" % ("cut", "drive in", "whole", "slot",
                                                    "drive out", "whole", "slot"))
    for cut, a, aw, at, b, bw, bt in rows:
        print("%5d  %-16s %-5s %-5s  %-16s %-5s %-5s" % (cut, a, "yes" if aw else "no", at, b,
                                                        "yes" if bw else "no", bt))
    for label, col in (("drive in", 1), ("drive out", 4)):
        counts = ", ".join("%s %d (new images whole %d)" % (
            o, sum(r[col] == o for r in rows), sum(r[col] == o and r[col + 1] for r in rows))
            for o in OUTCOMES if any(r[col] == o for r in rows))
        print("%s: %s" % (label, counts))
    with open(os.path.join(directory, "sweep.csv"), "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["cut", "drive_in", "drive_in_whole", "drive_in_slot", "drive_out",
                      "drive_out_whole", "drive_out_slot"])
        for cut, a, aw, at, b, bw, bt in rows:
            out.writerow([cut, a, int(aw), at, b, int(bw), bt])
    cell, left = 12, 80
    width = max(left + cell * len(rows) + 10, 560)
    svg = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="120" '
           'font-family="sans-serif" font-size="11">' % width,
           '<text x="4" y="14">%s: one cell per cut point; pale: new images not whole</text>'
           % name]
    for row, (label, col) in enumerate((("drive in", 1), ("drive out", 4))):
        y = 24 + row * (cell + 6)
        svg.append('<text x="4" y="%d">%s</text>' % (y + 10, label))
        for i, r in enumerate(rows):
            svg.append('<rect x="%d" y="%d" width="%d" height="%d" fill="%s" fill-opacity="%s">'
                       '<title>cut %d: %s%s</title></rect>' % (
                           left + i * cell, y, cell - 1, cell, COLOURS[r[col]],
                           "1" if r[col + 1] else "0.35", r[0], r[col],
                           "" if r[col + 1] else ", not whole"))
    for i, o in enumerate(OUTCOMES):
        x = 4 + i * 130
        svg.append('<rect x="%d" y="80" width="10" height="10" fill="%s"/>'
                   '<text x="%d" y="89">%s</text>' % (x, COLOURS[o], x + 14, o))
    svg.append("</svg>")
    with open(os.path.join(directory, "sweep.svg"), "w") as f:
        f.write("\n".join(svg) + "\n")
    missed = [r[0] for r in rows if r[1] not in ("at once", "after reinstall") or not r[2] or
              (slots and r[3] not in slots)]
    other = [r[0] for r in rows if r[4] == "other"]
    if missed:
        print("drive in: cut points without the new images whole and in force: %s"
              % missed)
    if other:
        print("drive out: cut points that end as other: %s" % other)
    return not missed and not other


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[1],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dir")
    parser.add_argument("--scenario", required=True)
    parser.add_argument("--boardsim", default=os.path.join(ROOT, "build/host/tools/boardsim/boardsim"))
    parser.add_argument("--imgtool", default=os.path.join(ROOT, "build/host/tools/imgtool/imgtool"))
    args = parser.parse_args()
    with open(args.scenario, "rb") as f:
        scenario = tomllib.load(f)
    sweep = Sweep(args, scenario)
    rows = sweep.sweep()
    return 0 if report(scenario["name"], rows, os.path.abspath(args.dir), sweep.slots()) else 1


if __name__ == "__main__":
    sys.exit(main())
