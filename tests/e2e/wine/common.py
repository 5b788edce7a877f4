"""What every Wine end-to-end case shares: the paths given on the command
line, the driver that finds windows, reads controls and posts messages, the
program and target processes, the playback checks, and the runner that prints
one line per case and finally "RESULT passed failed"."""
import os
import re
import shutil
import struct
import subprocess
import sys
import time


EXE, TOOLS, WORK, FIXTURES = (os.path.abspath(p) for p in sys.argv[1:5])
ONLY = sys.argv[5:]
ID_SPEED_FAST, ID_CONTINUOUS, ID_REPEAT_COUNT, ID_ABOUT = 0x800B, 0x800C, 0x800D, 0x8010
ID_SAVE, ID_RECORD, ID_PLAY, ID_COMPILE, ID_REMEMBER_SETTINGS = 0x8001, 0x8002, 0x8003, 0x8004, 0x8012
ID_RATE_200, ID_RATE_OTHER, ID_PAUSE_LENGTH = 0x801D, 0x801F, 0x8021
WM_COMMAND, WM_CLOSE, WM_KEYDOWN, WM_LBUTTONDOWN = 0x111, 0x10, 0x100, 0x201
WM_MOUSEWHEEL, WM_MOUSEHWHEEL = 0x20A, 0x20E
STRIP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "resources",
                     "strip.bmp")
# Where the target window sits: the fixture's positions fall inside it.
TARGET_RECT = (0, 0, 640, 300)


class Fail(Exception):
    pass


def check(cond, why):
    if not cond:
        raise Fail(why)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def driver(*args, timeout=30):
    r = subprocess.run(["wine", os.path.join(TOOLS, "qvdriver.exe"), *map(str, args)],
                       capture_output=True, text=True, timeout=timeout)
    return r.returncode, r.stdout.replace("\r", "")


def wait_window(cls="-", title="-", ms=15000):
    rc, out = driver("wait", cls, title, ms, timeout=ms / 1000 + 30)
    return out.strip() if rc == 0 else None


def children(cls, title, ms=10000):
    rc, out = driver("children", cls, title, ms, timeout=ms / 1000 + 30)
    check(rc == 0, f"no window {cls}/{title}")
    rows = []
    for line in out.splitlines():
        parts = line.split("|", 6)
        if len(parts) == 7:
            text = re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)),
                          parts[6])
            rows.append((parts[0], int(parts[1]), int(parts[2]), int(parts[3]), int(parts[4]),
                         int(parts[5]), text))
    return rows


def wininfo(cls="-", title="-", ms=10000):
    rc, out = driver("wininfo", cls, title, ms, timeout=ms / 1000 + 30)
    check(rc == 0, f"no window {cls}/{title}")
    return [int(v) for v in out.strip().split("|")]


def post_main(msg, wparam, lparam=0):
    rc, _ = driver("post", "QuorvaneClass", "-", msg, wparam, lparam)
    check(rc == 0, "could not post to the main window")


def press_button(title, ids=(1, 2)):
    """Clicks the first of ids that the box has (message boxes number their
    OK button 1 or 2 depending on the flags). Boxes are dialogs: the class
    keeps a box titled "Quorvane" apart from the main window."""
    for rowid in ids:
        rc, _ = driver("press", "#32770", title, rowid)
        if rc == 0:
            return
    raise Fail(f"box {title!r} has no button {ids}")


def repeat_field(ms=10000, title="Playback Repeats"):
    """The edit field of the open repeat-count box (or another box of its
    kind), once it is placed."""
    deadline = time.time() + ms / 1000
    while time.time() < deadline:
        if wait_window("-", title, 500):
            edits = [r for r in children("-", title) if r[0].lower() == "edit"]
            if edits:
                return edits[0]
        time.sleep(0.1)
    raise Fail(f"no edit field in the box {title!r}")


