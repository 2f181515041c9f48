#!/usr/bin/env python3
"""The real startvelk on a real desktop: Xvfb with the openbox window manager and the
accessibility bus, driven by real key presses (xdotool) and read as the window manager (xprop),
a screen reader (AT-SPI) and the screen (ImageMagick's import) see it.

Runs of the program in generated emulator folders:
1. at scale 1: exact window titles, the order of the focus under Tab, the keyboard on the
   toolbar, the About box's links, the default-settings mode, the game list's check marks and
   the Play button's screen-reader action;
2. at scale 2, started maximised: the toolbar's picture drawn at twice the pixels (compared with
   run 1) and, after the window manager restores the window, the saved normal size unchanged;
3. a newcomer's way in (with the demo emulator): started away from the emulator, the folder
   chosen; one instance per folder; a running game that shows, its console window and its
   pictures; the deletion question; the list as a screen reader reads it; a window closed while a
   zipped game runs; a switch to another emulator folder;
4. under a Wayland compositor (weston on Xvfb) with an X display that cannot be reached: the
   window comes up natively, and focusing it again and again saves a copied picture once.

Run it inside `dbus-run-session`; it exits with 77 (skipped) when a tool it needs is missing.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
TOOLS = ["Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import", "convert"]
FAILURES = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        FAILURES.append(what)
    return condition


def wait_for(probe, timeout=30.0, step=0.1):
    """The first true value of probe() within timeout seconds, else None."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() > deadline:
            return value or None
        time.sleep(step)


# --------------------------------------------------------------------------------------------
# The desktop: an X server of its own with a window manager


class Desktop:
    def __init__(self, width, height):
        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x24",
             "-dpi", "96", "-nolisten", "tcp", "-noreset"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        self.env = dict(os.environ, DISPLAY=":" + number)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))

    def run(self, *words):
        return subprocess.run(words, env=self.env, capture_output=True, text=True).stdout

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--clearmodifiers", "--delay", "60", *keys],
                       env=self.env, check=True)
        time.sleep(0.15)

    def windows(self):
        """{window id: _NET_WM_NAME} of the windows the window manager manages."""
        listing = self.run("xprop", "-root", "_NET_CLIENT_LIST")
        if "#" not in listing:
            return {}
        names = {}
        for wid in listing.split("#", 1)[1].replace(",", " ").split():
            line = self.run("xprop", "-id", wid, "_NET_WM_NAME")
            if "=" in line:
                names[wid] = line.split("=", 1)[1].strip().strip('"')
        return names

    def window_named(self, name, timeout=20.0):
        return wait_for(lambda: next((w for w, n in self.windows().items() if n == name), None),
                        timeout)

    def grab(self, x, y, w, h):
        """The luminance of a screen rectangle, as rows of floats."""
        ppm = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}",
                              "+repage", "-depth", "8", "ppm:-"], env=self.env, capture_output=True).stdout
        fields, pos = [], 0
        while len(fields) < 4:  # P6, width, height, maximum; then one whitespace byte
            while ppm[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not ppm[pos:pos + 1].isspace():
                pos += 1
            fields.append(ppm[start:pos])
        pos += 1
        width, height = int(fields[1]), int(fields[2])
        data = ppm[pos:]
        return [[0.299 * data[3 * (r * width + c)] + 0.587 * data[3 * (r * width + c) + 1]
                 + 0.114 * data[3 * (r * width + c) + 2] for c in range(width)]
                for r in range(height)]

    def shot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env)

    def close(self):
        for process in (self.wm, self.server):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()


def centre_square(x, y, w, h):
    """The square in the middle of a button, as wide as the button is high: the buttons of the
    toolbar share its width, the picture stays in the middle."""
    return x + (w - h) // 2, y, h, h


def edge_energy(image):
    """Sum of squared differences between neighbours: a sharp edge scores twice a smeared one."""
    total = 0.0
    for r in range(len(image) - 1):
        for c in range(len(image[0]) - 1):
            total += (image[r][c + 1] - image[r][c]) ** 2 + (image[r + 1][c] - image[r][c]) ** 2
    return total


def upscale2(image):
    """image at twice its size, interpolated linearly: what a picture drawn at 1x looks like."""
    h, w = len(image), len(image[0])
    out = []
    for r in range(2 * h):
        y = min(max((r + 0.5) / 2 - 0.5, 0), h - 1)
        y0, fy = int(y), y - int(y)
        y1 = min(y0 + 1, h - 1)
        row = []
        for c in range(2 * w):
            x = min(max((c + 0.5) / 2 - 0.5, 0), w - 1)
            x0, fx = int(x), x - int(x)
            x1 = min(x0 + 1, w - 1)
            top = image[y0][x0] * (1 - fx) + image[y0][x1] * fx
            bottom = image[y1][x0] * (1 - fx) + image[y1][x1] * fx
            row.append(top * (1 - fy) + bottom * fy)
        out.append(row)
    return out


