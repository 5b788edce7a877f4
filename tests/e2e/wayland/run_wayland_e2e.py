#!/usr/bin/env python3
"""End-to-end playback into native Wayland windows: each test starts a
headless compositor as the test user, a full-screen logging window, and
the program (or a compiled copy of it) on a recording made here, and
compares what the window saw with what was recorded.

The tests named test_each_* run on every compositor wl_harness knows
(COMPOSITORS: sway here; a file comp_NAME.py beside this one that adds a
class to it brings another), as test_each_..._NAME; the others need sway.

usage: run_wayland_e2e.py QUORVANE_BINARY [TEST_NAME...]
Prints one line per test and finally "RESULT passed failed"."""
import glob
import importlib
import os
import shutil
import struct
import sys
import time
import traceback

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wl_harness as H  # noqa: E402
from wl_harness import Failure, check, wait_until  # noqa: E402

WM_KEYDOWN, WM_KEYUP, WM_MOUSEMOVE = 0x100, 0x101, 0x200
WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP = 0x201, 0x202, 0x204, 0x205
WM_MOUSEWHEEL, WM_MOUSEHWHEEL = 0x20A, 0x20E
# Set-1 scan codes of the keys the recordings use, as the recorder stores
# them beside the code.
SCAN = {0x10: 0x2A, 0x11: 0x1D, 0x12: 0x38, 0xA2: 0x1D, 0xA5: 0x38, 0x41: 0x1E, 0x48: 0x23,
        0x49: 0x17, 0x51: 0x10, 0x59: 0x2C, 0x5A: 0x15, 0x37: 0x08}
VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2 = 4, 5, 6
SHIFT = 1  # GDK's Shift bit in the logged modifiers


class Rec:
    """A recording as the recorder writes it: one record per event, time
    stamps gap milliseconds apart."""

    def __init__(self):
        self.records = []
        self.tick = 7_000_000

    def add(self, msg, a, b, gap=60):
        self.tick += gap
        self.records.append(struct.pack("<5I", msg, a & 0xFFFFFFFF, b & 0xFFFFFFFF, self.tick,
                                        0x00400010))
        return self

    def key(self, vk, up=False, gap=60):
        scan = SCAN.get(vk, 0)
        return self.add(WM_KEYUP if up else WM_KEYDOWN, vk + 256 * scan, scan, gap)

    def tap(self, vk, *held):
        for h in held:
            self.key(h)
        self.key(vk).key(vk, up=True)
        for h in reversed(held):
            self.key(h, up=True)
        return self

    def click(self, x, y, right=False):
        down, up = (WM_RBUTTONDOWN, WM_RBUTTONUP) if right else (WM_LBUTTONDOWN, WM_LBUTTONUP)
        return self.add(WM_MOUSEMOVE, x, y).add(down, x, y).add(up, x, y)

    def bytes(self):
        return b"".join(self.records)


def compiled(exe, rec, repeat=1, fast=False):
    """A standalone copy as Compile writes it: the program's image with the
    repeat and speed fields patched, the records after it."""
    image = open(exe, "rb").read()
    for marker, value in ((b"@" * 5, repeat), (b"$" * 5, 1 if fast else 0)):
        i = image.find(marker)
        check(i >= 0, "the program carries its placeholder fields")
        image = image[:i] + b"%05d" % value + image[i + 5:]
    return image + rec.bytes()


class Context:
    """One test's compositor, windows and program."""

    def __init__(self, exe):
        self.exe_src = exe
        self.folder = H.Folder()
        self.comp = None
        self.loggers = []
        self.program = None

    def sway(self, **kw):
        return self.compositor("sway", **kw)

    def compositor(self, name, **kw):
        self.comp = H.COMPOSITORS[name](self.folder).start(**kw)
        return self.comp

    def logger(self, monitor=0):
        lg = H.Logger(self.comp, monitor)
        self.loggers.append(lg)
        return lg

    def program_copy(self, speed=0):
        """The program in the work folder, with settings that skip the
        first-start notice (its box would wait for a click before the
        playback) and keep the toolbar in the top right corner: where a
        compositor keeps it above every window, a click recorded at the
        centre, its default place, would land on it."""
        exe = self.folder.put("quorvane", src=self.exe_src, mode=0o755)
        self.folder.put("quorvane.ini", f"[Quorvane]\nwayland_notice=1\nspeed={speed}\n"
                        f"window_x=1140\nwindow_y=5\n".encode())
        return exe

    def play(self, rec, speed=0, **env):
        exe = self.program_copy(speed)
        self.folder.put("test.rec", rec.bytes())
        self.program = H.start_program(self.comp, exe, "test.rec", **env)
        return self.program

    def play_compiled(self, rec, repeat=1, fast=False, timeout=20, **env):
        """Runs a compiled copy to its end; returns its exit code."""
        exe = self.program_copy()
        player = self.folder.put("player", compiled(exe, rec, repeat, fast), mode=0o755)
        self.program = H.start_program(self.comp, player, **env)
        try:
            return self.program.wait(timeout)
        except Exception:
            raise Failure(f"the compiled copy did not end within {timeout} s:\n"
                          f"{H.program_log(self.comp)[-800:]}")

    def finish(self):
        H.stop(self.program)
        for lg in self.loggers:
            lg.stop()
        if self.comp:
            self.comp.stop()
        self.folder.remove()