class Program:
    """One quorvane.exe (or player) process under Wine."""

    def __init__(self, exe, *args, cwd=None):
        self.proc = subprocess.Popen(["wine", exe, *args], cwd=cwd or os.path.dirname(exe),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait(self, seconds):
        try:
            return self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        if self.proc.poll() is None:
            driver("post", "QuorvaneClass", "-", WM_CLOSE, 0, 0)
            if self.wait(10) is None:
                self.proc.kill()
                self.proc.wait()
        return self.proc.returncode


class Target:
    def __init__(self, folder, seconds=60, rect=TARGET_RECT):
        self.log = os.path.join(folder, "target.log")
        x, y, w, h = rect
        self.proc = subprocess.Popen(["wine", os.path.join(TOOLS, "qvtarget.exe"), winpath(self.log),
                                      str(x), str(y), str(w), str(h), str(seconds)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 30
        while time.time() < deadline and "ready" not in self.text():
            time.sleep(0.1)
        check("ready" in self.text(), "the target window did not start")

    def text(self):
        try:
            return open(self.log).read()
        except OSError:
            return ""

    def events(self):
        out = []
        for line in self.text().splitlines():
            p = line.split()
            if len(p) == 4 and p[1] != "ready":
                out.append((int(p[0]), p[1], int(p[2]), int(p[3])))
        return out

    def wait_for(self, kind, n, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if sum(1 for e in self.events() if e[1] == kind) >= n:
                return True
            time.sleep(0.1)
        return False

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def rate_recording(folder, name="rate.rec", gaps=(1000, 8000)):
    """a, then b and c the given gaps later (1000 and 8000 ms). The pointer
    moves between a and b every 100 ms, as a hand does between two keys, so
    each wait there is short; b..c is one long pause. Each key goes up as it
    goes down, so the gaps between the presses are the recorded ones. A
    click on the target first gives it the keyboard, half a second before a
    as a hand would: under Wine the focus follows a click through the X
    server, and a key played 12 ms after it (50 ms at 4x) could still go to
    the window that had the focus before."""
    out, t = b"", 1000
    for msg, when in ((0x200, 450), (0x201, 500), (0x202, 550)):
        out += struct.pack("<5I", msg, 100, 150, when, 0)
    for i, vk in enumerate((0x41, 0x42, 0x43)):
        if i:
            gap = gaps[i - 1]
            if i == 1:
                for k in range(1, gap // 100):
                    out += struct.pack("<5I", 0x200, 100 + 5 * k, 150, t + 100 * k, 0)
            t += gap
        for msg in (0x100, 0x101):
            out += struct.pack("<5I", msg, vk, 0, t, 0)
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(out)
    return path


def key_gaps(target, step, keys=(0x41, 0x42, 0x43), seconds=30):
    """Waits until the target has seen each of keys pressed; the gaps
    between the presses in ms, by the target's clock, and the most any event
    between the first two presses came later than the step due there."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        downs = [e for e in target.events() if e[1] == "keydown" and e[2] in keys]
        if len(downs) >= len(keys):
            break
        time.sleep(0.1)
    check([e[2] for e in downs] == list(keys), f"keys {[e[2] for e in downs]}, expected {list(keys)}")
    between = [e[0] for e in target.events() if downs[0][0] <= e[0] <= downs[1][0]]
    late = max((b - a - step for a, b in zip(between, between[1:])), default=0)
    return [downs[i][0] - downs[i - 1][0] for i in range(1, len(downs))], late


def paced_gaps(play, done, step, want, what):
    """play() starts one playback and returns its target, done() ends it
    once a, b and c are in. The gaps between them must be want, each within
    3% + 15 ms, in the one run. When it is off, the message says how late the
    latest event between a and b came (a machine that stalled shows there),
    so a failure names its cause; it is not played again."""
    target = play()
    try:
        got, late = key_gaps(target, step)
    finally:
        done()
    print(f"    {what}: gaps {got} ms, want {want}; latest event {late} ms behind its step")
    check(all(abs(g - w) <= 0.03 * w + 15 for g, w in zip(got, want)),
          f"{what}: gaps {got}, want {want} within 3% + 15 ms (an event came {late} ms late)")


def fresh_target(folder):
    """A target window with a log of its own."""
    log = os.path.join(folder, "target.log")
    if os.path.exists(log):
        os.remove(log)
    return Target(folder)


def fresh_copy(name):
    folder = os.path.join(WORK, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    exe = os.path.join(folder, "quorvane.exe")
    shutil.copy(EXE, exe)
    return folder, exe


def read_expected(name="play_basic"):
    rows = []
    for line in open(os.path.join(FIXTURES, name + ".expected")):
        kind, a, b, gap = line.split()
        rows.append((kind, int(a), int(b), int(gap)))
    return rows


def actions_of(events):
    """The keys and buttons of a target's log. The player lets go of the
    left button before and after every pass whether or not it is held, so
    nothing stays stuck; a release without a press before it is that."""
    out, left_down = [], False
    for e in events:
        if e[1] in ("move", "char"):
            continue
        if e[1] == "lup" and not left_down:
            continue
        left_down = e[1] == "ldown" or (left_down and e[1] != "lup")
        out.append(e)
    return out


def compare_playback(events, expected, passes=1):
    """The keys and buttons arrive in the recorded order, each button at the
    position the recording had reached, every recorded position is visited
    in order, and the gaps between keys and buttons follow the recording."""
    want_actions, want_moves = [], []
    where, t, start = None, 0, None
    for kind, a, b, gap in expected:
        t += gap
        if kind == "move":
            where = (a, b)
            want_moves.append(where)
            continue
        start = t if start is None else start
        if kind.startswith("key"):
            want_actions.append((kind, a, None, t - start))
        else:
            want_actions.append((kind, where[0], where[1], t - start))
    got_actions = actions_of(events)
    check(len(got_actions) == len(want_actions) * passes,
          f"{len(got_actions)} keys and buttons arrived, expected {len(want_actions) * passes}: "
          f"{[(k, a, b) for _, k, a, b in got_actions]}")
    for p in range(passes):
        chunk = got_actions[p * len(want_actions):(p + 1) * len(want_actions)]
        for (tick, kind, a, b), (wkind, wa, wb, _) in zip(chunk, want_actions):
            check(kind == wkind and a == wa and (wb is None or b == wb),
                  f"pass {p + 1}: got {kind} {a} {b}, expected {wkind} {wa} {wb}")
        t0 = chunk[0][0]
        for (tick, kind, _, _), (_, _, _, woff) in zip(chunk, want_actions):
            # The clock is shared with a busy machine: allow a generous slack
            # per event, but a player that ignores the recorded gaps (all at
            # once, or twice as slow) falls well outside it.
            check(abs((tick - t0) - woff) <= 200 + woff // 4,
                  f"pass {p + 1}: {kind} at +{tick - t0} ms, recorded +{woff} ms")
    moves = [(a, b) for _, k, a, b in events if k == "move"]
    i = 0
    for m in moves:
        if i < len(want_moves) and m == want_moves[i]:
            i += 1
    check(i == len(want_moves), f"pointer never reached {want_moves[i:i + 1]} in order")


def caption():
    found = wait_window("QuorvaneClass", "-", 5000)
    check(found, "no main window")
    return found.split("|", 1)[1]


def loop_number(text):
    """The pass a playing caption shows, 0 for any other caption."""
    m = re.match(r"PLAY \d+:\d+ \((\d+)/", text)
    return int(m.group(1)) if m else 0


def wait_caption(test, seconds=5):
    deadline = time.time() + seconds
    while True:
        text = caption()
        if test(text) or time.time() > deadline:
            return text
        time.sleep(0.1)


def answer_save_dialog(path):
    """Types path into the open save dialog and confirms it."""
    # The dialog is made from a template captioned "Open" and renamed as it
    # starts; wait for the final title.
    title = "Save As"
    check(wait_window("#32770", title, 30000),
          "no save dialog; windows: " + driver("list")[1].replace("\n", "; "))
    # The dialog fills itself in after it appears.
    for _ in range(50):
        if driver("settext", "-", title, "Edit", winpath(path))[0] == 0:
            break
        time.sleep(0.1)
    else:
        raise Fail(f"no name field in the dialog {title!r}")
    time.sleep(0.3)
    press_button(title, (1,))
    check(driver("gone", "#32770", title, 10000)[0] == 0, "the dialog did not close")


def screen_pixels():
    """The whole screen as (width, height, RGB bytes)."""
    raw = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return 1024, 768, raw


def strip_pixel(x, y):
    d = open(STRIP, "rb").read()
    off = struct.unpack_from("<I", d, 10)[0]
    i = off + (15 - y) * 336 + x * 3
    return (d[i + 2], d[i + 1], d[i])


def toolbar_pixels(scale=1):
    ox, oy, cw, ch = (int(v) for v in driver("origin", "QuorvaneClass", "-", 5000)[1].split("|"))
    check((cw, ch) == (131 * scale, 26 * scale), f"client area {cw}x{ch}")
    w, _, raw = screen_pixels()

    def at(x, y):
        i = 3 * ((oy + y) * w + ox + x)
        return tuple(raw[i:i + 3])
    return at


def main(tests):
    """Runs the (name, function) pairs in order; a name given on the command
    line after the four paths picks the cases whose names contain it."""
    os.makedirs(WORK, exist_ok=True)
    passed = failed = 0
    for name, fn in tests:
        if ONLY and not any(o in name for o in ONLY):
            continue
        t0 = time.time()
        try:
            fn()
            passed += 1
            print(f"PASS {name} ({time.time() - t0:.1f}s)", flush=True)
        except Fail as e:
            failed += 1
            print(f"FAIL {name}: {e}", flush=True)
        except Exception as e:  # a broken test counts as a failure, not a crash
            failed += 1
            print(f"FAIL {name}: {type(e).__name__}: {e}", flush=True)
    print(f"RESULT {passed} {failed}")
