#!/usr/bin/env python3
"""Playback into native Wayland windows on headless GNOME (mutter, GNOME
Shell) and KDE (KWin): a full-screen logging window (logwin.py) reports what
reaches it.

usage: run_routes.py BUILD_DIR [TEST_NAME...]
BUILD_DIR holds quorvane and qv_route_probe (the routes driven directly).
Prints one line per test and finally "RESULT passed failed"."""
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import desktops as D  # noqa: E402

BUILD = None
LOGWIN = os.path.join(HERE, "logwin.py")
MODIFIERS = {"Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Alt_R",
             "ISO_Level3_Shift", "Meta_L", "Super_L"}

# evdev codes
KEY_Q, KEY_Y, KEY_Z, KEY_H, KEY_I, KEY_7 = 16, 21, 44, 35, 23, 8
KEY_LEFTSHIFT, KEY_RIGHTALT = 42, 100
BTN_LEFT, BTN_RIGHT = 0x110, 0x111

# What the basic recording must deliver, in order: a click into the window,
# Shift+H, i, a left click at 640,512, a right click at 700,600, one wheel
# notch down and q.
BASIC_EXPECTED = ["button 1 100 100", "key H", "key i", "button 1 640 512",
                  "button 3 700 600", "wheel down", "key q"]
GERMAN_EXPECTED = ["button 1 100 100", "key z", "key y", "key Z", "key at", "key 7", "key slash"]


def tap(code):
    return [f"k {code} 1", f"k {code} 0"]


def click(x, y, button):
    return [f"m {x} {y}", f"b {button} 1", f"b {button} 0"]


BASIC_SCRIPT = (click(100, 100, BTN_LEFT) + [f"k {KEY_LEFTSHIFT} 1"] + tap(KEY_H) + [f"k {KEY_LEFTSHIFT} 0"]
                + tap(KEY_I) + click(640, 512, BTN_LEFT) + click(700, 600, BTN_RIGHT) + ["a 0 120"]
                + tap(KEY_Q))
# On a German layout: the keys at the places of US y and z, Shift with the
# first, AltGr+Q, 7 and Shift+7.
GERMAN_SCRIPT = (click(100, 100, BTN_LEFT) + tap(KEY_Y) + tap(KEY_Z)
                 + [f"k {KEY_LEFTSHIFT} 1"] + tap(KEY_Y) + [f"k {KEY_LEFTSHIFT} 0"]
                 + [f"k {KEY_RIGHTALT} 1"] + tap(KEY_Q) + [f"k {KEY_RIGHTALT} 0"]
                 + tap(KEY_7) + [f"k {KEY_LEFTSHIFT} 1"] + tap(KEY_7) + [f"k {KEY_LEFTSHIFT} 0"])