def played(lg, start="button", kinds=("key", "button", "scroll")):
    """The logged events of those kinds from the first press of kind start
    on. GTK 3 names a horizontal notch's way the wrong way round on
    Wayland (its smooth deltas have it right): tests of the horizontal
    wheel read the deltas."""
    evs = [e for e in lg.events() if e[0] in kinds]
    first = next((i for i, e in enumerate(evs) if e[0] == start and e[1] == "press"), None)
    return [] if first is None else evs[first:]


def presses(evs):
    return [e for e in evs if e[1] in ("press", "down", "up", "left", "right")]


def wait_events(lg, n, timeout=10.0, start="button", kinds=("key", "button", "scroll")):
    return wait_until(lambda: len(played(lg, start, kinds)) >= n and played(lg, start, kinds),
                      timeout)


def same(evs, expected, what):
    got = [" ".join(e) for e in evs]
    check(got[:len(expected)] == expected,
          f"{what}:\n  expected {expected}\n  got      {got}")
    return got[len(expected):]


BASIC = [
    "button press 1 300 300", "button release 1 300 300",
    "key press Shift_L 0", "key press H 1", "key release H 1", "key release Shift_L 1",
    "key press i 0", "key release i 0",
    "button press 1 640 512", "button release 1 640 512",
    "button press 3 700 600", "button release 3 700 600",
    "scroll down 700 600",
    "key press q 0", "key release q 0",
]


def basic_rec():
    return (Rec().click(300, 300).tap(0x48, 0x10).tap(0x49).click(640, 512)
            .click(700, 600, right=True).add(WM_MOUSEWHEEL, -120, 0).tap(0x51))


def test_each_plays_into_native_window(t, comp):
    """quorvane FILE.rec: a click into the window, Shift+H, i, a left click
    at 640,512, a right click at 700,600, a wheel notch down and q, in order
    and where they were recorded."""
    t.compositor(comp)
    lg = t.logger()
    env, data = {}, None
    if comp == "sway":
        # Not KWin, though it offers two of KDE's protocols: no desktop
        # entry for KWin's fake input is written (the user's data folder).
        data = os.path.join(t.folder.root, "data")
        os.makedirs(data)
        H.own_dir(data)
        env["XDG_DATA_HOME"] = data
    t.play(basic_rec(), **env)
    expected, kinds = BASIC, ("key", "button", "scroll")
    notch = getattr(t.comp, "wheel_notch_down", None)  # a wheel GTK sees as smooth only
    if notch:
        expected = [f"{notch} 700 600" if e.startswith("scroll") else e for e in BASIC]
        kinds = ("key", "button", "smooth")
    check(wait_events(lg, len(expected), kinds=kinds), f"the window sees the whole recording: {lg.events()}\n"
          f"{H.program_log(t.comp)[-600:]}")
    rest = same(played(lg, kinds=kinds), expected, "played events")
    # The end of the pass lets go of the left button wherever the pointer is.
    check(all(e.startswith("button release 1") for e in rest), f"nothing else arrives: {rest}")
    moves = lg.moves()
    for p in ((300, 300), (640, 512), (700, 600)):
        check(p in moves, f"the pointer passes {p}: {moves}")
    # The toolbar, mapped meanwhile, never took the keyboard from it.
    focus = [" ".join(ln) for ln in lg.lines() if ln[0] == "focus"]
    check("focus out" not in focus, f"the window keeps the keyboard: {focus}")
    if data:
        check(not os.listdir(data), f"nothing written to the data folder: {os.listdir(data)}")


