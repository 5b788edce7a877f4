#!/usr/bin/env python3
"""The program plays recordings into a full-screen native window on headless
GNOME (mutter, GNOME Shell) and KDE (KWin), through their own routes:
mutter's remote desktop and KWin's fake input.

usage: run_gnome_kde.py BUILD_DIR [TEST_NAME...]
BUILD_DIR holds quorvane and qv_route_probe (the routes driven directly,
for their timings). Prints one line per test and "RESULT passed failed"."""
import os
import re
import struct
import subprocess
import sys
import time
import traceback

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import wl_harness as H  # noqa: E402
import wl_gnome_kde as G  # noqa: E402

ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
BUILD = None
WM_KEYDOWN, WM_KEYUP, WM_MOUSEMOVE = 0x100, 0x101, 0x200
WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL = 0x201, 0x202, 0x204, 0x205, 0x20A
MODIFIERS = {"Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Alt_R", "ISO_Level3_Shift",
             "Meta_L", "Super_L"}
# Virtual-key code: scan code of its place on a PC keyboard.
SCAN = {0x10: 0x2A, 0x11: 0x1D, 0x12: 0x38, 0xA2: 0x1D, 0xA5: 0x38, 0x48: 0x23, 0x49: 0x17, 0x51: 0x10,
        0x59: 0x2C, 0x5A: 0x15, 0x37: 0x08}


def rec(events):
    """(kind, a, b) with kinds move/ldown/lup/rdown/rup (a, b = x, y), down/up
    (a = virtual-key code), wheel (a = delta); 100 ms apart."""
    out = b""
    t = 7_000_000
    msgs = {"move": WM_MOUSEMOVE, "ldown": WM_LBUTTONDOWN, "lup": WM_LBUTTONUP, "rdown": WM_RBUTTONDOWN,
            "rup": WM_RBUTTONUP, "down": WM_KEYDOWN, "up": WM_KEYUP, "wheel": WM_MOUSEWHEEL}
    for kind, a, b in events:
        t += 100
        if kind in ("down", "up"):
            out += struct.pack("<5I", msgs[kind], a | SCAN[a] << 8, SCAN[a], t, 0)
        else:
            out += struct.pack("<5I", msgs[kind], a & 0xFFFFFFFF, b, t, 0)
    return out


def click(x, y, button="l"):
    return [("move", x, y), (button + "down", x, y), (button + "up", x, y)]


def tap(*vks):
    return [("down", v, 0) for v in vks] + [("up", v, 0) for v in reversed(vks)]


# A click into the window, Shift+H, i, a left click at 640,512, a right
# click at 700,600, one wheel notch down and q.
BASIC = rec(click(100, 100) + tap(0x10, 0x48) + tap(0x49) + click(640, 512) + click(700, 600, "r")
            + [("wheel", -120, 0)] + tap(0x51))
BASIC_SEEN = ["button 1 100 100", "key H", "key i", "button 1 640 512", "button 3 700 600", "wheel down",
              "key q"]
# As a German keyboard records z, y, Z, @ (AltGr: Ctrl and right Alt, with
# Q), 7 and /.
ALTGR_Q = ([("down", v, 0) for v in (0x11, 0x12, 0xA2, 0xA5, 0x51)]
           + [("up", v, 0) for v in (0x11, 0x12, 0xA2, 0xA5, 0x51)])
GERMAN = rec(click(100, 100) + tap(0x5A) + tap(0x59) + tap(0x10, 0x5A) + ALTGR_Q + tap(0x37) + tap(0x10, 0x37))
GERMAN_SEEN = ["button 1 100 100", "key z", "key y", "key Z", "key at", "key 7", "key slash"]


def seen(logger):
    """Presses in order, modifiers left out; a wheel notch once, whether GTK
    got it as a discrete step (mutter, which adds a smooth one beside it)
    or as a smooth scroll only (KWin: 1.5 steps a notch)."""
    lines = logger.lines()
    discrete = any(ln[0] == "scroll" for ln in lines)
    out = []
    for ln in lines:
        if ln[0] == "key" and ln[1] == "press" and ln[2] not in MODIFIERS:
            out.append(f"key {ln[2]}")
        elif ln[0] == "button" and ln[1] == "press":
            out.append(f"button {ln[2]} {ln[3]} {ln[4]}")
        elif ln[0] == "scroll":
            out.append(f"wheel {ln[1]}")
        elif ln[0] == "smooth" and not discrete and abs(float(ln[2])) >= 1:
            out.append("wheel " + ("down" if float(ln[2]) > 0 else "up"))
    return out


def play(comp, exe, data, expected, monitor=0, **env):
    """Plays data with the program at exe into a logging window; checks
    that the window saw expected, in order. Returns the program's log."""
    logger = H.Logger(comp, monitor)
    prog = None
    try:
        path = comp.folder.put("play.rec", data)
        prog = H.start_program(comp, exe, path, **env)
        done = H.wait_until(lambda: len(seen(logger)) >= len(expected) or prog.poll() is not None, 20.0, 0.05)
        # Anything more that was on its way.
        time.sleep(0.3)
        got = seen(logger)
        H.check(done and got == expected,
                f"expected {expected}\n      got {got}\n      program: {H.program_log(comp)[-800:]}")
        return H.program_log(comp)
    finally:
        H.stop(prog)
        logger.stop()


