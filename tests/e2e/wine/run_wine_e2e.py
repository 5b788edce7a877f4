#!/usr/bin/env python3
"""End-to-end tests of the Windows program under Wine.

Runs each test against fresh copies of quorvane.exe in a scratch folder,
drives it with qvdriver.exe and watches a logging window (qvtarget.exe).
Expects DISPLAY and WINEPREFIX to be set up by the caller. Prints one line
per test and ends with "RESULT <passed> <failed>".

usage: run_wine_e2e.py EXE TOOLS_DIR WORK_DIR FIXTURES_DIR [TEST...]"""
import os
import re
import shutil
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_resources import resources  # noqa: E402

EXE, TOOLS, WORK, FIXTURES = (os.path.abspath(p) for p in sys.argv[1:5])
ONLY = sys.argv[5:]
OBJDUMP = os.environ.get("QV_OBJDUMP", "x86_64-w64-mingw32-objdump")
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "shell32.dll",
               "msvcrt.dll", "advapi32.dll", "comctl32.dll", "ntdll.dll", "ole32.dll",
               "shlwapi.dll", "ws2_32.dll", "version.dll", "winmm.dll"}
ID_SPEED_FAST, ID_CONTINUOUS, ID_REPEAT_COUNT, ID_ABOUT = 0x800B, 0x800C, 0x800D, 0x8010
ID_SAVE, ID_RECORD, ID_PLAY, ID_COMPILE, ID_REMEMBER_SETTINGS = 0x8001, 0x8002, 0x8003, 0x8004, 0x8012
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


def repeat_field(ms=10000):
    """The edit field of the open repeat-count box, once it is placed."""
    deadline = time.time() + ms / 1000
    while time.time() < deadline:
        if wait_window("-", "Playback Repeats", 500):
            edits = [r for r in children("-", "Playback Repeats") if r[0].lower() == "edit"]
            if edits:
                return edits[0]
        time.sleep(0.1)
    raise Fail("no edit field in the repeat-count box")


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


# ---------------------------------------------------------------- tests
def test_import_table():
    out = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", out)}
    check(dlls, "no imports found")
    check(dlls <= SYSTEM_DLLS, f"imports beyond the system: {sorted(dlls - SYSTEM_DLLS)}")
    check("(Windows GUI)" in out, "not a GUI program")
    # The play and record ticks wait on a high-resolution timer, with the
    # system's resolution raised where that timer is missing, on the
    # performance counter's clock.
    for name in ("CreateWaitableTimerExW", "MsgWaitForMultipleObjectsEx", "timeBeginPeriod",
                 "timeEndPeriod", "QueryPerformanceCounter"):
        check(re.search(rf"\s{name}$", out, re.M), f"{name} not imported")
    check(not re.search(r"\sGetTickCount$", out, re.M), "the clock is the 15.6 ms tick count")


def test_own_size_and_placeholders():
    data = open(EXE, "rb").read()
    check(len(data) < 1_000_000, f"{len(data)} bytes")
    m = re.search(rb"QvOwnSize:(\d{6})", data)
    check(m and int(m.group(1)) == len(data), "own-size text does not match the file")
    check(data.count(b"@@@@@") == 1 and data.count(b"$$$$$") == 1, "placeholders not unique")


def test_resources():
    tree = resources(open(EXE, "rb").read())
    group = tree.get(14, {}).get(1001)
    check(group, "no icon group 1001")
    n = struct.unpack_from("<H", group, 4)[0]
    sizes = []
    for i in range(n):
        w, h, _, _, _, bpp, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        sizes.append((w or 256, h or 256, bpp))
        check(icon_id in tree.get(3, {}), f"icon image {icon_id} missing")
    check(sorted(sizes, reverse=True) == [(48, 48, 8), (32, 32, 8), (16, 16, 8)],
          f"icon images {sizes}")
    strip = tree.get(2, {}).get(1002)
    check(strip, "no bitmap 1002")
    hdr, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", strip, 0)
    check((hdr, w, h, bpp, comp, len(strip)) == (40, 112, 16, 24, 0, 5416),
          f"strip is {w}x{h}x{bpp}, {len(strip)} bytes")
    manifest = tree.get(24, {}).get(1, b"").decode("utf-8", "replace")
    check("Microsoft.Windows.Common-Controls" in manifest and 'version="6.0.0.0"' in manifest,
          "manifest lacks common controls 6")
    check(manifest.count('processorArchitecture="amd64"') == 2, "manifest processor is not amd64")
    # Per-monitor v2 where the desktop knows it, per-monitor before it; the
    # older element for desktops that read only that.
    aware = re.search(r"<dpiAwareness[^>]*>([^<]*)</dpiAwareness>", manifest)
    check(aware and [v.strip() for v in aware.group(1).split(",")] == ["PerMonitorV2", "PerMonitor"],
          f"dpiAwareness: {aware and aware.group(1)!r}")
    check(re.search(r"<dpiAware[^>]*>\s*true/pm\s*</dpiAware>", manifest), "dpiAware true/pm")
    version = tree.get(16, {}).get(1, b"")
    check(b"\xbd\x04\xef\xfe" in version, "no fixed version information")
    fixed = version.index(b"\xbd\x04\xef\xfe")
    ms, ls = struct.unpack_from("<II", version, fixed + 8)
    check((ms, ls) == ((1 << 16) | 50, 0), f"file version {ms >> 16}.{ms & 0xFFFF}")
    check("1, 50, 0, 0".encode("utf-16-le") in version, "version text")
    check("040904b0".encode("utf-16-le") in version, "language block")


