"""What every Linux end-to-end case shares: the session (a fresh copy of the
program, the target window and their logs), checks, .rec bytes, the input
probe, the steps a user takes on the toolbar (record by hotkey, the options
menu, Save, Compile), and the runner that prints one line per case and
finally "RESULT passed failed"."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback

import xtools as X


ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
FIXTURES = os.path.join(ROOT, "tests", "fixtures")
WM_KEYDOWN, WM_KEYUP, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP = 0x100, 0x101, 0x200, 0x201, 0x202
WM_RBUTTONDOWN, WM_RBUTTONUP = 0x204, 0x205
SCAN = {0x41: 0x1E, 0x53: 0x1F, 0x44: 0x20, 0x46: 0x21, 0x42: 0x30, 0x10: 0x2A, 0xA0: 0x2A}
TARGET_RECT = (40, 200, 400, 300)
FIXTURE_TARGET_RECT = (0, 0, 640, 300)
REAL_KEYS = None  # the helper that presses keys on Xvfb's own keyboard
MODIFIERS = {"Control_L", "Control_R", "Shift_L", "Shift_R", "Alt_L", "Alt_R", "Meta_L", "Meta_R"}


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def rec_bytes(events):
    """events: (message, vk_or_x, y_or_None, time) -> .rec file bytes."""
    out = b""
    for msg, a, b, t in events:
        if msg in (WM_KEYDOWN, WM_KEYUP):
            scan = SCAN.get(a, 0)
            out += struct.pack("<5I", msg, a + 256 * scan, scan, t, 0)
        else:
            out += struct.pack("<5I", msg, a, b, t, 0)
    return out


# The private display numbers tried, first for Xvfb, then for any other
# server a test starts.
DISPLAYS = range(91, 96)
# The toolbar's own frame and small caption around its 131x26 client area.
FRAME, CAPTION = 1, 14
TOOLBAR_SIZE = (131 + 2 * FRAME, 26 + 2 * FRAME + CAPTION)


class Session:
    """A fresh copy of the program in its own folder, the target window and
    their logs."""

    def __init__(self, binary, target, probe=None):
        self.dir = tempfile.mkdtemp(prefix="qv-e2e-")
        self.exe = os.path.join(self.dir, "quorvane")
        shutil.copy(binary, self.exe)
        self.target_bin = target
        self.probe = probe
        self.log = os.path.join(self.dir, "target.log")
        self.proc = None
        self.target = None
        self.toolbar = None
        # The environment of the program's runs (None: the tests' own) and
        # the whole-number scale it draws at.
        self.env = None
        self.scale = 1

    def start_target(self, rect=TARGET_RECT):
        self.target = X.start([self.target_bin, self.log, "QvTarget"] + [str(v) for v in rect],
                              stdout=subprocess.PIPE, text=True)
        wid = int(self.target.stdout.readline())
        check(X.find_window("QvTarget"), "target window appears")
        # Entering the target gives it the focus.
        X.xdo("mousemove", rect[0] + 100, rect[1] + 100)
        time.sleep(0.2)
        return wid

    def start_program(self, *args, wait_title="Quorvane"):
        # A pointer resting on the toolbar would put a button tip in its
        # caption.
        X.xdo("mousemove", 5, 5)
        self.err = open(os.path.join(self.dir, "stderr.txt"), "w")
        self.proc = X.start([self.exe] + list(args), cwd=self.dir, stderr=self.err, env=self.env)
        if wait_title:
            self.toolbar = X.find_window(wait_title)
            check(self.toolbar, f"toolbar titled {wait_title!r} appears")
            # GTK names the window before it maps it; focusing it in
            # between fails with BadMatch.
            check(X.wait_until(lambda: (X.geometry(self.toolbar) or {}).get("state") == "IsViewable"),
                  "the toolbar shows")
        return self.proc

    def events(self, since=0):
        """The target's keys and buttons."""
        return [f for f in X.read_log(self.log) if f[1] != "Motion"][since:]

    def moves(self):
        """Every pointer position the target saw, in order."""
        return [(int(f[2]), int(f[3])) for f in X.read_log(self.log) if f[1] == "Motion"]

    def toolbar_origin(self):
        """The client area's top-left corner, below the toolbar's own frame
        and caption strip."""
        g = X.geometry(self.toolbar)
        return g["x"] + FRAME * self.scale, g["y"] + (FRAME + CAPTION) * self.scale

    def client_point(self, x, y):
        """A point of the client area, given in toolbar pixels, on the screen."""
        ox, oy = self.toolbar_origin()
        return ox + x * self.scale, oy + y * self.scale

    def caption(self):
        return X.title_of(self.toolbar)

    def close_program(self, timeout=5.0):
        dpy = X.XDisplay()
        dpy.close_window(self.toolbar)
        dpy.close()
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("program did not end after the close request")

    def finish(self):
        X.stop_all_of([p for p in (self.proc, self.target) if p])
        # QV_E2E_KEEP keeps each test's folder (program copy, logs, stderr).
        if os.environ.get("QV_E2E_KEEP"):
            print(f"    kept {self.dir}")
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