# --------------------------------------------------------------------------------------------
# The screen reader's view


class ScreenReader:
    def __init__(self):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, GLib
        self.Atspi, self.GLib = Atspi, GLib
        Atspi.init()
        self.focused = []
        self.listener = Atspi.EventListener.new(self._on_focus)
        self.listener.register("object:state-changed:focused")

    def _on_focus(self, event):
        if event.detail1 == 1:
            self.focused.append(event.source)

    def pump(self, seconds):
        context = self.GLib.MainContext.default()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            while context.pending():
                context.iteration(False)
            time.sleep(0.02)

    def app(self, name, timeout=30.0):
        def probe():
            desktop = self.Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                child = desktop.get_child_at_index(i)
                if child is not None and child.get_name() == name:
                    return child
            return None
        return wait_for(probe, timeout, 0.3)

    def app_of(self, pid, timeout=30.0):
        """The accessible application of the process pid."""
        def probe():
            desktop = self.Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                child = desktop.get_child_at_index(i)
                try:
                    if child is not None and child.get_process_id() == pid:
                        return child
                except Exception:
                    continue
            return None
        return wait_for(probe, timeout, 0.3)

    def text(self, node):
        node.clear_cache()
        return self.Atspi.Text.get_text(node, 0, -1)

    def find_where(self, root, accept):
        """The first object below root for which accept(node) holds."""
        stack = [root]
        while stack:
            node = stack.pop()
            if node is None:
                continue
            try:
                node.clear_cache()
                if accept(node):
                    return node
                stack.extend(node.get_child_at_index(i)
                             for i in reversed(range(node.get_child_count())))
            except Exception:
                continue
        return None

    def find(self, root, role, name, showing_only=False):
        """The first object of the role (AT-SPI role name) and name below root."""
        stack = [root]
        while stack:
            node = stack.pop()
            if node is None:
                continue
            try:
                node.clear_cache()
                if node.get_role_name() == role and node.get_name() == name:
                    if not showing_only or "showing" in self.states(node):
                        return node
                stack.extend(node.get_child_at_index(i)
                             for i in reversed(range(node.get_child_count())))
            except Exception:
                continue
        return None

    def states(self, node):
        node.clear_cache()
        return {s.value_nick for s in node.get_state_set().get_states()}

    def actions(self, node):
        return [self.Atspi.Action.get_action_name(node, i)
                for i in range(self.Atspi.Action.get_n_actions(node))]

    def act(self, node, action):
        names = self.actions(node)
        return action in names and self.Atspi.Action.do_action(node, names.index(action))

    def extents(self, node):
        box = self.Atspi.Component.get_extents(node, self.Atspi.CoordType.SCREEN)
        return box.x, box.y, box.width, box.height

    def focus_after(self, press, seconds=2.0):
        """The name of the object that has the focus after press(), as the focus events tell."""
        self.focused.clear()
        press()
        deadline = time.monotonic() + seconds
        while not self.focused and time.monotonic() < deadline:
            self.pump(0.05)
        self.pump(0.1)
        if not self.focused:
            return None
        node = self.focused[-1]
        try:
            return node.get_name() or node.get_role_name()
        except Exception:
            return None


# --------------------------------------------------------------------------------------------
# The program


def make_emulator_dir(path, window_section):
    os.makedirs(os.path.join(path, "ScreenShots"))
    with open(os.path.join(path, "velk.exe"), "w") as f:
        f.write("#!/bin/sh\necho VELK \"$@\"\nsleep 1\n")
    os.chmod(os.path.join(path, "velk.exe"), 0o755)
    with open(os.path.join(path, "readme.txt"), "w", newline="") as f:
        f.write("VELK arcade emulator\r\n\r\ngameslist:\r\nSpace Racer II  spcrcr2\r\n"
                "Moon Patrol X | moonpx\r\n")
    for game in ("spcrcr2", "moonpx"):
        os.makedirs(os.path.join(path, game))
        with open(os.path.join(path, game, game + ".vlk"), "w") as f:
            f.write("driver")
    for i in range(4):  # four entries and the driver: installed
        with open(os.path.join(path, "spcrcr2", f"rom{i}.bin"), "w") as f:
            f.write("r")
    shots = os.path.join(path, "ScreenShots")
    subprocess.run(["convert", "-size", "320x240", "xc:navy", "-fill", "yellow", "-draw",
                    "circle 160,120 160,40", os.path.join(shots, "spcrcr200.jpg")], check=True)
    subprocess.run(["convert", "-size", "320x240", "xc:darkred", "-fill", "white", "-draw",
                    "rectangle 60,60 260,180", os.path.join(shots, "spcrcr201.jpg")], check=True)
    # The emulator's date as the settings file keeps it, so that no first-start report appears.
    stamp = time.localtime(os.stat(os.path.join(path, "velk.exe")).st_mtime)
    date = time.strftime("%Y-%m-%d %H:%M:", stamp) + "%02d" % (stamp.tm_sec - stamp.tm_sec % 2)
    with open(os.path.join(path, "StartVELK.ini"), "w", newline="") as f:
        f.write("[StartVELK]\r\nVersion=version.dll\r\nNumOfGames=3\r\nEmuExeDate=" + date +
                "\r\nAltRomPath=\r\n\r\n[Window]\r\nLGLPos=1\r\n" + window_section +
                "\r\n[Screenshot]\r\nTimer=1\r\nPlay=0\r\n\r\n"
                "[Game0]\r\nName=Default\r\nZipName=Default\r\n\r\n"
                "[Game1]\r\nName=Space Racer II\r\nZipName=spcrcr2\r\n\r\n"
                "[Game2]\r\nName=Moon Patrol X\r\nZipName=moonpx\r\n\r\n")