def test_start_window_and_no_ini():
    folder, exe = fresh_copy("start")
    driver("cursor", 1000, 5)  # keep the caption tips out of the way
    prog = Program(exe)
    try:
        found = wait_window("QuorvaneClass")
        check(found == "QuorvaneClass|Quorvane", f"main window: {found!r}")
        visible, x, y, w, h = wininfo("QuorvaneClass")
        check(visible == 1, "window not shown")
        check(w > 131 and h > 26, f"window {w}x{h}")
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")
    check(not os.path.exists(os.path.join(folder, "quorvane.ini")), "INI written without the flag")


def test_ini_written_when_present_and_deleted_when_turned_off():
    folder, exe = fresh_copy("ini")
    ini = os.path.join(folder, "quorvane.ini")
    with open(ini, "w") as f:
        f.write("[Quorvane]\r\nwindow_x=3\r\nwindow_y=3\r\nspeed=1\r\n[Other]\r\nkeep=yes\r\n")
    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        _, x, y, _, _ = wininfo("QuorvaneClass")
        check((x, y) == (5, 5), f"saved (3, 3) placed the window at ({x}, {y})")
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")
    text = open(ini).read()
    values = dict(re.findall(r"^(\w+)=(-?\d+|\w+)\s*$", text, re.M))
    for key, want in (("window_x", "5"), ("window_y", "5"), ("tips", "1"), ("speed", "1"),
                      ("record_key", "0"), ("play_key", "0"), ("keep", "yes")):
        check(values.get(key) == want, f"{key}={values.get(key)} in {text!r}")

    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        post_main(WM_COMMAND, ID_REMEMBER_SETTINGS)
        time.sleep(0.5)
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")
    check(not os.path.exists(ini), "INI kept although remembering was turned off")


def test_bad_file_box_titled_with_path():
    folder, exe = fresh_copy("bad")
    bad = os.path.join(folder, "broken file.rec")
    with open(bad, "wb") as f:
        f.write(b"\0" * 21)
    title = winpath(bad)
    prog = Program(exe, title)
    try:
        rows = children("-", title)
        texts = [r[6] for r in rows]
        check("Not a valid recording" in texts, f"box texts {texts}")
        press_button(title)
        rc, _ = driver("gone", "-", title, 5000)
        check(rc == 0, "the box did not close")
        found = wait_window("QuorvaneClass")
        check(found and found.startswith("QuorvaneClass|"), "the program did not stay open")
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")


def test_plays_recording_into_target():
    folder, exe = fresh_copy("play")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    target = Target(folder)
    driver("cursor", 1000, 700)
    prog = None
    try:
        prog = Program(exe, winpath(rec))
        got = target.wait_for("lup", 2, 30)
        time.sleep(0.3)
        events = target.events()
        check(got, f"playback did not finish: {events}")
        compare_playback(events, read_expected())
    finally:
        if prog:
            prog.close()
        target.stop()


def wheel_turns(events):
    """The target's wheel turns, with runs of one wheel turned one way
    joined: the desktop may deliver a turn of two notches as two of one."""
    out = []
    for _, kind, delta, _ in events:
        if kind not in ("wheel", "hwheel"):
            continue
        if out and out[-1][0] == kind and (out[-1][1] > 0) == (delta > 0):
            out[-1] = (kind, out[-1][1] + delta)
        else:
            out.append((kind, delta))
    return out


def recorded_turns(data):
    """The wheel records of .rec bytes in the same terms."""
    names = {WM_MOUSEWHEEL: "wheel", WM_MOUSEHWHEEL: "hwheel"}
    events = []
    for i in range(0, len(data) - 19, 20):
        message, paramL, paramH, _, _ = struct.unpack_from("<5I", data, i)
        if message in names:
            check(paramH == 0, f"a wheel record's second parameter is {paramH}")
            events.append((0, names[message], paramL - (1 << 32) if paramL >> 31 else paramL, 0))
    return wheel_turns(events)