def probe_timings(comp, route):
    """The route driven directly: its open and per-event cost."""
    script = "\n".join(["m 100 100", "k 42 1", "k 42 0"] * 100 + ["f"]) + "\n"
    path = comp.folder.put("probe.txt", script.encode())
    exe = comp.folder.put("qv_route_probe", src=os.path.join(BUILD, "qv_route_probe"), mode=0o755)
    r = H.run_as_user(["sh", "-c", f'exec "$0" {route} < "$1"', exe, path], comp.env(), timeout=30)
    H.check(r.returncode == 0, f"route probe: {r.stdout}{r.stderr}")
    for line in r.stdout.splitlines():
        print("    " + line.split(" why:")[0].split(": ")[0] if line.startswith("open") else "    " +
              line.split(" why:")[0])


def with_desktop(cls, fn, before=None, **start):
    """fn(comp) on a desktop of class cls; before(folder) runs first and
    returns more arguments for its start."""
    folder = H.Folder()
    comp = cls(folder)
    try:
        if before:
            start.update(before(folder))
        comp.start(**start)
        fn(comp)
    except H.Failure as e:
        raise H.Failure(f"{e}\n{comp.tail()}")
    finally:
        comp.stop()
        folder.remove()


def program_copy(comp):
    return comp.folder.put("quorvane", src=os.path.join(BUILD, "quorvane"), mode=0o755)


# ---- the tests ---------------------------------------------------------

def test_mutter_play():
    """mutter with PipeWire: absolute moves through a linked screen cast."""
    def body(comp):
        play(comp, program_copy(comp), BASIC, BASIC_SEEN)
        probe_timings(comp, "mutter")
    with_desktop(G.Mutter, body)


def test_mutter_without_pipewire():
    """No PipeWire, so no screen cast: moves relative from the corner,
    exact on the one monitor."""
    def body(comp):
        play(comp, program_copy(comp), BASIC, BASIC_SEEN)
        r = H.run_as_user(["sh", "-c", 'echo "m 1 1" | exec "$0" mutter',
                           comp.folder.put("qv_route_probe", src=os.path.join(BUILD, "qv_route_probe"),
                                           mode=0o755)], comp.env())
        H.check("relative moves" in r.stdout and "PipeWire" in r.stdout, f"the route says what it lacks: {r.stdout}")
    with_desktop(G.Mutter, body, pipewire=False)


def test_mutter_second_monitor():
    """Two monitors side by side: clicks recorded on the second land there."""
    def body(comp):
        data = rec(click(1580, 200) + click(1280 + 1023, 767, "r"))
        play(comp, program_copy(comp), data, ["button 1 1580 200", "button 3 2303 767"], monitor=1)
    with_desktop(G.Mutter, body, monitors=("1280x1024", "1024x768"))


def test_gnome_shell_german():
    """A German keymap (GNOME Shell sets it from the input sources)."""
    def body(comp):
        play(comp, program_copy(comp), GERMAN, GERMAN_SEEN)
    with_desktop(G.GnomeShell, body, layout="de")


def install_prefix(folder):
    """The program installed to a prefix of the test's own, not the one
    the build was configured for."""
    prefix = os.path.join(folder.work, "prefix")
    r = subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], capture_output=True, text=True)
    H.check(r.returncode == 0, f"cmake --install: {r.stdout}{r.stderr}")
    for root, dirs, files in os.walk(prefix):
        for n in dirs + files:
            H.own_dir(os.path.join(root, n))
    H.own_dir(prefix)
    return prefix


def test_kwin_installed():
    """KWin, the program installed to another prefix and started from there:
    it writes a hidden desktop entry for its own path, which KWin reads."""
    def body(comp):
        prefix = install_prefix(comp.folder)
        exe = os.path.join(prefix, "bin", "quorvane")
        installed = open(os.path.join(prefix, "share", "applications", "quorvane.desktop")).read()
        H.check(f"Exec={exe} " in installed and "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" in installed,
                f"the installed entry names the installed program:\n{installed}")
        H.check(comp.entries() == [], f"no entries before: {comp.entries()}")
        play(comp, exe, BASIC, BASIC_SEEN)
        entries = comp.entries()
        H.check(len(entries) == 1 and re.fullmatch(r"quorvane-[0-9a-f]{16}\.desktop", entries[0]),
                f"one hidden entry written: {entries}")
        text = open(os.path.join(comp.dirs["XDG_DATA_HOME"], "applications", entries[0])).read()
        H.check(f'Exec="{exe}" %f' in text and "NoDisplay=true" in text, f"the hidden entry:\n{text}")
        # A second start finds it and writes no other.
        play(comp, exe, BASIC, BASIC_SEEN)
        H.check(comp.entries() == entries, f"no second entry: {comp.entries()}")
        probe_timings(comp, "kwin")
    with_desktop(G.Kwin, body)


def test_kwin_installed_entry():
    """Where the desktop's data folders hold the installed entry, KWin reads
    it and the program writes no entry of its own."""
    prefix = []

    def before(folder):
        prefix.append(install_prefix(folder))
        return {"data_dirs": [os.path.join(prefix[0], "share"), "/usr/local/share", "/usr/share"]}

    def body(comp):
        play(comp, os.path.join(prefix[0], "bin", "quorvane"), BASIC, BASIC_SEEN)
        H.check(comp.entries() == [], f"no hidden entry: {comp.entries()}")
    with_desktop(G.Kwin, body, before=before)


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
        except H.Failure as e:
            failed += 1
            print(f"FAIL {name}: {e}", flush=True)
        except Exception:
            failed += 1
            print(f"FAIL {name}: {traceback.format_exc()}", flush=True)
    print(f"RESULT {passed} {failed}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