def start_program(program, folder, desktop, scale, *words, env=None):
    env = dict(desktop.env if env is None else env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_SCALE_FACTOR=str(scale), QT_ACCESSIBILITY="1")
    env.setdefault("QT_QPA_PLATFORM", "xcb")
    return subprocess.Popen([program, *words], cwd=folder, env=env)


def stop_program(process):
    process.send_signal(signal.SIGTERM)
    try:
        return process.wait(20)
    except subprocess.TimeoutExpired:
        process.kill()
        return None


def read_ini(folder):
    with open(os.path.join(folder, "StartVELK.ini"), newline="") as f:
        return f.read()


TITLE = "StartVELK 0.9.1 [2 of 2 games]"
TOOLBAR = ["Play", "Pause", "Previous", "Next", "Set Timer", "Delete Screenshot",
           "Hide Controls"]


def first_run(args, work, reader):
    folder = os.path.join(work, "run1")
    make_emulator_dir(folder, "")
    desktop = Desktop(1024, 768)
    program = start_program(args.program, folder, desktop, 1)
    picture = None
    try:
        main = desktop.window_named(TITLE, 40)
        if not check(main is not None, f"the main window's title is exactly {TITLE!r}: "
                     f"{list(desktop.windows().values())}"):
            return None
        icons = re.findall(r"Icon \((\d+) x (\d+)\)", xprop_of(desktop, main, "_NET_WM_ICON"))
        check(icons == [(s, s) for s in ("16", "32", "48", "64", "128")],
              f"the window manager sees the program icon at every size ({icons})")
        app = reader.app("StartVELK")
        if not check(app is not None, "the program is on the accessibility bus"):
            return None
        frame = reader.find(app, "frame", TITLE)

        # The game list as a screen reader hears it: a check mark exactly for the available game.
        racer = reader.find(frame, "list item", "Space Racer II")
        moon = reader.find(frame, "list item", "Moon Patrol X")
        check(racer is not None and "checked" in reader.states(racer),
              "the installed game's row is checked")
        check(moon is not None and "checked" not in reader.states(moon),
              "the absent game's row is not checked")
        check(moon is not None and "Toggle" in reader.actions(moon),
              "rows are checkable (they offer the toggle)")
        start = reader.find(frame, "push button", "Start VELK Arcade Emulator")
        check(start is not None and "is-default" in reader.states(start),
              "the Start button is announced as the default button")

        # Focus order under Tab, from the game list round to it again.
        subprocess.run(["xdotool", "windowactivate", "--sync", str(int(main, 16))],
                       env=desktop.env)
        reader.pump(0.5)
        order = []
        for _ in range(16):  # room for controls that other parts of the window add
            name = reader.focus_after(lambda: desktop.key("Tab"))
            order.append(name)
            if name == "Play":
                desktop.key("space")
                play = reader.find(frame, "check box", "Play")
                check(play is not None and "checked" in reader.states(play),
                      "Space on the focused Play button starts the slide show")
                desktop.key("shift+Tab")
                desktop.key("Tab")
            if name in ("Space Racer II", "Games") and len(order) > 2:
                break
        print("     focus order:", order)
        expected = ["Start VELK Arcade Emulator", "Screenshot"] + TOOLBAR
        at = [order.index(n) if n in order else -1 for n in expected]
        check(-1 not in at and at == sorted(at),
              "Tab reaches the Start button, the pages and every toolbar button in order")
        check(order[-1] in ("Space Racer II", "Games"), "Tab comes round to the game list")

        # Enter starts the game; its batch file runs in the program's own console window, which
        # closes when the run ends.
        desktop.key("Return")
        console = "Space Racer II \u2014 VELK"
        check(desktop.window_named(console, 20) is not None,
              "the run shows a console window of its own, titled with the game")
        check(wait_for(lambda: console not in desktop.windows().values(), 20.0),
              "the console window closes when the run ends")
        check(wait_for(lambda: os.path.exists(os.path.join(folder, "VELKStart.txt")), 5.0),
              "the emulator ran and its output went to VELKStart.txt")
        subprocess.run(["xdotool", "windowactivate", "--sync", str(int(main, 16))],
                       env=desktop.env)

        # The toolbar's Next button, for the comparison with the picture at scale 2.
        nxt = reader.find(frame, "push button", "Next")
        if nxt is not None:
            picture = desktop.grab(*centre_square(*reader.extents(nxt)))
        desktop.shot(os.path.join(args.shots, "desktop-scale1.png"))

        # Pause through the screen reader, then Play: the slide show steps on its timer.
        pause = reader.find(frame, "check box", "Pause")
        play = reader.find(frame, "check box", "Play")
        check(pause is not None and reader.act(pause, "Toggle"), "Pause offers its toggle")
        label = reader.find(frame, "label", "spcrcr200.jpg") or reader.find(
            frame, "label", "spcrcr201.jpg")
        shown = label.get_name() if label else None
        reader.pump(1.5)
        label.clear_cache() if label else None
        check(label is not None and label.get_name() == shown, "paused, the picture stays")
        check(play is not None and reader.act(play, "Toggle"), "Play offers its toggle")
        reader.pump(0.3)
        check("checked" in reader.states(play) and "checked" not in reader.states(pause),
              "toggled by a screen reader, Play is down and Pause up")

        def stepped():
            label.clear_cache()
            return label.get_name() != shown
        check(label is not None and wait_for(stepped, 5.0),
              "toggled by a screen reader, Play runs the slide show")
        reader.act(pause, "Toggle")

        # The About box: exact title, OK focused, its links reached by Tab, their menu by key.
        desktop.key("alt+h")
        desktop.key("a")
        about = desktop.window_named("About StartVELK")
        check(about is not None, "the About box's title is exactly 'About StartVELK'")
        if about:
            reader.pump(0.5)
            link = reader.find(app, "link", "SV Team")
            check(link is not None and "Press" in reader.actions(link),
                  "the About box's links are links that a screen reader can follow")
            links = [reader.focus_after(lambda: desktop.key("Tab")) for _ in range(4)]
            print("     About box focus order:", links)
            check(links[:3] == ["SV Team", "VELK Core", "VELK Drivers"] and links[3] == "OK",
                  "Tab reaches the three links and comes back to OK")
            desktop.key("Tab")  # on the first link
            entry = reader.focus_after(lambda: desktop.key("Menu"))
            desktop.shot(os.path.join(args.shots, "about-menu.png"))
            check(entry == "Copy Link Location",
                  f"the menu key on a link opens its menu on 'Copy Link Location' ({entry})")
            desktop.key("Escape")
            desktop.key("Escape")
            check(wait_for(lambda: "About StartVELK" not in desktop.windows().values(), 5.0),
                  "Escape closes the About box")

        # The zip ROM path dialog and a message box: their titles are exactly their captions.
        desktop.key("alt+t")
        desktop.key("r")
        check(desktop.window_named("Zip Rompath") is not None,
              "the zip ROM path dialog's title is exactly 'Zip Rompath'")
        desktop.key("ctrl+a")
        subprocess.run(["xdotool", "type", "--delay", "20", "/no/such/folder"], env=desktop.env)
        desktop.key("Return")
        check(desktop.window_named("Error") is not None,
              "the error box's title is exactly 'Error'")
        desktop.key("Return")
        desktop.key("Escape")
        wait_for(lambda: "Zip Rompath" not in desktop.windows().values(), 5.0)

        # Default-settings mode: the covered box is neither shown nor reached by Tab.
        desktop.key("alt+t")
        desktop.key("d")
        save = wait_for(lambda: reader.find(frame, "push button", "Save Default Settings",
                                            showing_only=True), 5.0)
        check(save is not None, "'Set Default Settings' shows the save button")
        box = reader.find(frame, "check box", "Use Default Settings")
        check(box is not None and "showing" not in reader.states(box),
              "the covered 'Use Default Settings' box is not shown")
        reached = [reader.focus_after(lambda: desktop.key("Tab")) for _ in range(14)]
        check("Use Default Settings" not in reached and "Save Default Settings" in reached,
              "Tab reaches the save button and never the covered box")
        check("scroll pane" not in reached, f"the settings' scroll area is no Tab stop ({reached})")
        reader.act(save, "Press")
    finally:
        code = stop_program(program)
        desktop.close()
    check(code == 0, f"a SIGTERM closes the program normally ({code})")
    check("[Game0]" in read_ini(folder), "the settings are saved at the end")
    return picture