def play_into_target(exe, rec, want, focus=None):
    """Plays rec into a fresh target and checks its wheel turns. The wheel
    goes to the window with the focus; a file that does not click into the
    target itself (focus: where to click) is played a second time, by the
    play command, once the target has the focus."""
    target = Target(os.path.dirname(exe), rect=(0, 0, 640, 480))
    prog = None
    try:
        driver("cursor", 1000, 700)
        prog = Program(exe, winpath(rec))
        if focus:
            wait_caption(lambda t: t.startswith("PLAY"), 10)
            check(wait_caption(lambda t: t == os.path.basename(rec), 20) == os.path.basename(rec),
                  "the first playback ends")
            mark = len(target.events())
            driver("move", *focus)
            driver("click")
            time.sleep(0.3)
            post_main(WM_COMMAND, ID_PLAY)
        else:
            mark = 0
        got = []
        deadline = time.time() + 20
        while time.time() < deadline and len(got) < len(want):
            time.sleep(0.2)
            got = wheel_turns(target.events()[mark:])
        time.sleep(0.5)
        got = wheel_turns(target.events()[mark:])
        check(got == want, f"{os.path.basename(rec)}: the target got {got}, want {want}")
    finally:
        if prog:
            prog.close()
        target.stop()


def test_plays_wheel_records_into_target():
    """The shared wheel recording: +120, -240 and +120 on the horizontal
    wheel arrive as those turns, and parts of a notch as they are."""
    folder, exe = fresh_copy("wheel-play")
    rec = os.path.join(folder, "wheel.rec")
    shutil.copy(os.path.join(FIXTURES, "play_wheel.rec"), rec)
    want = wheel_turns([(0, kind, a, 0) for kind, a, _, _ in read_expected("play_wheel")])
    check(want == [("wheel", 120), ("wheel", -240), ("hwheel", 120), ("hwheel", -120)],
          f"the fixture holds {want}")
    play_into_target(exe, rec, want)
    # A recording made on Linux plays the notches it holds.
    linux = os.path.join(folder, "wheel_linux.rec")
    shutil.copy(os.path.join(FIXTURES, "wheel_linux.rec"), linux)
    want = recorded_turns(open(linux, "rb").read())
    check(want == [("wheel", 240), ("wheel", -360), ("hwheel", -120), ("hwheel", 120)],
          f"the Linux recording holds {want}")
    play_into_target(exe, linux, want, focus=(200, 150))


def test_records_the_wheel():
    """The wheel turned over another window while recording ends up as
    wheel records, which play back the same turns."""
    folder, exe = fresh_copy("wheel-record")
    target = Target(folder)
    driver("cursor", 1000, 700)
    prog = Program(exe)
    turned = ["120", "120", "-120", "-120", "-120", "h-120", "h120"]
    want = [("wheel", 240), ("wheel", -360), ("hwheel", -120), ("hwheel", 120)]
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        driver("move", 220, 160)
        driver("click")  # the target takes the focus
        time.sleep(0.3)
        post_main(WM_COMMAND, ID_RECORD)
        time.sleep(0.5)
        driver("wheel", *turned)
        # And a wheel of the X display, through Wine's own driver, as a
        # real mouse turns it.
        if shutil.which("xdotool"):
            for button in ("4", "4", "5"):
                subprocess.run(["xdotool", "click", button], timeout=10)
                time.sleep(0.06)
            want += [("wheel", 240), ("wheel", -120)]
        time.sleep(0.3)
        post_main(WM_COMMAND, ID_RECORD)
        time.sleep(0.5)
        check(wheel_turns(target.events()) == want, f"the target saw {wheel_turns(target.events())}")
        post_main(WM_COMMAND, ID_SAVE)
        answer_save_dialog(os.path.join(folder, "turned"))
        time.sleep(0.5)
    finally:
        code = prog.close()
        target.stop()
    check(code == 0, f"exit code {code}")
    saved = os.path.join(folder, "turned.rec")
    check(os.path.exists(saved), "nothing saved")
    data = open(saved, "rb").read()
    check(recorded_turns(data) == want, f"recorded {recorded_turns(data)}")
    keep = os.environ.get("QV_WINE_WHEEL_REC")
    if keep:
        shutil.copy(saved, keep)
    play_into_target(exe, saved, want, focus=(220, 160))


# The line the Linux stage types under the German layout; the fixture is
# its recording made there (tests/e2e/linux, test_layout_de).
GERMAN_LINE = "zyZY#+<>äöüÄÖÜß-_.,7/=?@{[]}\\~|€²µ"


def set_layout(layout):
    subprocess.run(["setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", layout], check=True)
    q = subprocess.run(["setxkbmap", "-query"], capture_output=True, text=True).stdout
    check(re.search(r"^layout:\s+" + layout + r"$", q, re.M), f"layout {layout} in effect: {q}")