def stop_all_of(procs):
    for p in procs:
        X.stop(p)


X.stop_all_of = stop_all_of


def key_events(evs, keep=None):
    """Key and button events in order, without modifiers and time stamps;
    with keep, only keys named there (and every button)."""
    out = []
    for f in evs:
        if f[1] in ("KeyPress", "KeyRelease"):
            if f[2] in MODIFIERS or (keep is not None and f[2] not in keep):
                continue
            out.append((f[1], f[2]))
        elif f[1] in ("ButtonPress", "ButtonRelease"):
            out.append((f[1], f[2], int(f[3]), int(f[4])))
    return out


class Probe:
    def __init__(self, binary):
        self.p = X.start([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def ask(self, cmd):
        self.p.stdin.write(cmd + "\n")
        self.p.stdin.flush()
        return self.p.stdout.readline().strip()

    def snap(self):
        parts = [p.split()[1:] for p in self.ask("snap").split("|")]
        return [set(int(v, 16) for v in p) for p in parts]  # async, thread, toggled

    def steps(self):
        """The keys down at each change the services reported since the
        last call, as a recorder is told of them."""
        line = self.ask("steps")
        return [set(int(v, 16) for v in p.split()) for p in line.split("|")[1:]]


def hold(*args):
    """Runs one xdotool command chain in the background (it holds keys)."""
    return X.start(["xdotool"] + [str(a) for a in args])


def real_keys(action, keys):
    """Presses (action "down") or lets go of ("up") keys one by one on Xvfb's
    own keyboard; they stay as left after the helper ends."""
    args = []
    for k in keys:
        args += [action, k, "sleep", 0.03]
    subprocess.run([REAL_KEYS] + [str(a) for a in args], check=True, timeout=10)


def record_by_hotkey(s):
    """Starts a recording with the record hotkey, as a user would."""
    X.press("ctrl+shift+alt+r", 0.2)
    check(X.wait_until(lambda: (s.caption() or "").startswith("REC")), "recording starts on the hotkey")


def toggle_remember(s):
    menu_key(s, "s")


def menu_key(s, key):
    """Opens the options menu with a click and chooses by mnemonic."""
    tx, ty = s.toolbar_origin()
    before = {w for w, t in X.windows()}

    def menu_shown():
        for w, t in X.windows():
            g = X.geometry(w) if w not in before else None
            if g and g["state"] == "IsViewable":
                return w
        return None
    X.click(tx + 110 + 8, ty + 13)
    check(X.wait_until(menu_shown, 3), "the options menu opens")
    time.sleep(0.2)
    X.xdo("key", key)
    time.sleep(0.3)


def save_to(s, target, replace=False):
    """Save button, then the save dialog given the whole path; a file that
    exists is replaced through the dialog's question."""
    tx, ty = s.toolbar_origin()
    X.click(tx + 26 + 8, ty + 13)
    check(X.find_window("Save As"), "the save dialog opens")
    time.sleep(0.5)
    X.xdo("key", "ctrl+a")
    X.xdo("type", "--delay", "5", target)
    # The name field completes what was typed a moment after; Return
    # before that is taken by the completion.
    time.sleep(0.5)
    X.xdo("key", "Return")
    if replace:
        time.sleep(0.8)
        X.xdo("key", "Return")
    check(X.wait_until(lambda: X.find_window("Save As", 0.1) is None, 5), "the save dialog closes")
    check(X.wait_until(lambda: X.find_window(os.path.basename(target), 0.1), 5),
          "saved: the toolbar is named after the file")


def short_recording(s, name="short.rec"):
    ev = [(WM_KEYDOWN, 0x41, None, 1000), (WM_KEYUP, 0x41, None, 1050),
          (WM_KEYDOWN, 0x53, None, 1150), (WM_KEYUP, 0x53, None, 1200)]
    path = os.path.join(s.dir, name)
    open(path, "wb").write(rec_bytes(ev))
    return path


def rate_recording(s, name="rate.rec", gaps=(1000, 8000)):
    """a, then b and c the given gaps later (1000 and 8000 ms). The pointer
    moves between a and b every 100 ms, as a hand does between two keys, so
    each wait there is short; b..c is one long pause. Each key goes up as it
    goes down, so the gaps between the presses are the recorded ones."""
    ev, t = [], 1000
    for i, vk in enumerate((0x41, 0x42, 0x43)):
        if i:
            gap = gaps[i - 1]
            if i == 1:
                for k in range(1, gap // 100):
                    ev.append((WM_MOUSEMOVE, TARGET_RECT[0] + 60 + 5 * k, TARGET_RECT[1] + 50, t + 100 * k))
            t += gap
        ev += [(WM_KEYDOWN, vk, None, t), (WM_KEYUP, vk, None, t)]
    path = os.path.join(s.dir, name)
    open(path, "wb").write(rec_bytes(ev))
    return path


def bad_file_box(s, name):
    """Starts the program on a file it cannot read: the file's path and the
    box that tells of it, the toolbar beside it."""
    path = os.path.join(s.dir, name)
    open(path, "wb").write(b"\0" * 21)
    s.start_program(path, wait_title=None)
    box = X.find_window(path)
    check(box, "a box titled with the file's path")
    s.toolbar = X.find_window("Quorvane")
    check(s.toolbar, f"the toolbar is there beside the box: {X.windows()}")
    return path, box


def close_box(path, box):
    """Return on the box, as the user closes it."""
    X.xdo("windowfocus", "--sync", box)
    X.xdo("key", "Return")
    check(X.wait_until(lambda: X.find_window(path, 0.1) is None, 3), "the box closes")


def log_mark(s):
    """Where the target's whole log (pointer motions included) ends now."""
    return len(X.read_log(s.log))


def key_gaps(s, mark, step, keys="abc", timeout=20):
    """Waits until the target has seen each of keys pressed once after mark
    (a log_mark); the gaps between the presses in ms, by the target's own
    clock, and the most any event between the first two presses came later
    than the step due between two events there."""
    def presses():
        return [f for f in X.read_log(s.log)[mark:] if f[1] == "KeyPress" and f[2] in keys]
    check(X.wait_until(lambda: len(presses()) >= len(keys), timeout), f"{keys} arrive: {presses()}")
    got = presses()
    check([f[2] for f in got] == list(keys), f"{keys} in order: {[f[2] for f in got]}")
    stamps = [int(f[0]) for f in got]
    between = [int(f[0]) for f in X.read_log(s.log)[mark:] if stamps[0] <= int(f[0]) <= stamps[1]]
    late = max((b - a - step for a, b in zip(between, between[1:])), default=0)
    return [stamps[i] - stamps[i - 1] for i in range(1, len(stamps))], late


def paced_gaps(s, play, done, step, want, what):
    """play() starts one playback and returns its mark, done() ends it
    once a, b and c are in. The gaps between them must be want, each within
    3% + 15 ms, in the one run. When it is off, the message says how late the
    latest event between a and b came (a machine that stalled shows there),
    so a failure names its cause; it is not played again."""
    got, late = key_gaps(s, play(), step)
    done()
    print(f"    {what}: gaps {got} ms, want {want}; latest event {late} ms behind its step")
    check(all(abs(g - w) <= 0.03 * w + 15 for g, w in zip(got, want)),
          f"{what}: gaps {got}, want {want} within 3% + 15 ms (an event came {late} ms late)")


def compile_to(s, target):
    """Compile button, then the save dialog given the whole path."""
    tx, ty = s.toolbar_origin()
    X.click(tx + 89 + 8, ty + 13)
    dialog = X.find_window("Save As")
    check(dialog, "the save dialog opens")
    time.sleep(0.5)
    X.xdo("key", "ctrl+a")
    X.xdo("type", "--delay", "5", target)
    X.xdo("key", "Return")
    box = X.wait_until(lambda: X.find_window("Quorvane", 0.1) and [w for w, t in X.windows()
                                                                     if t == "Quorvane" and w != s.toolbar], 5)
    check(box, "the compile report box appears")
    time.sleep(0.3)
    X.xdo("key", "Return")
    check(X.wait_until(lambda: len([1 for w, t in X.windows() if t == "Quorvane"]) <= 1, 3), "the report box closes")


def main(tests, usage):
    """Runs tests (each given a fresh Session) on a private Xvfb.
    argv: QUORVANE_BINARY TARGET_BINARY PROBE_BINARY [TEST_NAME...]."""
    if len(sys.argv) < 4:
        print(usage)
        return 2
    binary, target, probe = (os.path.abspath(a) for a in sys.argv[1:4])
    global REAL_KEYS, DISPLAYS
    REAL_KEYS = os.path.join(os.path.dirname(target), "qv_real_keys")
    wanted = set(sys.argv[4:])
    X.install_cleanup()
    passed = failed = 0
    try:
        # QV_E2E_DISPLAYS="FIRST-LAST" picks the private display numbers
        # tried, for machines where the default range is taken.
        span = os.environ.get("QV_E2E_DISPLAYS")
        if span:
            first, last = (int(v) for v in span.split("-"))
            DISPLAYS = range(first, last + 1)
        X.start_xvfb(DISPLAYS)
        for t in tests:
            if wanted and t.__name__ not in wanted:
                continue
            s = Session(binary, target, probe)
            try:
                t(s)
                print(f"PASS {t.__name__}")
                passed += 1
            except Failure as e:
                print(f"FAIL {t.__name__}: {e}")
                failed += 1
            except Exception:
                print(f"FAIL {t.__name__}: error")
                traceback.print_exc()
                failed += 1
            finally:
                s.finish()
                time.sleep(0.2)
    finally:
        X.stop_all()
    print(f"RESULT {passed} {failed}")
    return 0 if failed == 0 else 1
