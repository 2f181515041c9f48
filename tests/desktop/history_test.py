#!/usr/bin/env python3
"""The play history in the real startvelk, on the desktop of desktop_test.py (Xvfb, openbox,
AT-SPI, xdotool): a favourite marked with Ctrl+D, two games started (one ends at once with status
3), the statistics line, the failed start in the status bar, the Last Run dialog, the reasons in
the rows and their tool tips, the Favourite Games and Recently Played views, the export; and a
second run in a copy of the folder that only starts the two games leaves a StartVELK.ini byte for
byte the same.

Run it inside `dbus-run-session`; it exits with 77 (skipped) when a tool it needs is missing.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

from desktop_test import (FAILURES, SKIPPED, Desktop, check, label_holding, screen_reader_or_skip,
                          start_program, stop_program, wait_for)

TITLE = "StartVELK 0.9.1 [3 of 3 games]"


def make_folder(path):
    """Three games: Space Racer II plays for a second, Quick Fail ends at once with status 3,
    Moon Patrol X has only its driver."""
    os.makedirs(os.path.join(path, "ScreenShots"))
    velk = os.path.join(path, "velk.exe")
    with open(velk, "w") as f:
        f.write('#!/bin/sh\nif [ "$1" = qf ]; then echo "qf: no ROM found"; exit 3; fi\n'
                'echo "VELK $*"\nsleep 1\n')
    os.chmod(velk, 0o755)
    with open(os.path.join(path, "readme.txt"), "w", newline="") as f:
        f.write("VELK\r\n\r\ngameslist:\r\nSpace Racer II | spcrcr2\r\nQuick Fail | qf\r\n"
                "Moon Patrol X | moonpx\r\n")
    for game, files in (("spcrcr2", 4), ("qf", 3), ("moonpx", 0)):
        os.makedirs(os.path.join(path, game))
        for name in [game + ".vlk"] + [f"rom{i}.bin" for i in range(files)]:
            with open(os.path.join(path, game, name), "w") as f:
                f.write("r")
    stamp = time.localtime(os.stat(velk).st_mtime)
    date = time.strftime("%Y-%m-%d %H:%M:", stamp) + "%02d" % (stamp.tm_sec - stamp.tm_sec % 2)
    with open(os.path.join(path, "StartVELK.ini"), "w", newline="") as f:
        f.write("[StartVELK]\r\nVersion=version.dll\r\nNumOfGames=4\r\nEmuExeDate=" + date +
                "\r\nAltRomPath=\r\n\r\n[Window]\r\nLGLPos=2\r\n\r\n"
                "[Game0]\r\nName=Default\r\nZipName=Default\r\n\r\n"
                "[Game1]\r\nName=Space Racer II\r\nZipName=spcrcr2\r\n\r\n"
                "[Game2]\r\nName=Quick Fail\r\nZipName=qf\r\n\r\n"
                "[Game3]\r\nName=Moon Patrol X\r\nZipName=moonpx\r\n\r\n")


class Session:
    """The program in a folder, with what the screen reader and the keyboard reach of it."""

    def __init__(self, args, desktop, reader, folder):
        self.desktop, self.reader, self.folder = desktop, reader, folder
        self.process = start_program(args.program, folder, desktop, 1)
        self.main = desktop.window_named(TITLE, 40)
        self.app = reader.app_of(self.process.pid) if self.main else None
        self.frame = reader.find(self.app, "frame", TITLE) if self.app else None

    def ready(self):
        return self.frame is not None

    def item(self, name):
        return self.reader.find(self.frame, "list item", name)

    def rows(self):
        games = self.reader.find(self.frame, "list", "Games")
        if games is None:
            return []
        games.clear_cache()
        return [games.get_child_at_index(i).get_name() for i in range(games.get_child_count())]

    def click(self, name):
        x, y, w, h = self.reader.extents(self.item(name))
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                       env=self.desktop.env)
        time.sleep(0.3)

    def play(self, name, quick=False):
        """Starts the game and waits until its run is over; a quick one may be over before the
        Start button could be seen to name it."""
        self.click(name)
        self.desktop.key("Return")
        running = quick or wait_for(lambda: self.reader.find(self.frame, "push button",
                                                             "Running: " + name), 20)
        if quick:
            time.sleep(1.0)
        return running is not None and wait_for(
            lambda: self.reader.find(self.frame, "push button", "Start VELK Arcade Emulator"),
            30) is not None

    def statistics(self):
        line = self.reader.find(self.frame, "label", "Play statistics")
        return line.get_description() if line else None

    def tool_tip(self, name):
        """The text of the tool tip that the row shows under the mouse."""
        x, y, w, h = self.reader.extents(self.item(name))
        for dx in (0, 4):
            subprocess.run(["xdotool", "mousemove", str(x + w // 2 + dx), str(y + h // 2)],
                           env=self.desktop.env)
            time.sleep(0.2)
        tip = wait_for(lambda: self.reader.find_where(
            self.app, lambda n: n.get_role_name() == "tool tip"), 5)
        text = tip.get_name() if tip else None
        subprocess.run(["xdotool", "mousemove", "5", "5"], env=self.desktop.env)
        return text

    def close(self):
        self.desktop.key("ctrl+q")
        try:
            return self.process.wait(20)
        except subprocess.TimeoutExpired:
            return stop_program(self.process)


def history_run(args, folder, reader, desktop):
    s = Session(args, desktop, reader, folder)
    if not check(s.ready(), f"the program comes up: {list(desktop.windows().values())}"):
        return
    moon = "Not available: folder moonpx holds only 1 file, no moonpx.zip in " + folder
    said = [s.item(n).get_description() for n in ("Moon Patrol X", "Quick Fail", "Space Racer II")]
    check(said == [moon, "Installed: folder qf holds 4 files",
                   "Installed: folder spcrcr2 holds 5 files"],
          f"each row's description says why it has its mark: {said}")
    tip = s.tool_tip("Moon Patrol X")
    check(tip is not None and moon in tip and "Not played yet" in tip,
          f"the row's tool tip says why, and its statistics: {tip!r}")

    s.click("Space Racer II")
    desktop.key("ctrl+d")
    reader.pump(0.3)
    check(s.item("Space Racer II").get_description() ==
          "favourite; Installed: folder spcrcr2 holds 5 files",
          "Ctrl+D marks the selected game a favourite, which its description says")
    check(s.play("Space Racer II"), "Space Racer II plays and its run ends")
    stats = s.statistics() or ""
    check(stats.startswith("Played once, for 1 s, on "),
          f"the statistics line counts the play: {stats!r}")

    check(s.play("Quick Fail", quick=True), "Quick Fail is started and ends at once")
    failed = "Last start failed: exit status 3, after 0 s"
    check(wait_for(lambda: label_holding(reader, s.frame, failed), 5) is not None,
          "the status bar says that the start failed, with its exit status")
    stats = s.statistics() or ""
    check(stats == failed + "; Not played yet, 1 failed start",
          f"the statistics line shows the failed start, not a play: {stats!r}")
    tip = s.tool_tip("Quick Fail") or ""
    check(failed in tip and "Installed: folder qf holds 4 files" in tip,
          f"the row's tool tip shows it too: {tip!r}")

    s.click("Quick Fail")
    desktop.key("alt+t")
    desktop.key("l")
    dialog = desktop.window_named("Last Run", 10)
    report = reader.find(s.app, "text", "Last run") if dialog else None
    text = reader.text(report) if report else ""
    flat = " ".join(text.split())
    for part in ("Last run of Quick Fail (qf)", "Result: failed start: exit status 3, after 0 s",
                 "Exit status: 3 ", "Command line: batch.bat qf", "Working folder: " + folder,
                 "Archive: none (an installed game)", "velk.exe %1 %2 %3 %4 %5 > VELKStart.txt",
                 "Emulator output (the last 200 lines of VELKStart.txt): qf: no ROM found"):
        check(part in flat, f"the Last Run dialog says {part!r}")
    copy = reader.find(s.app, "push button", "Copy")
    check(copy is not None, "the Last Run dialog has its Copy button")
    desktop.key("Escape")
    wait_for(lambda: "Last Run" not in desktop.windows().values(), 5)

    desktop.key("alt+v")
    desktop.key("f")
    check(wait_for(lambda: s.rows() == ["Space Racer II"], 5) is not None,
          f"Favourite Games lists the favourite: {s.rows()}")
    desktop.key("alt+v")
    desktop.key("r")
    check(wait_for(lambda: s.rows() == ["Quick Fail", "Space Racer II"], 5) is not None,
          f"Recently Played lists the games started, the latest first: {s.rows()}")
    desktop.shot(os.path.join(args.shots, "recently-played.png"))

    exported = os.path.join(folder, "..", "export.csv")
    desktop.key("alt+f")
    desktop.key("e")
    if check(desktop.window_named("Export Play History", 10) is not None,
             "File offers Export Play History"):
        desktop.key("ctrl+a")
        subprocess.run(["xdotool", "type", "--delay", "20", exported], env=desktop.env)
        desktop.key("Return")
        wait_for(lambda: os.path.exists(exported), 10)
    lines = open(exported, encoding="utf-8-sig", newline="").read().split("\r\n") if \
        os.path.exists(exported) else []
    check(len(lines) == 4 and lines[0].startswith("Short name,Name,Favourite,Times played") and
          lines[1] == "spcrcr2,Space Racer II,yes,1,1," + lines[1].split(",")[5] + ",0" and
          lines[1].split(",")[5][10:11] == "T" and lines[2] == "qf,Quick Fail,no,0,0,,1",
          f"the export has a line per game played: {lines}")
    check(s.close() == 0, "the program ends when its window is closed")


def plain_run(args, folder, reader, desktop):
    s = Session(args, desktop, reader, folder)
    if not check(s.ready(), "the program comes up in the folder copied before the first run"):
        return
    s.play("Space Racer II")
    s.play("Quick Fail", quick=True)
    s.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--shots", default=".", help="where the screenshots of the runs go")
    args = parser.parse_args()
    reader = screen_reader_or_skip()
    if reader is None:
        return SKIPPED
    os.makedirs(args.shots, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        first, second = os.path.join(work, "first"), os.path.join(work, "second")
        make_folder(first)
        shutil.copytree(first, second, copy_function=shutil.copy2)
        desktop = Desktop(1024, 768)
        try:
            history_run(args, first, reader, desktop)
            plain_run(args, second, reader, desktop)
        finally:
            desktop.close()
        ini = [open(os.path.join(f, "StartVELK.ini"), "rb").read() for f in (first, second)]
        check(ini[0] == ini[1] and b"All=1" in ini[0] and b"LGLPos=1" in ini[0],
              "StartVELK.ini is byte for byte what a run without the history leaves")
        check(os.path.exists(os.path.join(first, "StartVELK.history")),
              "the history lives in a file of its own beside it")
    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