def test_sway_buttons_and_wheels(t):
    """Middle and both side buttons, and the horizontal wheel both ways."""
    t.sway()
    lg = t.logger()
    rec = Rec().click(200, 200).add(WM_MOUSEMOVE, 400, 300)
    for vk in (VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2):
        rec.key(vk).key(vk, up=True)
    rec.add(WM_MOUSEHWHEEL, 120, 0).add(WM_MOUSEHWHEEL, -240, 0).add(WM_MOUSEWHEEL, 120, 0)
    t.play(rec)
    expected = ["button press 1 200 200", "button release 1 200 200",
                "button press 2 400 300", "button release 2 400 300",
                "button press 8 400 300", "button release 8 400 300",
                "button press 9 400 300", "button release 9 400 300",
                "smooth 1.5 0 400 300", "smooth -3 0 400 300", "smooth 0 -1.5 400 300"]
    kinds = ("button", "smooth")
    check(wait_events(lg, len(expected), kinds=kinds), f"the window sees every button: {lg.events()}")
    same(played(lg, kinds=kinds), expected, "buttons and wheels")


def test_sway_fast_repeat_and_release(t):
    """A compiled copy at fast speed, three passes: every pass's clicks and
    keys arrive, thinned moves still end where recorded, and each pass ends
    with nothing held although the recording leaves Shift, a key and the
    left button down."""
    t.sway()
    lg = t.logger()
    rec = Rec().click(100, 100)
    for i in range(1, 13):  # a run of moves, thinned at fast speed
        rec.add(WM_MOUSEMOVE, 100 + 40 * i, 100 + 30 * i, gap=15)
    rec.click(600, 500).tap(0x41)
    rec.key(0x10).key(0x41).add(WM_MOUSEMOVE, 650, 520).add(WM_LBUTTONDOWN, 650, 520)
    code = t.play_compiled(rec, repeat=3, fast=True)
    check(code == 0, f"the copy ends with 0, not {code}")
    evs = played(lg)
    one = ["button press 1 100 100", "button release 1 100 100",
           "button press 1 600 500", "button release 1 600 500",
           "key press a 0", "key release a 0",
           "key press Shift_L 0", "key press A 1", "button press 1 650 520"]
    got = [" ".join(e) for e in evs]
    for n in range(3):
        part = got[:len(one)]
        check(part == one, f"pass {n + 1}:\n  expected {one}\n  got      {part}\n  all {got}")
        got = got[len(one):]
        # Released before the next pass (or at the end): the key, Shift and
        # the button, in whatever order the release walks them.
        released = []
        while got and "release" in got[0]:
            released.append(got.pop(0))
        names = sorted(" ".join(x.split()[:3]).lower() for x in released)
        check(names == ["button release 1", "key release a", "key release shift_l"],
              f"pass {n + 1} ends with the key, Shift and the button let go: {released}")
    check(not got, f"nothing after the third pass: {got}")
    # Of the run, only the moves at list positions 6 and 12 are played (the
    # run goes on into the next click's move); GTK merges motions of one
    # frame, so a played one may be missing, but no thinned one appears.
    moves = lg.moves()
    check((500, 400) in moves, f"the move at position 12 arrives: {moves}")
    thinned = [(100 + 40 * i, 100 + 30 * i) for i in range(1, 13) if i not in (4, 10)]
    check(not set(thinned) & set(moves), f"thinned moves stay out: {moves}")


def test_sway_stop_key_lets_go_of_everything(t):
    """A stop in the middle of a pass: a played Pause is a stop key the
    program reads back (the only keys it can read on Wayland are its own).
    What the recording held, Shift, a key and the left button, is let go,
    and nothing after the stop is played."""
    t.sway()
    lg = t.logger()
    rec = Rec().click(300, 300).key(0x10).key(0x41).add(WM_MOUSEMOVE, 400, 400)
    rec.add(WM_LBUTTONDOWN, 400, 400).key(0x13, gap=100).tap(0x51)
    rec.add(WM_MOUSEMOVE, 600, 600).add(WM_LBUTTONDOWN, 600, 600).add(WM_LBUTTONUP, 600, 600)
    t.play(rec)
    held = ["button press 1 300 300", "button release 1 300 300", "key press Shift_L 0",
            "key press A 1", "button press 1 400 400", "key press Pause 1"]
    check(wait_events(lg, len(held) + 4), f"the window sees the stop: {lg.events()}")
    # The records after the stop were due within 0.3 s of it: none may come.
    time.sleep(0.5)
    rest = same(played(lg), held, "played up to the stop")
    names = sorted(" ".join(x.split()[:3]).lower() for x in rest)
    check(names == ["button release 1", "key release a", "key release pause",
                    "key release shift_l"],
          f"the stop lets go of all that was held and plays nothing more: {rest}")