def second_run(args, work, reader, picture):
    folder = os.path.join(work, "run2")
    make_emulator_dir(folder, "Width=640\r\nHeight=420\r\nState=2\r\n")
    desktop = Desktop(1600, 1100)
    program = start_program(args.program, folder, desktop, 2)
    try:
        main = desktop.window_named(TITLE, 40)
        if not check(main is not None, "at scale 2 the main window comes up"):
            return
        app = reader.app("StartVELK")
        frame = reader.find(app, "frame", TITLE) if app else None
        nxt = reader.find(frame, "push button", "Next") if frame else None
        if check(nxt is not None and picture is not None, "the Next button is found at both scales"):
            x, y, w, h = reader.extents(nxt)
            geometry = desktop.run("xwininfo", "-id", main)
            native = int(next(l.split(":")[1] for l in geometry.splitlines() if "Width:" in l))
            fx, fy, fw, fh = reader.extents(frame)
            if abs(fw * 2 - native) < abs(fw - native):  # extents in device-independent pixels
                x, y, w, h = 2 * x, 2 * y, 2 * w, 2 * h
            sharp = desktop.grab(*centre_square(x, y, w, h))
            size_ok = len(sharp) == 2 * len(picture) and len(sharp[0]) == 2 * len(picture[0])
            check(size_ok, f"the toolbar button's picture is twice the size at scale 2 "
                           f"({len(picture[0])}x{len(picture)} -> {len(sharp[0])}x{len(sharp)})")
            if size_ok:
                ratio = edge_energy(sharp) / max(edge_energy(upscale2(picture)), 1.0)
                check(ratio > 1.4, f"its picture is drawn at twice the pixels, not enlarged "
                                   f"(edge energy {ratio:.2f} times an enlarged one)")
        desktop.shot(os.path.join(args.shots, "desktop-scale2-maximised.png"))

        # The window manager restores the window (a double click on its title bar): the saved
        # normal size stays the one it was given, not that plus the frame.
        frame_x = int(next(l.split(":")[1] for l in desktop.run("xwininfo", "-id", main)
                           .splitlines() if "Absolute upper-left X" in l))
        subprocess.run(["xdotool", "mousemove", str(frame_x + 300), "5", "click", "--repeat", "2",
                        "--delay", "80", "1"], env=desktop.env)
        time.sleep(1.5)
        desktop.shot(os.path.join(args.shots, "desktop-scale2.png"))
    finally:
        code = stop_program(program)
        desktop.close()
    check(code == 0, f"a SIGTERM closes the program normally ({code})")
    text = read_ini(folder)
    check("Width=640\r\n" in text and "Height=420\r\n" in text,
          "after a maximised start and a restore the saved normal size is unchanged: " +
          " ".join(l for l in text.splitlines() if l.startswith(("Width", "Height", "State"))))