# What Wine reproduces of it. Wine numbers the letters and digits by what
# they type, as Windows does, but gives the other German keys the US
# positions' codes (where Windows puts VK_OEM_2 on #, Wine has it on -), and
# makes no AltGr characters from an injected Ctrl + right Alt. The keys
# both number alike come out, in order: letters, digits with their Shift
# level, comma, period and the key left of Y.
GERMAN_LINE_UNDER_WINE = "zyZY<>.,7/="


def _subsequence(part, whole):
    it = iter(whole)
    return all(c in it for c in part)


def test_linux_recording_types_the_same_characters_under_the_same_layout():
    """Cross-desktop: a line recorded under the German layout on Linux
    plays here with the X display's layout German when Wine starts (Wine
    takes its layout from the X keyboard map)."""
    folder, exe = fresh_copy("layout_de")
    rec = os.path.join(folder, "de_line.rec")
    shutil.copy(os.path.join(FIXTURES, "linux_de_line.rec"), rec)
    set_layout("de")
    target = prog = None
    try:
        # The recording's click at (150, 300) gives this window the keys.
        target = Target(folder, rect=(0, 0, 640, 480))
        driver("cursor", 1000, 700)
        prog = Program(exe, winpath(rec))
        # Done when the keys have stopped coming for two seconds.
        last, still, deadline = -1, time.time(), time.time() + 40
        while time.time() < deadline and time.time() - still < 2.0:
            n = sum(1 for e in target.events() if e[1] in ("keydown", "keyup"))
            if n != last:
                last, still = n, time.time()
            time.sleep(0.2)
        chars = "".join(chr(e[2]) for e in target.events() if e[1] == "char")
        print(f"    recorded {GERMAN_LINE!r}, Wine typed {chars!r}")
        check(_subsequence(GERMAN_LINE_UNDER_WINE, chars),
              f"the keys Wine numbers as Windows does type as recorded: {GERMAN_LINE_UNDER_WINE!r} in {chars!r}")
    finally:
        if prog:
            prog.close()
        if target:
            target.stop()
        subprocess.run(["setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", "us"])


def test_repeat_box_gets_field_and_keeps_text():
    folder, exe = fresh_copy("repeat")
    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        post_main(WM_COMMAND, ID_REPEAT_COUNT)
        cls, _, x, y, w, h, text = repeat_field()
        check(text == "1", f"field holds {text!r}")
        check(x == 75 and y in (45, 60) and h == 20, f"field at ({x}, {y}) height {h}")
        rc, _ = driver("settext", "-", "Playback Repeats", "Edit", "42")
        check(rc == 0, "could not type into the field")
        press_button("Playback Repeats", (1,))
        check(driver("gone", "-", "Playback Repeats", 5000)[0] == 0, "box did not close")
        # The count taken from the field comes back in the next box.
        post_main(WM_COMMAND, ID_REPEAT_COUNT)
        field = repeat_field()
        check(field[6] == "42", f"second box shows {field[6]!r}")
        press_button("Playback Repeats", (2,))
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")


def test_about_box_gets_link():
    folder, exe = fresh_copy("about")
    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        post_main(WM_COMMAND, ID_ABOUT)
        links = []
        for _ in range(30):
            links = [r for r in children("-", "About Quorvane") if r[1] == 0x800F]
            if links:
                break
            time.sleep(0.1)
        check(len(links) == 1, "no link in the about box")
        cls, _, x, y, w, h, text = links[0]
        check(cls.lower() == "static" and x == 75 and y in (15, 30) and h == 20,
              f"link {cls} at ({x}, {y}) height {h}")
        check(text == "Quorvane documentation", f"link text {text!r}")
        press_button("About Quorvane")
        check(driver("gone", "-", "About Quorvane", 5000)[0] == 0, "box did not close")
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")


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


def test_toolbar_paints_buttons_over_background():
    folder, exe = fresh_copy("paint")
    driver("cursor", 1000, 5)
    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        time.sleep(0.5)
        at = toolbar_pixels()
        background = at(1, 1)
        check(background != (240, 240, 240), "background is the key colour; nothing to tell apart")
        for i in range(6):
            dx, sx = 21 * i + 5, 16 * i
            # Key-coloured corners are transparent; the picture's middle is
            # the strip's own colour.
            check(at(dx, 5) == background and at(dx + 15, 20) == background,
                  f"button {i}: corner {at(dx, 5)} instead of the background {background}")
            for px, py in ((7, 7), (8, 8), (4, 8)):
                want = strip_pixel(sx + px, py)
                want = background if want == (240, 240, 240) else want
                check(at(dx + px, 5 + py) == want,
                      f"button {i} pixel ({px}, {py}) is {at(dx + px, 5 + py)}, strip {want}")
        # While recording the Rec button shows the strip's last picture.
        post_main(WM_COMMAND, ID_RECORD)
        time.sleep(0.5)
        at = toolbar_pixels()
        check(at(47 + 8, 5 + 8) == strip_pixel(96 + 8, 8), "Rec button unchanged while recording")
        post_main(WM_COMMAND, ID_RECORD)
        time.sleep(0.5)
        at = toolbar_pixels()
        check(at(47 + 8, 5 + 8) == strip_pixel(32 + 8, 8), "Rec button not back after recording")
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")


DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def set_dpi(dpi):
    """The desktop's DPI for programs started from now on; None goes back to
    the prefix's own 96."""
    if dpi:
        args = ["add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]
    else:
        args = ["delete", DESKTOP_KEY, "/v", "LogPixels", "/f"]
    subprocess.run(["wine", "reg", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def test_toolbar_doubles_at_192_dpi():
    """At 200% the toolbar is drawn in whole steps at twice the size: a
    262x52 client area, each picture pixel a 2x2 block, and a click on a
    doubled button hits that button. Wine 8 hands every program the
    desktop's DPI, declared aware or not, so the awareness itself is
    checked in the manifest (test_resources), not here."""
    folder, exe = fresh_copy("dpi192")
    set_dpi(192)
    prog = code = None
    try:
        driver("cursor", 1000, 5)
        prog = Program(exe)
        check(wait_window("QuorvaneClass"), "no main window")
        time.sleep(0.8)
        visible, x, y, w, h = wininfo("QuorvaneClass")
        check(visible == 1 and x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768,
              f"window {w}x{h} at {x},{y} not wholly on the screen")
        check(abs(x + w // 2 - 512) <= 1 and abs(y + h // 2 - 384) <= 1, f"window {w}x{h} at {x},{y} not centred")
        at = toolbar_pixels(2)
        background = at(1, 1)
        bad = 0
        for i in range(6):
            dx, sx = 2 * (21 * i + 5), 16 * i
            for py in range(16):
                for px in range(16):
                    want = strip_pixel(sx + px, py)
                    want = background if want == (240, 240, 240) else want
                    bad += any(at(dx + 2 * px + ex, 2 * (5 + py) + ey) != want for ex in (0, 1) for ey in (0, 1))
        check(bad == 0, f"{bad} picture pixels are not 2x2 blocks of the strip")
        keep = os.environ.get("QV_WIN_SHOTS")
        if keep:
            subprocess.run(["import", "-window", "root", "-crop", f"{w + 24}x{h + 24}+{x - 12}+{y - 12}",
                            "+repage", keep], check=True)
        # The Options button's doubled right half opens its menu.
        ox, oy, _, _ = (int(v) for v in driver("origin", "QuorvaneClass", "-", 5000)[1].split("|"))
        driver("cursor", ox + 2 * (107 + 13), oy + 2 * 13)
        driver("click")
        check(wait_window("#32768", "-", 5000), "the options menu opens on a click at 2x")
        driver("type", 0x1B)
    finally:
        if prog:
            code = prog.close()
        set_dpi(None)
    check(code == 0, f"exit code {code}")


def test_toolbar_click_and_enter_key():
    folder, exe = fresh_copy("click")
    driver("cursor", 1000, 5)
    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        # A click on the Play picture with nothing loaded.
        post_main(WM_LBUTTONDOWN, 0, (13 << 16) | 70)
        texts = [r[6] for r in children("#32770", "Quorvane")]
        check(any(t.startswith("Nothing Recorded") for t in texts), f"box texts {texts}")
        press_button("Quorvane")
        check(driver("gone", "#32770", "Quorvane", 5000)[0] == 0, "box did not close")
        # Enter opens the options menu; R then picks "Set &Repeat Count...".
        post_main(WM_KEYDOWN, 0x0D, 1)
        check(wait_window("#32768", "-", 10000), "no options menu")
        time.sleep(0.3)
        post_main(WM_KEYDOWN, ord("R"), 1)
        field = repeat_field()
        check(field[6] == "1", f"repeat field holds {field[6]!r}")
        press_button("Playback Repeats", (2,))
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")


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


def test_save_through_dialog_adds_extension_and_keeps_bytes():
    folder, exe = fresh_copy("save")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    prog = Program(exe, winpath(rec))
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        time.sleep(4)  # the start-up playback ends first
        post_main(WM_COMMAND, ID_SAVE)
        answer_save_dialog(os.path.join(folder, "copy"))
        deadline = time.time() + 10
        while time.time() < deadline:
            found = wait_window("QuorvaneClass")
            if found and found.endswith("|copy.rec"):
                break
            time.sleep(0.2)
        check(found and found.endswith("|copy.rec"), f"caption {found!r}")
    finally:
        code = prog.close()
    check(code == 0, f"exit code {code}")
    saved = os.path.join(folder, "copy.rec")
    check(os.path.exists(saved), "nothing saved as copy.rec")
    check(open(saved, "rb").read() == open(rec, "rb").read(), "saved bytes differ from the file")


def test_player_with_bad_records_reports_and_exits_hidden():
    folder, exe = fresh_copy("bad-player")
    player = os.path.join(folder, "broken.exe")
    with open(player, "wb") as f:
        f.write(open(EXE, "rb").read() + b"\x01" + bytes(19))
    ini = os.path.join(folder, "broken.ini")
    settings = b"[Quorvane]\r\ntips=7\r\n"
    with open(ini, "wb") as f:
        f.write(settings)
    title = winpath(player)
    prog = Program(player)
    try:
        texts = [r[6] for r in children("#32770", title, 20000)]
        check("Not a valid recording" in texts, f"box texts {texts}")
        check(wininfo("QuorvaneClass")[0] == 0, "the player's window is visible")
        press_button(title)
        code = prog.wait(20)
        check(code == 0, f"exit code {code}")
    finally:
        prog.close()
    # The window was never destroyed, so the settings file stays as it was.
    check(open(ini, "rb").read() == settings, "settings file changed")


def test_records_input_saves_and_plays_it_back():
    folder, exe = fresh_copy("record")
    target = Target(folder)
    driver("cursor", 1000, 700)
    prog = Program(exe)
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        post_main(WM_COMMAND, ID_RECORD)
        time.sleep(0.5)
        driver("move", 220, 160)
        time.sleep(0.2)
        driver("click")  # the target takes the focus
        time.sleep(0.2)
        driver("type", 0x51, 0x37)
        # Middle and side buttons, taken as key records of their codes.
        driver("move", 260, 180)
        time.sleep(0.2)
        for button in ("middle", "x1", "x2"):
            driver("click", button)
            time.sleep(0.1)
        driver("move", 300, 210)
        time.sleep(0.3)
        post_main(WM_COMMAND, ID_RECORD)
        time.sleep(0.5)
        post_main(WM_COMMAND, ID_SAVE)
        answer_save_dialog(os.path.join(folder, "taken"))
        time.sleep(0.5)
    finally:
        code = prog.close()
        target.stop()
    check(code == 0, f"exit code {code}")
    saved = os.path.join(folder, "taken.rec")
    check(os.path.exists(saved), "nothing saved")
    data = open(saved, "rb").read()
    check(data and len(data) % 20 == 0 and data[0] == 0, f"not a recording: {len(data)} bytes")
    records = [struct.unpack_from("<5I", data, i) for i in range(0, len(data), 20)]
    names = {0x100: "keydown", 0x101: "keyup", 0x200: "move", 0x201: "ldown", 0x202: "lup"}
    seen = []
    for message, paramL, paramH, _, _ in records:
        kind = names.get(message, hex(message))
        seen.append((kind, paramL & 0xFF) if kind.startswith("key") else
                    (kind, paramL, paramH) if kind == "move" else (kind,))
    want = [("move", 220, 160), ("ldown",), ("lup",), ("keydown", 0x51), ("keyup", 0x51),
            ("keydown", 0x37), ("keyup", 0x37), ("move", 260, 180), ("keydown", 4), ("keyup", 4),
            ("keydown", 5), ("keyup", 5), ("keydown", 6), ("keyup", 6), ("move", 300, 210)]
    i = 0
    for s in seen:
        if i < len(want) and s == want[i]:
            i += 1
    check(i == len(want), f"recorded {seen}, missing {want[i:i + 1]}")
    times = [r[3] for r in records]
    check(all((b - a) & 0xFFFFFFFF < 5000 for a, b in zip(times, times[1:])),
          "time stamps do not run forward")

    # The saved recording plays the same keys and buttons back.
    target = Target(folder)
    driver("cursor", 1000, 700)
    prog = Program(exe, winpath(saved))
    try:
        check(target.wait_for("x2up", 1, 20), f"playback did not arrive: {target.events()}")
        time.sleep(0.5)
        acts = [(k, a) if k.startswith("key") else (k, a, b) for _, k, a, b in actions_of(target.events())]
        check(acts == [("ldown", 220, 160), ("lup", 220, 160), ("keydown", 0x51), ("keyup", 0x51),
                       ("keydown", 0x37), ("keyup", 0x37)] +
              [(k, 260, 180) for k in ("mdown", "mup", "x1down", "x1up", "x2down", "x2up")],
              f"played {acts}")
    finally:
        prog.close()
        target.stop()


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


def test_hotkeys_work_while_another_window_has_the_focus():
    VK_CONTROL, VK_SHIFT, VK_MENU, VK_F8, VK_PAUSE = 0x11, 0x10, 0x12, 0x77, 0x13
    for settings, chord in ((None, (VK_CONTROL, VK_SHIFT, VK_MENU, ord("R"))),
                            (b"[Quorvane]\r\nrecord_key=8\r\n", (VK_F8,))):
        folder, exe = fresh_copy("hotkeys")
        if settings:
            with open(os.path.join(folder, "quorvane.ini"), "wb") as f:
                f.write(settings)
        target = Target(folder)
        prog = Program(exe)
        try:
            check(wait_window("QuorvaneClass"), "no main window")
            driver("move", 200, 150)
            driver("click")  # the target takes the focus
            time.sleep(0.3)
            driver("chord", *chord)
            text = wait_caption(lambda t: t.startswith("REC "))
            check(text.startswith("REC "), f"{chord}: caption {text!r} after the record hotkey")
            driver("type", ord("Q"))
            driver("chord", *chord)
            text = wait_caption(lambda t: not t.startswith("REC "))
            check(text == "Quorvane", f"{chord}: caption {text!r} after stopping")
            check(any(k == "keydown" and a == ord("Q") for _, k, a, _ in target.events()),
                  "the typed key did not reach the focused window")
            # Played continuously, the recording holds the Q alone: no key
            # of the hotkey ends a pass, and none stops the playback. Its
            # passes are short, so Pause is still held when one ends.
            mark = len(target.events())
            post_main(WM_COMMAND, ID_CONTINUOUS)
            post_main(WM_COMMAND, ID_PLAY)
            text = wait_caption(lambda t: loop_number(t) >= 3, 20)
            check(loop_number(text) >= 3, f"{chord}: caption {text!r}, not a third pass; played "
                  f"{[(k, hex(a)) for _, k, a, _ in target.events()[mark:]]}")
            driver("type", VK_PAUSE)
            text = wait_caption(lambda t: not t.startswith("PLAY"))
            check(text == "Quorvane", f"{chord}: caption {text!r} after Pause; played "
                  f"{[(k, hex(a)) for _, k, a, _ in target.events()[mark:]][:40]}")
            keys = [a for _, k, a, _ in target.events()[mark:] if k.startswith("key")]
            keys = keys[:keys.index(VK_PAUSE)] if VK_PAUSE in keys else keys
            check(keys.count(ord("Q")) >= 4 and set(keys) == {ord("Q")},
                  f"{chord}: played keys {[hex(k) for k in keys]}")
        finally:
            prog.close()
            target.stop()


def test_stop_lets_go_of_held_buttons():
    """A recording that holds Shift and the right, middle and first side
    button through a 5 s wait: the play hotkey, Pause and closing the
    window each stop it at once, and no key or button stays down."""
    WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_KEYUP = 0x200, 0x204, 0x205, 0x101
    # The right button comes first: its press gives the target the focus,
    # which takes Wine a moment.
    rows = [(WM_MOUSEMOVE, 200, 150, 0), (WM_RBUTTONDOWN, 0, 0, 20), (WM_KEYDOWN, 4, 0, 40),
            (WM_KEYDOWN, 5, 0, 60), (WM_KEYDOWN, 0x2A10, 0x2A, 90), (WM_KEYDOWN, 0x51 + 0x1000, 0x10, 100),
            (WM_KEYUP, 0x51 + 0x1000, 0x10, 140),
            (WM_KEYDOWN, 0x51 + 0x1000, 0x10, 5140), (WM_KEYUP, 0x51 + 0x1000, 0x10, 5180),
            (WM_KEYUP, 5, 0, 5200), (WM_KEYUP, 4, 0, 5220), (WM_RBUTTONUP, 0, 0, 5240),
            (WM_KEYUP, 0x2A10, 0x2A, 5260)]
    for stop in (("chord", 0x11, 0x10, 0x12, ord("P")), ("type", 0x13), ("close",)):
        folder, exe = fresh_copy("held")
        rec = os.path.join(folder, "held.rec")
        with open(rec, "wb") as f:
            f.write(b"".join(struct.pack("<5I", m, a, b, t, 0) for m, a, b, t in rows))
        target = Target(folder)
        driver("cursor", 1000, 700)
        prog = Program(exe, winpath(rec))
        try:
            check(target.wait_for("keyup", 1, 20), f"playback did not arrive: {target.events()}")
            acts = [(k, a) for _, k, a, _ in actions_of(target.events())]
            acts = [k if k.startswith(("r", "m", "x")) else (k, a) for k, a in acts]
            check(acts == ["rdown", "mdown", "x1down", ("keydown", 0x10), ("keydown", 0x51), ("keyup", 0x51)],
                  f"{stop[0]}: played {acts}")
            t0 = time.time()
            if stop[0] == "close":
                check(prog.close() == 0, "exit code 0 after a close mid-playback")
            else:
                driver(*stop)
                text = wait_caption(lambda t: t == "held.rec")
                check(text == "held.rec", f"{stop[0]}: caption {text!r} after the stop")
            took = time.time() - t0
            print(f"    {stop[0]}: stopped {took:.2f} s after the press, in a 5 s wait")
            check(took < 4, f"{stop[0]}: {took:.2f} s to stop")
            time.sleep(0.3)
            ups = sorted(k for _, k, _, _ in actions_of(target.events()) if k in ("rup", "mup", "x1up"))
            check(ups == ["mup", "rup", "x1up"], f"{stop[0]}: buttons let go: {ups}")
            rc, down = driver("held")
            check(rc == 0 and not down.strip(), f"{stop[0]}: keys and buttons down: {down.strip()}")
            check(sum(1 for _, k, a, _ in target.events() if k == "keydown" and a == 0x51) == 1,
                  f"{stop[0]}: keys after the wait were played")
        finally:
            prog.close()
            target.stop()


def compile_player(folder, exe, rec, name, report_starts="Compile Successful"):
    """Loads rec, sets repeat count 2 and fast speed, and compiles a player
    named name through the save dialog. Returns the player's path and the
    report box's text."""
    prog = Program(exe, winpath(rec))
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        # The recording plays once at start (under two seconds); compiling
        # waits for the idle state.
        time.sleep(4)
        found = wait_window("QuorvaneClass")
        check(found and found.endswith("|" + os.path.basename(rec)), f"caption {found!r}")
        post_main(WM_COMMAND, ID_REPEAT_COUNT)
        repeat_field()
        check(driver("settext", "-", "Playback Repeats", "Edit", "2")[0] == 0, "no repeat field")
        press_button("Playback Repeats", (1,))
        check(driver("gone", "-", "Playback Repeats", 5000)[0] == 0, "box did not close")
        post_main(WM_COMMAND, ID_SPEED_FAST)
        post_main(WM_COMMAND, ID_COMPILE)
        target = os.path.join(folder, name)
        answer_save_dialog(target)
        report = None
        for _ in range(50):
            rows = children("#32770", "Quorvane", 2000) if wait_window("#32770", "Quorvane", 200) else []
            report = [r[6] for r in rows if r[6].startswith("Compile")]
            if report:
                break
            time.sleep(0.2)
        check(report and report[0].startswith(report_starts), f"report {report}")
        press_button("Quorvane")
    finally:
        prog.close()
    player = target if target.lower().endswith(".exe") else target + ".exe"
    return player, report[0]


def test_compiled_player_plays_twice_hidden_and_exits():
    folder, exe = fresh_copy("compile")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    player, report = compile_player(folder, exe, rec, "player")
    check(report == f'Compile Successful: "player.exe"\r\n\r\nFile Size:  '
          f'{(os.path.getsize(EXE) + 320) // 1024}k' or
          report.replace("\r", "") == f'Compile Successful: "player.exe"\n\nFile Size:  '
          f'{(os.path.getsize(EXE) + 320) // 1024}k', f"report {report!r}")
    check(os.path.exists(player), "no player written")
    size = os.path.getsize(player)
    check(size == os.path.getsize(EXE) + os.path.getsize(rec), f"player is {size} bytes")
    data = open(player, "rb").read()
    check(b"00002" in data and b"@@@@@" not in data and b"$$$$$" not in data,
          "fields not patched")

    target = Target(folder)
    driver("cursor", 1000, 700)
    run = Program(player)
    try:
        info = wininfo("QuorvaneClass")
        check(info[0] == 0, "the player's window is visible")
        code = run.wait(60)
        check(code == 0, f"player exit code {code}")
        time.sleep(0.3)
        events = target.events()
        # Fast speed thins the moves out; every key and button still comes,
        # twice, in order.
        acts = [(k, a) for _, k, a, _ in actions_of(events)]
        want = [(k, a) for k, a, _, _ in read_expected() if k != "move"]
        check(acts == want * 2, f"got {acts}")
    finally:
        run.close()
        target.stop()

    # With an argument the player plays that file instead, once.
    other = os.path.join(folder, "other.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), other)
    target = Target(folder)
    driver("cursor", 1000, 700)
    run = Program(player, winpath(other))
    try:
        code = run.wait(60)
        check(code == 0, f"player exit code {code}")
        time.sleep(0.3)
        events = target.events()
        compare_playback(events, read_expected())
    finally:
        run.close()
        target.stop()


def test_compile_onto_a_folder_fails_and_leaves_nothing():
    folder, exe = fresh_copy("compile-fail")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    # The dialog accepts "blocked"; the program then adds ".exe", which
    # names a folder.
    os.makedirs(os.path.join(folder, "blocked.exe"))
    before = sorted(os.listdir(folder))
    player, report = compile_player(folder, exe, rec, "blocked", "Compile Failed!")
    check(report.replace("\r", "") == "Compile Failed!\n\n" + winpath(player), f"report {report!r}")
    check(os.path.isdir(player) and not os.listdir(player), "the folder was touched")
    left = sorted(os.listdir(folder))
    check(left == before, f"left behind: {sorted(set(left) - set(before))}")


TESTS = [(name, fn) for name, fn in list(globals().items()) if name.startswith("test_")]


def main():
    os.makedirs(WORK, exist_ok=True)
    passed = failed = 0
    for name, fn in TESTS:
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


if __name__ == "__main__":
    main()