def test_each_german_layout(t, comp):
    """A German keymap: a German recording types z, y, Z, @ (AltGr+Q), 7
    and /."""
    t.compositor(comp, layout="de")
    lg = t.logger()
    rec = Rec().click(300, 300).tap(0x5A).tap(0x59).tap(0x5A, 0x10)
    # AltGr as the recorder writes it: Ctrl and Alt, then their left and
    # right codes.
    rec.tap(0x51, 0x11, 0x12, 0xA2, 0xA5).tap(0x37).tap(0x37, 0x10)
    t.play(rec)
    want = ["z", "y", "Z", "at", "7", "slash"]
    modifiers = {"Shift_L", "Shift_R", "Control_L", "Alt_L", "ISO_Level3_Shift", "Alt_R"}

    def typed():
        return [e[2] for e in played(lg) if e[0] == "key" and e[1] == "press"
                and e[2] not in modifiers]
    wait_until(lambda: len(typed()) >= len(want), 10)
    check(typed() == want, f"typed {typed()}, expected {want}; all: {lg.events()}")
    # The toolbar at its saved place 1140,5 above the full-screen window: a
    # layer surface, or (GNOME Shell) an Xwayland window kept above, which
    # the shell keeps below its top bar's strip.
    shot = screenshot(t.comp, f"{comp}-toolbar")
    check(any(caption_blue(pixel(shot, 1142, y)) for y in range(7, 60)),
          f"the toolbar's caption shows above the full-screen window near 1140,5: "
          f"{[pixel(shot, 1142, y) for y in range(7, 60, 4)]}")
    check(not caption_blue(pixel(shot, 640, 512)), "and the window shows elsewhere")


def test_sway_second_output(t):
    """A second output right of the first: a click recorded there lands
    there, on the window full screen on it."""
    t.sway()
    t.comp.add_output()
    left = t.logger(0)
    right = t.logger(1)
    ox, oy = right.origin[:2]
    check(ox >= 1280, f"the second output is right of the first: {right.origin}")
    t.play(Rec().click(ox + 200, oy + 300).click(500, 400))
    check(wait_events(right, 2), f"the second output's window sees the click: {right.events()}")
    same(played(right), [f"button press 1 {ox + 200} {oy + 300}",
                         f"button release 1 {ox + 200} {oy + 300}"], "second output")
    check(wait_events(left, 2), f"the first output's window sees its click: {left.events()}")
    same(played(left), ["button press 1 500 400", "button release 1 500 400"], "first output")


def screenshot(comp, name):
    """The whole desktop by grim, or by the desktop's own service where the
    compositor has one (screenshot()), as (width, height, rgb bytes); a
    PNG copy goes to QV_E2E_SHOTS when that names a folder."""
    path = os.path.join(comp.folder.root, name + ".ppm")
    png = os.path.join(comp.folder.root, name + ".png")
    shots = os.environ.get("QV_E2E_SHOTS")
    if hasattr(comp, "screenshot"):
        comp.screenshot(path, png)
    else:
        r = H.run_as_user(["grim", "-t", "ppm", path], comp.env())
        check(r.returncode == 0, f"grim: {r.stderr}")
        if shots:
            H.run_as_user(["grim", png], comp.env())
    if shots:
        os.makedirs(shots, exist_ok=True)
        shutil.copy(png, shots)
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:  # P6, width, height, maxval
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def pixel(shot, x, y):
    w, _, rgb = shot
    i = 3 * (y * w + x)
    return tuple(rgb[i:i + 3])


def caption_blue(p):
    """The toolbar's caption strip: a dark blue no logging window shows."""
    r, g, b = p
    return b > 90 and r < 100 and b > r + 50


def command(t, verb):
    return H.run_as_user([t.folder.work + "/quorvane", verb], H.program_env(t.comp), timeout=15)