def place_demo_emulator(folder, demo_velk):
    """The demo emulator as the folder's velk.exe, with the date the settings file knows."""
    exe = os.path.join(folder, "velk.exe")
    stamp = os.stat(exe)
    shutil.copy(demo_velk, exe)
    os.utime(exe, (stamp.st_atime, stamp.st_mtime))


def xprop_of(desktop, wid, name):
    return desktop.run("xprop", "-id", wid, name)


def window_pids(desktop, title):
    pids = []
    for wid, name in desktop.windows().items():
        line = xprop_of(desktop, wid, "_NET_WM_PID")
        if name == title and "=" in line:
            pids.append(int(line.split("=")[1]))
    return pids


def activate(desktop, wid):
    subprocess.run(["xdotool", "windowactivate", "--sync", str(int(wid, 16))], env=desktop.env)
    time.sleep(0.3)


def console_text(reader, title):
    """The text of the console window of that title (the window is the text itself)."""
    desktop = reader.Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        node = reader.find(app, "text", title) if app is not None else None
        if node is not None:
            return node
    return None


def label_holding(reader, root, *parts):
    return reader.find_where(root, lambda n: n.get_role_name() == "label" and
                             all(p in (n.get_name() or "") for p in parts))


def newcomer_run(args, work, reader):
    home = os.path.join(work, "home")
    velk, other, elsewhere = (os.path.join(home, n) for n in ("velk", "other", "elsewhere"))
    for folder in (velk, other):
        make_emulator_dir(folder, "")
        place_demo_emulator(folder, args.demo_velk)
    os.makedirs(elsewhere)
    runtime = os.path.join(work, "runtime")
    os.makedirs(runtime, mode=0o700)
    recent = os.path.join(home, ".config", "startvelk", "recent-folders")
    desktop = Desktop(1024, 768)
    env = dict(desktop.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_RUNTIME_DIR=runtime)
    started = []

    def start(cwd, *words):
        started.append(start_program(args.program, cwd, desktop, 1, *words, env=env))
        return started[-1]

    def read_recent():
        return open(recent).read().split() if os.path.exists(recent) else []

    try:
        # Started away from the emulator, as from the menu: the missing file's box offers the
        # folder dialog, which takes only a folder that holds the emulator.
        first = start(elsewhere)
        app = reader.app_of(first.pid) if desktop.window_named("Error", 40) else None
        check(app is not None and reader.find(app, "push button", "Choose Emulator Folder...")
              is not None, "away from the emulator, the missing file's box offers the folder dialog")
        desktop.key("Return")
        check(desktop.window_named("Browse for Folder") is not None, "... which opens it")
        reader.pump(1.5)
        desktop.key("Right")
        desktop.key("Down")  # the home folder's first folder: elsewhere
        reader.pump(0.5)
        dialog = reader.find(app, "dialog", "Browse for Folder")
        ok = reader.find(dialog, "push button", "OK") if dialog else None
        check(label_holding(reader, app, "velk.exe and readme.txt are missing here") is not None
              and ok is not None and "sensitive" not in reader.states(ok),
              "a folder without the emulator says what it lacks and cannot be chosen")
        subprocess.run(["xdotool", "type", "--delay", "60", "velk"], env=desktop.env)
        reader.pump(0.5)
        check(label_holding(reader, app, "VELK is installed here") is not None and ok is not None
              and "sensitive" in reader.states(ok), "the emulator's folder can be chosen")
        desktop.key("Return")
        main = desktop.window_named(TITLE, 40)
        check(main is not None and read_recent() == [velk],
              f"the chosen folder opens and is remembered ({read_recent()})")
        if main is None:
            return

        # One instance per folder: a second start brings the first back; another folder runs.
        subprocess.run(["xdotool", "windowminimize", "--sync", str(int(main, 16))], env=desktop.env)
        second = start(home)
        try:
            code = second.wait(30)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0 and wait_for(lambda: "HIDDEN" not in xprop_of(desktop, main,
                                                                    "_NET_WM_STATE"), 5.0),
              f"a second start from the home folder shows the first one's window and ends ({code})")
        third = start(home, other)
        check(wait_for(lambda: len(window_pids(desktop, TITLE)) == 2, 40.0) is not None,
              "startvelk FOLDER runs beside the first in another emulator folder")
        check(stop_program(third) == 0 and read_recent() == [velk],
              "a folder named on the command line is not taken as the user's choice")
        first.kill()
        first.wait()
        fourth = start(home)
        check(wait_for(lambda: fourth.pid in window_pids(desktop, TITLE), 40.0) is not None and
              os.readlink(f"/proc/{fourth.pid}/cwd") == velk,
              "a killed instance blocks nothing; from home the program lands in the chosen folder")
        main = next((w for w, n in desktop.windows().items() if n == TITLE), None)
        app = reader.app_of(fourth.pid)
        frame = reader.find(app, "frame", TITLE) if app else None
        if not check(frame is not None and main is not None, "its window is on the bus"):
            return

        # The list as a screen reader reads it while the search field selects games.
        activate(desktop, main)
        desktop.key("ctrl+f")
        reader.pump(0.3)
        reader.focused.clear()
        subprocess.run(["xdotool", "type", "--delay", "80", "moon"], env=desktop.env)
        reader.pump(1.0)
        roles = []
        for node in reader.focused:
            try:
                roles.append(node.get_role_name())
            except Exception:
                pass
        check("list item" not in roles, f"typing in the search keeps the reader there ({roles})")
        search = reader.find_where(frame, lambda n: n.get_name() == "Search games")
        check(search is not None and search.get_description() == "1 of 2 games",
              "the search field tells the count of the games listed")
        desktop.key("Escape")
        moon = reader.find(frame, "list item", "Moon Patrol X")
        racer = reader.find(frame, "list item", "Space Racer II")
        said = [node.get_description() if node else None for node in (moon, racer)]
        check(said == ["Not available: folder moonpx holds only 1 file, no moonpx.zip in " + velk,
                       "Installed: folder spcrcr2 holds 5 files"],
              f"each row says in words why it has its mark {said}")
        entered = reader.focus_after(lambda: desktop.key("Tab"))
        check(entered == "Moon Patrol X", f"tabbing into the list names the selected game ({entered})")

        # A running game shows, in the window and in its console window.
        desktop.key("Down")
        desktop.key("Return")
        console = desktop.window_named("Space Racer II \u2014 VELK", 30)
        check(console is not None and '"StartVELK"' in xprop_of(desktop, console, "WM_CLASS"),
              "the console window is titled with the game and has the program's class")
        game = desktop.window_named("VELK demo - spcrcr2", 30)
        button = wait_for(lambda: reader.find(frame, "push button", "Running: Space Racer II"), 5)
        check(button is not None and "sensitive" not in reader.states(button),
              "the Start button says which game runs and starts nothing")
        activate(desktop, main)
        desktop.key("Up")  # Moon Patrol X selected meanwhile
        desktop.key("Return")
        time.sleep(1.0)
        names = list(desktop.windows().values())
        check("Error" not in names and names.count("VELK demo - spcrcr2") == 1,
              "Enter during the run starts nothing and asks nothing")
        check(label_holding(reader, frame, "Running: Space Racer II") is not None,
              "the status bar names the running game while another is selected")
        desktop.shot(os.path.join(args.shots, "running-game.png"))
        output = console_text(reader, "Space Racer II \u2014 VELK")
        check(output is not None and wait_for(
            lambda: "VELK demo started" in reader.text(output), 5.0) is not None,
            "the console window shows what the emulator writes into VELKStart.txt")
        shots = os.path.join(velk, "ScreenShots")
        if game is not None:
            activate(desktop, game)
            desktop.key("space")
        check(wait_for(lambda: os.path.exists(os.path.join(shots, "spcrcr202.jpg")), 10.0)
              is not None and not os.path.exists(os.path.join(shots, "moonpx01.jpg")),
              "a picture copied during the run is the running game's, whatever is selected")
        if game is not None:
            desktop.key("Escape")
        check(wait_for(lambda: reader.find(frame, "push button", "Start VELK Arcade Emulator"),
                       20.0) is not None, "after the run the Start button starts games again")

        # The deletion question: Enter keeps the picture.
        activate(desktop, main)
        desktop.key("Down")  # Space Racer II, with its pictures
        before = sorted(os.listdir(shots))
        desktop.key("alt+s")
        desktop.key("d")
        asked = desktop.window_named("Confirm", 10)
        desktop.key("Return")
        time.sleep(0.5)
        check(asked is not None and sorted(os.listdir(shots)) == before,
              "Enter on the deletion question keeps the picture (No is the default)")

        # Help's own guide; without a program to open it, a message names what was tried.
        if shutil.which("xdg-open", path=env.get("PATH")) is None:
            desktop.key("alt+h")
            desktop.key("Down", "Down", "Return")  # VELK Readme, VELK Homepage, StartVELK Readme
            box = desktop.window_named("Error", 10)
            check(box is not None and label_holding(reader, app, "Cannot open", "StartVELK.txt")
                  is not None, "a guide that cannot be opened says so, naming it")
            desktop.key("Return")

        # A zipped game, its window closed during the run: the program stays for the clean-up,
        # says so, and a later start in the folder says what it waits for.
        import zipfile
        with zipfile.ZipFile(os.path.join(velk, "moonpx.zip"), "w") as archive:
            for i in range(5):
                archive.writestr(f"moon{i}.rom", "rom")
        activate(desktop, main)
        desktop.key("alt+t")
        desktop.key("c")
        reader.pump(0.5)
        moon = reader.find(frame, "list item", "Moon Patrol X")
        check(moon is not None and moon.get_description() == "Zipped: " + velk + "/moonpx.zip",
              "a zipped game's row says where its archive is")
        desktop.key("ctrl+f")
        desktop.key("Down")
        desktop.key("Home")
        desktop.key("Return")
        game = desktop.window_named("VELK demo - moonpx", 30)
        activate(desktop, main)
        desktop.key("ctrl+q")
        output = console_text(reader, "Moon Patrol X \u2014 VELK")
        check(game is not None and output is not None and wait_for(
            lambda: "will clean up when the game ends" in reader.text(output), 10.0),
            "closed during the run, the program says in the console window that it cleans up")
        fifth = start(home)
        told = desktop.window_named("Information", 30)
        later = reader.app_of(fifth.pid, 10) if told else None
        check(later is not None and label_holding(reader, later, "waits for Moon Patrol X")
              is not None, "a later start says that the first waits for Moon Patrol X")
        desktop.key("Return")
        check(fifth.wait(20) == 0, "... and ends")
        if game is not None:
            activate(desktop, game)
            desktop.key("Escape")
        check(fourth.wait(40) == 0 and not any(n.startswith("moon") and n.endswith(".rom")
                                               for n in os.listdir(os.path.join(velk, "moonpx"))),
              "when the game ends the program cleans up and ends")

        # File > Open Emulator Folder: the settings saved, the program anew in the other folder.
        sixth = start(home)
        main = desktop.window_named(TITLE, 40)
        if main is not None:
            activate(desktop, main)
            desktop.key("ctrl+o")
            check(desktop.window_named("Browse for Folder") is not None,
                  "Ctrl+O opens the folder dialog")
            reader.pump(1.5)
            desktop.key("Left")  # from the open folder to the home folder
            subprocess.run(["xdotool", "type", "--delay", "60", "other"], env=desktop.env)
            reader.pump(0.5)
            desktop.key("Return")
            try:
                code = sixth.wait(30)
            except subprocess.TimeoutExpired:
                code = None

            def restarted():
                return next((p for p in window_pids(desktop, TITLE)
                             if os.readlink(f"/proc/{p}/cwd") == other), None)
            pid = wait_for(restarted, 40.0)
            check(code == 0 and pid is not None and read_recent()[:1] == [other],
                  f"choosing another folder closes the window and starts anew there ({code})")
            if pid:
                os.kill(pid, signal.SIGTERM)
                wait_for(lambda: not os.path.exists(f"/proc/{pid}"), 20.0)
    finally:
        for process in started:
            if process.poll() is None:
                process.kill()
                process.wait()
        desktop.close()