class Window:
    """The logging window, read line by line with deadlines."""

    def __init__(self, desk, monitor=None):
        args = ["python3", LOGWIN, "60"] + ([str(monitor)] if monitor is not None else [])
        self.proc = desk.spawn(args, env={"GDK_BACKEND": "wayland"}, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.buf = b""
        self.lines = []
        self.wait(lambda ls: any(x.startswith("mapped") for x in ls), 15, "the window to map")

    def pump(self, timeout):
        r, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not r:
            return
        chunk = os.read(self.proc.stdout.fileno(), 65536)
        if not chunk:
            raise D.Failure("the logging window ended: " + " | ".join(self.lines))
        self.buf += chunk
        while b"\n" in self.buf:
            line, self.buf = self.buf.split(b"\n", 1)
            self.lines.append(line.decode(errors="replace"))

    def wait(self, cond, seconds, what):
        end = time.monotonic() + seconds
        while not cond(self.lines):
            left = end - time.monotonic()
            if left <= 0:
                raise D.Failure(f"timed out waiting for {what}; window saw: " + " | ".join(self.lines))
            self.pump(left)

    def events(self):
        """The log without modifier presses, wheel lines made one kind: GTK
        reports a notch from mutter both as a discrete step and as a smooth
        scroll, from KWin as a smooth scroll only (1.5 steps a notch)."""
        discrete = any(x.startswith("scroll ") for x in self.lines)
        out = []
        for line in self.lines:
            w = line.split()
            if w[0] in ("mapped", "focus") or (w[0] == "key" and w[1] in MODIFIERS):
                continue
            if w[0] == "scroll":
                out.append("wheel " + w[1])
            elif w[0] == "smooth":
                dy = float(w[2])
                if not discrete and abs(dy) >= 1:
                    out.append("wheel " + ("down" if dy > 0 else "up"))
            else:
                out.append(line)
        return out


def expect_sequence(win, expected, seconds=15):
    win.wait(lambda _: len(win.events()) >= len(expected) or
             (win.events() and win.events()[-1] == expected[-1]), seconds, expected[-1])
    got = win.events()
    if got != expected:
        raise D.Failure(f"expected {expected}, got {got}")


def probe(desk, route, script, expect_note=None):
    """Drives the route directly; returns the probe's report."""
    path = os.path.join(desk.runtime, "probe-input")
    with open(path, "w") as f:
        f.write("\n".join(script + ["s 200"]) + "\n")
    os.chmod(path, 0o644)
    rc, out = desk.run(["sh", "-c", f'exec "$0" {route} < "$1"', desk.exe, path])
    if rc != 0:
        raise D.Failure(f"route probe exit {rc}: {out.strip()}")
    if expect_note is not None and (expect_note not in out):
        raise D.Failure(f"route note lacks '{expect_note}': {out.strip()}")
    return out


def own_copy(desk, name="qv_route_probe"):
    """A copy of the probe the test user may run, at a path new to KWin."""
    d = D._private_dir(desk.tag, "bin")
    desk.dirs.append(d)
    dst = os.path.join(d, name)
    shutil.copy(os.path.join(BUILD, name), dst)
    D._chown_tree(d)
    desk.exe = dst
    return d


def timing(out):
    for line in out.splitlines():
        if line.startswith(("open ", "calls ")):
            print("   ", line.split(": ")[0])


# ---- the tests ---------------------------------------------------------

def test_mutter_probe():
    desk = D.start_mutter("m1")
    try:
        own_copy(desk)
        win = Window(desk)
        out = probe(desk, "gnome", BASIC_SCRIPT, expect_note="")
        if "relative" in out:
            raise D.Failure("absolute moves expected with PipeWire: " + out)
        expect_sequence(win, BASIC_EXPECTED)
        timing(out)
    finally:
        desk.stop()


def test_mutter_no_pipewire_probe():
    desk = D.start_mutter("m2", pipewire=False)
    try:
        own_copy(desk)
        win = Window(desk)
        probe(desk, "gnome", BASIC_SCRIPT, expect_note="relative moves")
        expect_sequence(win, BASIC_EXPECTED)
    finally:
        desk.stop()


def test_mutter_second_monitor_probe():
    # The window fills the second monitor (right of the first): a click at
    # layout 1280+300,200 lands at 300,200 in it.
    desk = D.start_mutter("m3", monitors=("1280x1024", "1024x768"))
    try:
        own_copy(desk)
        win = Window(desk, monitor=1)
        probe(desk, "gnome", click(1580, 200, BTN_LEFT) + click(1280 + 1023, 767, BTN_RIGHT))
        expect_sequence(win, ["button 1 300 200", "button 3 1023 767"])
    finally:
        desk.stop()


def test_gnome_shell_german_probe():
    desk = D.start_mutter("g1", layout="de")
    try:
        own_copy(desk)
        win = Window(desk)
        probe(desk, "gnome", GERMAN_SCRIPT)
        expect_sequence(win, GERMAN_EXPECTED)
    finally:
        desk.stop()


def test_kwin_probe():
    desk = D.start_kwin("k1")
    try:
        own_copy(desk)
        win = Window(desk)
        out = probe(desk, "kde", BASIC_SCRIPT)
        expect_sequence(win, BASIC_EXPECTED)
        entries = os.listdir(os.path.join(desk.env["XDG_DATA_HOME"], "applications"))
        if len(entries) != 1:
            raise D.Failure(f"one hidden entry expected, found {entries}")
        timing(out)
        # A second start finds its entry and does not write another.
        out = probe(desk, "kde", ["m 10 10"])
        entries = os.listdir(os.path.join(desk.env["XDG_DATA_HOME"], "applications"))
        if len(entries) != 1:
            raise D.Failure(f"a second entry was written: {entries}")
        timing(out)
    finally:
        desk.stop()


TESTS = [(n[5:], f) for n, f in sorted(globals().items()) if n.startswith("test_")]


def main():
    global BUILD
    BUILD = os.path.abspath(sys.argv[1])
    names = sys.argv[2:]
    passed = failed = 0
    for name, fn in TESTS:
        if names and name not in names:
            continue
        t0 = time.monotonic()
        try:
            fn()
            passed += 1
            print(f"PASS {name} ({time.monotonic() - t0:.1f} s)", flush=True)
        except D.Failure as e:
            failed += 1
            print(f"FAIL {name}: {e}", flush=True)
        except Exception:
            failed += 1
            print(f"FAIL {name}: {traceback.format_exc()}", flush=True)
    print(f"RESULT {passed} {failed}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