def test_sway_toolbar_above_full_screen_and_commands(t):
    """The toolbar is a layer surface above a full-screen window, at its saved
    place; started with a file it plays into the focused window without
    taking the focus; --play and --stop from a second start reach it, and
    with no toolbar they say so and exit 1."""
    t.sway()
    lg = t.logger()
    # i at once, then q three seconds later: time to stop in between.
    rec = Rec().tap(0x49).key(0x51, gap=3000).key(0x51, up=True)
    exe = t.program_copy()
    t.folder.put("quorvane.ini", b"[Quorvane]\nwayland_notice=1\nwindow_x=400\nwindow_y=60\n")
    t.folder.put("test.rec", rec.bytes())
    t.program = H.start_program(t.comp, exe, "test.rec")
    typed = lambda n: wait_until(lambda: len([e for e in lg.events()  # noqa: E731
                                              if e[:3] == ["key", "press", "i"]]) >= n, 10)
    check(typed(1), f"the playback asked for at start types into the focused window: "
          f"{lg.events()}\n{H.program_log(t.comp)[-600:]}")
    check(["focus", "out"] not in lg.lines(), f"the window keeps the focus: {lg.lines()[:8]}")
    shot = screenshot(t.comp, "sway-toolbar")
    check(caption_blue(pixel(shot, 400 + 2, 60 + 2)),
          f"the toolbar's caption shows at its saved place 400,60 above the full-screen window: "
          f"{pixel(shot, 402, 62)}")
    check(not caption_blue(pixel(shot, 640, 512)), "and the window shows elsewhere")
    r = command(t, "--stop")
    check(r.returncode == 0, f"--stop is delivered: {r.returncode} {r.stderr}")
    time.sleep(3.5)
    check(not [e for e in lg.events() if e[:3] == ["key", "press", "q"]],
          f"the stopped playback types nothing more: {lg.events()}")
    r = command(t, "--play")
    check(r.returncode == 0, f"--play is delivered: {r.returncode} {r.stderr}")
    check(typed(2), f"--play plays the recording again: {lg.events()}")
    r = command(t, "--stop")
    check(r.returncode == 0, f"--stop is delivered again: {r.stderr}")
    time.sleep(3.5)
    check(not [e for e in lg.events() if e[:3] == ["key", "press", "q"]], "stopped again")
    check(["focus", "out"] not in lg.lines(), f"the window never lost the focus: {lg.lines()[:8]}")
    H.stop(t.program)
    r = command(t, "--play")
    check(r.returncode == 1 and "no Quorvane toolbar runs" in r.stderr,
          f"without a toolbar --play exits 1 and says why: {r.returncode} {r.stderr!r}")



# Recording on Wayland: its cases join these (its helpers stay its own).
import wl_record_tests  # noqa: E402

globals().update({k: v for k, v in vars(wl_record_tests).items() if k.startswith("test_")})


def load_compositors():
    for path in sorted(glob.glob(os.path.join(H.HERE, "comp_*.py"))):
        importlib.import_module(os.path.basename(path)[:-3])


def all_tests():
    """(name, function, compositor or None)."""
    # The cases of GNOME and KDE only, on this file's recordings.
    import e2e_gnome_kde
    out = [(f.__name__, f, None) for f in e2e_gnome_kde.cases(sys.modules[__name__])]
    for k, v in list(globals().items()):
        if k.startswith("test_each_"):
            out += [(f"{k}_{c}", v, c) for c in H.COMPOSITORS]
        elif k.startswith("test_"):
            out.append((k, v, None))
    return out


def main():
    exe = os.path.abspath(sys.argv[1])
    names = sys.argv[2:]
    H.SEAT_KEYBOARD = os.path.join(os.path.dirname(exe), "qv_seat_keyboard")
    H.ensure_user()
    load_compositors()
    passed = failed = 0
    for name, test, comp in all_tests():
        if names and name not in names:
            continue
        t = Context(exe)
        start = time.monotonic()
        try:
            test(t, comp) if comp else test(t)
            passed += 1
            print(f"PASS {name} ({time.monotonic() - start:.1f} s)", flush=True)
        except Failure as e:
            failed += 1
            print(f"FAIL {name}: {e}", flush=True)
            print("    compositor: " + t.comp.tail(5).replace("\n", "\n    ") if t.comp else "")
        except Exception:
            failed += 1
            print(f"FAIL {name}: {traceback.format_exc()}", flush=True)
        finally:
            t.finish()
    print(f"RESULT {passed} {failed}", flush=True)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