def wayland_run(args, work, reader):
    folder = os.path.join(work, "wayland")
    make_emulator_dir(folder, "")
    place_demo_emulator(folder, args.demo_velk)
    runtime = os.path.join(work, "wayland-runtime")
    os.makedirs(runtime, mode=0o700)
    desktop = Desktop(1024, 768)
    weston = subprocess.Popen(
        ["weston", "--backend=x11-backend.so", "--socket=startvelk-test", "--width=1000",
         "--height=740", "--idle-time=0"], env=dict(desktop.env, XDG_RUNTIME_DIR=runtime),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    program = None
    try:
        compositor = desktop.window_named("Weston Compositor - screen0", 20)
        if not check(compositor is not None, "weston runs on the X server"):
            return
        # DISPLAY names an X server that is not there: X11 is tried first, then Wayland.
        env = dict(desktop.env, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="startvelk-test",
                   DISPLAY=":4097", QT_QPA_PLATFORM="")
        program = start_program(args.program, folder, desktop, 1, env=env)
        app = reader.app_of(program.pid, 40)
        frame = wait_for(lambda: reader.find(app, "frame", TITLE), 10.0) if app else None
        if not check(frame is not None, "with an X display that cannot be reached, the window "
                     "comes up on Wayland"):
            return
        activate(desktop, compositor)
        desktop.key("Return")  # Space Racer II, selected
        time.sleep(4)
        desktop.key("space")  # the emulator, in front, copies a picture
        time.sleep(1)

        def switch(steps):
            subprocess.run(["xdotool", "keydown", "super"] + ["key", "Tab"] * steps +
                           ["keyup", "super"], env=desktop.env)
            time.sleep(1.0)
        # Most recent first: the emulator, the console window, StartVELK. StartVELK gets the focus
        # three times, and each time the compositor announces the selection again.
        switch(2)
        for _ in range(2):
            switch(1)
            switch(1)
        shots = sorted(n for n in os.listdir(os.path.join(folder, "ScreenShots"))
                       if n.startswith("spcrcr2"))
        check(shots == ["spcrcr200.jpg", "spcrcr201.jpg", "spcrcr202.jpg"],
              f"a picture copied once and the window focused three times gives one file ({shots})")
        desktop.shot(os.path.join(args.shots, "wayland.png"))
    finally:
        if program is not None:
            stop_program(program)
        weston.terminate()
        try:
            weston.wait(10)
        except subprocess.TimeoutExpired:
            weston.kill()
        desktop.close()


def quick_closes(args, work):
    """A window closed the moment it appears, before its frame is known, keeps its saved size."""
    folder = os.path.join(work, "run3")
    make_emulator_dir(folder, "Width=626\r\nHeight=725\r\nState=0\r\n")
    desktop = Desktop(1024, 900)
    try:
        for start in range(3):
            program = start_program(args.program, folder, desktop, 1)
            shown = desktop.window_named(TITLE, 40)
            code = stop_program(program)
            if not check(shown is not None and code == 0, f"quick start {start} comes and goes"):
                return
    finally:
        desktop.close()
    sizes = " ".join(l for l in read_ini(folder).splitlines() if l.startswith(("Width", "Height")))
    check(sizes == "Width=626 Height=725", "three starts closed at once keep the saved outer size: "
          + sizes)


def screen_reader_or_skip():
    """The screen reader of the desktop runs, or None (said why) where they cannot run here."""
    missing = [t for t in TOOLS if shutil.which(t) is None]
    if missing or "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        print("skipped: missing " + (", ".join(missing) or "a D-Bus session"))
        return None
    try:
        return ScreenReader()
    except (ImportError, ValueError) as error:
        print(f"skipped: no AT-SPI client library ({error})")
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--shots", default=".", help="where the screenshots of the runs go")
    parser.add_argument("--demo-velk", help="the demo emulator, for the runs that play a game")
    parser.add_argument("unused", nargs="*", help=argparse.SUPPRESS)  # an empty option left by CMake
    args = parser.parse_args()
    reader = screen_reader_or_skip()
    if reader is None:
        return SKIPPED
    os.makedirs(args.shots, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        picture = first_run(args, work, reader)
        second_run(args, work, reader, picture)
        quick_closes(args, work)
        if args.demo_velk:
            newcomer_run(args, work, reader)
            if shutil.which("weston"):
                wayland_run(args, work, reader)
            else:
                print("skipped the Wayland run: no weston")
    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
