"""Recording on Wayland, end to end: the pointer's place as each desktop
tells it (GNOME Shell's extension, KWin's script, sway's estimate), the
check without rights to the input devices, and recordings made from
stand-in input devices (FIFOs, not the kernel's: this machine has no
/dev/input), played back through the playback routes into the logging
window."""
import json
import os
import shutil
import sys
import time

import wl_desktops as D
import comp_gnome_kde as G
import wl_harness as H
from wl_harness import check, wait_until

WM_MOUSEMOVE = 0x200
LINUX_E2E = os.path.join(D.SOURCE, "tests", "e2e", "linux")


def run(t, *args, **env):
    exe = t.program_copy() if not getattr(t, "exe", None) else t.exe
    t.exe = exe
    return H.run_as_user([exe] + list(args), H.program_env(t.comp, **env), timeout=30,
                         cwd=t.folder.work)


def check_lines(t, **env):
    r = run(t, "--check", **env)
    lines = dict(ln.split(": ", 1) for ln in r.stdout.splitlines() if ": " in ln)
    return r.returncode, lines, r.stdout


def toolbar(t, devices=None, place=(1140, 5), **env):
    """The toolbar at place, reading the stand-in devices, ready for
    commands."""
    if devices:
        env.update(devices.env())
    exe = t.program_copy(place=place)
    t.exe = exe
    t.program = H.start_program(t.comp, exe, **env)
    sock = os.path.join(t.folder.runtime, f"quorvane-{t.comp.display}.sock")
    check(wait_until(lambda: os.path.exists(sock), 10),
          f"the toolbar listens for commands: {H.program_log(t.comp)[-600:]}")
    time.sleep(0.3)  # the devices are opened before the window is shown
    return t.program


def command(t, verb):
    r = run(t, verb)
    check(r.returncode == 0, f"{verb} reaches the toolbar: {r.stdout}{r.stderr}")


def test_sway_check_without_device_access(t):
    """No input device can be read: the check exits 1 and says how to get
    the rights; playback and the hotkeys' advice are there too; Rec shows
    the box and records nothing."""
    t.sway()
    code, lines, out = check_lines(t)
    check(code == 1, f"the check exits 1: {out}")
    rec = lines.get("recording", "")
    check(rec.startswith("none") and "input group" in rec and "sudo usermod -aG input $USER"
          in rec and "log in again" in rec, f"the recording line names the input group: {out}")
    check(lines.get("playback", "").startswith("wlroots"), f"the playback line: {out}")
    check(lines.get("hotkeys", "").startswith("none") and "quorvane --record, --play and --stop"
          in lines["hotkeys"], f"the hotkeys line: {out}")
    check("estimate" in lines.get("pointer", "") and "within" in lines["pointer"],
          f"sway's pointer is an estimate with its error: {out}")
    toolbar(t)
    command(t, "--record")
    box = lambda: window_rect(t, "Quorvane")  # noqa: E731
    refused = wait_until(box, 5)
    check(refused, "Rec shows a box")
    # Closed as a user closes it; then Play finds nothing recorded and says
    # so in a box of its own, of two lines where the first had many (while
    # recording it would do nothing).
    t.comp.msg('[title="^Quorvane$"]', "kill")
    check(wait_until(lambda: not box(), 5), "the box closes")
    command(t, "--play")
    nothing = wait_until(box, 5)
    check(nothing and nothing["height"] < refused["height"],
          f"Play after the refused Rec finds nothing recorded: {refused} then {nothing}")


def test_gnome_pointer_from_the_extension(t):
    """GNOME Shell with the installed extension enabled: after the
    compositor's injector put the pointer at 700,333 the check says so."""
    t.comp = D.GnomeShellPointer(t.folder).start(extension=True)
    t.comp.move(700, 333)
    code, lines, out = check_lines(t)
    check(lines.get("pointer") == "700,333 (gnome-shell extension)", f"pointer line: {out}")


def test_gnome_pointer_without_the_extension(t):
    """The extension installed but not enabled: the pointer is unknown and
    the check gives the command that enables it and says when GNOME loads
    it."""
    t.comp = D.GnomeShellPointer(t.folder).start(extension=False)
    code, lines, out = check_lines(t)
    p = lines.get("pointer", "")
    check(p.startswith("unknown") and
          "gnome-extensions enable pointer-legacy@quorvane.example" in p and "next login" in p,
          f"pointer line: {out}")


def test_kwin_pointer_from_the_script(t):
    """KWin: the program's own playback puts the pointer at 700,333 through
    KWin's fake input; the check's script reads it back."""
    t.comp = G.Kwin(t.folder).start()
    import run_wayland_e2e as R
    rec = R.Rec().add(WM_MOUSEMOVE, 700, 333)
    check(t.play_compiled(rec) == 0, f"the mover ends: {H.program_log(t.comp)[-400:]}")
    code, lines, out = check_lines(t)
    check(lines.get("pointer") == "700,333 (kwin script)", f"pointer line: {out}\n"
          f"{H.program_log(t.comp)[-600:]}")
    scripts = [n for n in os.listdir(t.folder.runtime) if n.startswith("quorvane-pointer")]
    check(not scripts, f"the check's script is gone after it: {scripts}")


def record_on_sway(t, layout=None):
    """Records from stand-in devices on sway, started by Rec and stopped by
    the record hotkey read from the device; then plays it into the window."""
    t.sway(layout=layout)
    lg = t.logger()
    dev = D.FakeDevices(t.folder)
    extra = {"XKB_DEFAULT_LAYOUT": layout} if layout else {}
    toolbar(t, dev, **extra)
    code, lines, out = check_lines(t, **dev.env(), **extra)
    check(lines.get("recording") == "input devices (1 keyboard, 1 pointer)" and code == 0,
          f"the check finds the stand-ins: {out}")
    check(lines.get("hotkeys") == "read from the input devices", f"hotkeys line: {out}")
    rec_and_click_on_sway(t, dev)
    return lg, dev, D.KEY


def rec_and_click_on_sway(t, dev):
    """Rec, then a click at 700,333. sway tells nobody where the pointer
    is: the estimate starts in the middle of the 1280x1024 output and
    follows the device's motion."""
    command(t, "--record")
    time.sleep(0.2)
    dev.motion(60, -179)
    time.sleep(0.05)
    dev.click()


def test_sway_records_from_the_devices(t):
    """Keys, a click at the estimated place and a wheel notch from the
    stand-in devices; the record hotkey from the device stops it (its
    chord trimmed); played back, the window sees what was fed."""
    lg, dev, K = record_on_sway(t)
    dev.tap(K["h"], K["shift"])
    dev.tap(K["i"])
    dev.wheel(-1)
    time.sleep(0.05)
    dev.tap(K["q"])
    # Ctrl+Shift+Alt+R, the record hotkey, held until the poll sees it.
    for k in ("ctrl", "shift", "alt", "r"):
        dev.key("event0", K[k], True)
        time.sleep(0.03)
    time.sleep(0.3)
    for k in ("r", "alt", "shift", "ctrl"):
        dev.key("event0", K[k], False)
    time.sleep(0.3)
    command(t, "--play")
    want = ["button press 1 700 333", "button release 1 700 333",
            "key press Shift_L 0", "key press H 1", "key release H 1", "key release Shift_L 1",
            "key press i 0", "key release i 0", "scroll down 700 333",
            "key press q 0", "key release q 0"]
    import run_wayland_e2e as R
    check(R.wait_events(lg, len(want)), f"the window sees the recording: {lg.events()}\n"
          f"{H.program_log(t.comp)[-800:]}")
    got = [" ".join(e) for e in R.played(lg)]
    check(got[:len(want)] == want, f"played back:\n  expected {want}\n  got      {got}")
    check(not [g for g in got[len(want):] if g.startswith("key press")],
          f"the hotkey's keys are not in the recording: {got[len(want):]}")


def test_sway_records_a_german_keyboard(t):
    """sway with xkb_layout de: the key left of U (Z on the German map) and
    the key right of T (Y there) are recorded by what they type and play z
    and y."""
    lg, dev, K = record_on_sway(t, layout="de")
    dev.tap(K["y"])
    dev.tap(K["z"])
    dev.tap(K["q"], K["altgr"])
    command(t, "--record")
    time.sleep(0.2)
    command(t, "--play")
    import run_wayland_e2e as R
    mods = {"Shift_L", "Control_L", "Alt_L", "ISO_Level3_Shift", "Alt_R"}

    def typed():
        return [e[2] for e in R.played(lg) if e[0] == "key" and e[1] == "press"
                and e[2] not in mods]
    wait_until(lambda: len(typed()) >= 3, 10)
    check(typed() == ["z", "y", "at"], f"typed {typed()}; all {lg.events()}")


def sway_click(t, x, y, button="button1"):
    """A click by sway's own injector: the seat's cursor, which the
    toolbar's virtual pointer gave the seat."""
    for step in (("set", str(x), str(y)), ("press", button), ("release", button)):
        t.comp.msg("seat", "-", "cursor", *step)


def window_rect(t, title):
    """The place and size of sway's window of that title, or None."""
    nodes = [json.loads(t.comp.msg("-t", "get_tree"))]
    while nodes:
        n = nodes.pop()
        if n.get("name") == title:
            return n["rect"]
        nodes += n.get("nodes", []) + n.get("floating_nodes", [])
    return None


def save_on_sway(t, place, name):
    """Saves the recording as a user does: the toolbar's Save button, the
    name typed into the dialog's name field, the dialog's Save button.
    Returns the file's path."""
    sway_click(t, place[0] + 1 + 26 + 8, place[1] + 15 + 13)  # frame, caption, Save

    dialog = lambda: window_rect(t, "Save As")  # noqa: E731
    rect = wait_until(dialog, 10)
    check(rect, f"Save opens the dialog: {H.program_log(t.comp)[-600:]}")
    # The name field sits in the middle of the dialog's header bar, its Save
    # button at the bar's right end. A new virtual keyboard's first keys may
    # be dropped while sway takes its keymap: wtype waits before typing.
    cx = rect["x"] + rect["width"] // 2
    sway_click(t, cx, rect["y"] + 22)
    r = H.run_as_user(["wtype", "-s", "200", name], t.comp.env())
    check(r.returncode == 0, f"wtype: {r.stderr}")
    import run_wayland_e2e as R

    def typed():
        """The name shows in the field (its grey text at the field's left
        end; the caret alone marks some 16 pixels): GTK may take the keys
        later than a click that comes after them, and Save with the field
        still empty does nothing."""
        shot = R.screenshot(t.comp, "save-typed")
        ink = sum(1 for x in range(cx - 180, cx - 60) for y in range(rect["y"] + 12, rect["y"] + 32)
                  if max(R.pixel(shot, x, y)) < 200)
        return ink > 60
    check(wait_until(typed, 10, step=0.1), "the name is typed into the dialog")
    sway_click(t, rect["x"] + rect["width"] - 49, rect["y"] + 22)
    path = os.path.join(t.folder.work, name)
    if not wait_until(lambda: os.path.exists(path) and not dialog(), 10):
        R.screenshot(t.comp, "save-failed")  # kept with QV_E2E_SHOTS
        check(False, f"saved as {name}: {os.listdir(t.folder.work)}; the dialog at {rect}, "
              f"now {dialog()}")
    return path


def play_on_x11(t, rec, layout, want_events):
    """Plays the file rec on a private Xvfb (QV_E2E_DISPLAYS, as the X11
    stage) with the layout set there, into the X11 stage's logging window
    full screen; returns the window's log once want_events keys and
    buttons came and the playback ended, and its pointer moves."""
    sys.path.insert(0, LINUX_E2E)
    import common as C
    import layouts as L
    import xtools as X
    target = os.path.join(os.path.dirname(os.path.abspath(t.exe_src)), "qv_target")
    check(os.path.exists(target), f"the X11 logging window is built: {target}")
    first, last = (int(v) for v in os.environ.get("QV_E2E_DISPLAYS", "91-95").split("-"))
    display = os.environ.get("DISPLAY")
    s = None
    try:
        X.start_xvfb(range(first, last + 1), size="1280x1024x24")
        L.set_layout(layout)
        s = C.Session(t.exe_src, target)
        s.env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        s.env["XDG_SESSION_TYPE"] = "x11"
        with open(os.path.join(s.dir, "quorvane.ini"), "w") as f:
            f.write("[Quorvane]\nwindow_x=1140\nwindow_y=5\n")
        path = os.path.join(s.dir, os.path.basename(rec))
        shutil.copy(rec, path)
        s.start_target((0, 0, 1280, 1024))
        s.start_program(path, wait_title=None)
        check(X.wait_until(lambda: len(s.events()) >= want_events, 15),
              f"the X11 window sees the recording: {s.events()}")
        check(X.wait_until(lambda: X.find_window(os.path.basename(rec), 0.1), 10),
              "the playback ends: the toolbar is idle, named after the file")
        return s.events(), s.moves()
    finally:
        if s:
            s.finish()
        X.stop_all()
        if display is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = display


def test_sway_recording_plays_on_x11(t):
    """Recorded on sway with a German keymap from the stand-in devices, saved
    through the dialog, played on X11 with the German layout: the window
    there gets the same characters (z, y, Z, @ by AltGr, / by Shift), the
    three buttons and the wheels (two half notches make one) at the places
    the moves led to, in order, and the gap of a key whose events were read
    late is the one between their stamps."""
    place = (600, 600)  # clear of the dialog's header bar
    t.sway(layout="de")
    dev = D.FakeDevices(t.folder)
    toolbar(t, dev, place, XKB_DEFAULT_LAYOUT="de")
    rec_and_click_on_sway(t, dev)
    K = D.KEY
    dev.tap(K["y"])
    dev.tap(K["z"])
    dev.tap(K["y"], K["shift"])
    dev.tap(K["q"], K["altgr"])
    dev.tap(K["7"], K["shift"])
    for dx, dy in ((100, 67), (100, 100)):
        dev.motion(dx, dy)
        time.sleep(0.05)
    dev.click(D.BTN_RIGHT)
    dev.wheel(-1)
    dev.wheel(0, fine=60)
    dev.wheel(1, fine=60)
    dev.wheel(1, horizontal=True)
    dev.motion(-500, 300)
    time.sleep(0.05)
    dev.click(D.BTN_MIDDLE)
    # i held half a second, its events handed over together: nothing else
    # happens in that half second.
    time.sleep(0.6)
    i = K["i"]
    dev.feed("event0", [(D.EV_KEY, i, 1), None, (D.EV_KEY, i, 0), None], ago=(0.5, 0))
    time.sleep(0.2)  # the devices are read before the command that stops
    command(t, "--record")
    rec = save_on_sway(t, place, "wayland.rec")

    want = ["ButtonPress 1 700 333", "ButtonRelease 1 700 333",
            "KeyPress z", "KeyRelease z", "KeyPress y", "KeyRelease y", "KeyPress Z", "KeyRelease Z",
            "KeyPress at", "KeyRelease at", "KeyPress slash", "KeyRelease slash",
            "ButtonPress 3 900 500", "ButtonRelease 3 900 500",
            "ButtonPress 5 900 500", "ButtonRelease 5 900 500",
            "ButtonPress 4 900 500", "ButtonRelease 4 900 500",
            "ButtonPress 7 900 500", "ButtonRelease 7 900 500",
            "ButtonPress 2 400 800", "ButtonRelease 2 400 800",
            "KeyPress i", "KeyRelease i"]
    level = {"Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Alt_R", "ISO_Level3_Shift"}
    evs, moves = play_on_x11(t, rec, "de", len(want) + 6)

    def seen(f):
        if f[1].startswith("Key"):
            return None if f[2] in level else f"{f[1]} {f[4]}"
        return " ".join(f[1:5])
    got = [g for g in map(seen, evs) if g]
    check(got[:len(want)] == want, f"played on X11:\n  expected {want}\n  got      {got}")
    check(all(g.startswith("ButtonRelease") for g in got[len(want):]),
          f"nothing else arrives: {got[len(want):]}")
    keys = {}
    for f in evs:
        if f[1].startswith("Key"):
            keys[f[2]] = keys.get(f[2], 0) + (1 if f[1] == "KeyPress" else -1)
    check(not [k for k, n in keys.items() if n], f"every key is let go: {keys}")
    it = iter(moves)
    places = [(700, 333), (800, 400), (900, 500), (400, 800)]
    check(all(p in it for p in places), f"the pointer passes {places} in order: {moves}")
    i = [int(f[0]) for f in evs if f[1].startswith("Key") and f[2] == "i"]
    # Stamped when read, the two would be recorded together; the player
    # may start the press late on a busy machine, hence the room below.
    check(len(i) == 2 and 250 <= i[1] - i[0] <= 750,
          f"i is held about the 500 ms between its stamps: {i}")


def test_sway_pause_from_the_device_stops_playback(t):
    """A long playback started from a file; Pause, Scroll Lock or the play
    hotkey pressed on the stand-in keyboard stops it, and the key it held
    is let go."""
    t.sway()
    lg = t.logger()
    dev = D.FakeDevices(t.folder)
    import run_wayland_e2e as R
    rec = R.Rec().click(300, 300)
    for _ in range(40):
        rec.tap(0x51)
    K = D.KEY

    def count(kind):
        return len([e for e in lg.events()[mark:] if e[:3] == ["key", kind, "q"]])
    for name, keys, hold in (("Pause", ["pause"], 0.04), ("Scroll Lock", ["scrolllock"], 0.04),
                             ("the play hotkey", ["ctrl", "shift", "alt", "p"], 0.3)):
        mark = len(lg.events())
        t.play(rec, **dev.env())
        check(wait_until(lambda: count("press") >= 3, 10), f"{name}: the playback runs: "
              f"{lg.events()[mark:]}")
        # A chord held until the poll sees it, as a hand holds it.
        for k in keys:
            dev.key("event0", K[k], True)
            time.sleep(0.03)
        time.sleep(hold)
        for k in reversed(keys):
            dev.key("event0", K[k], False)
        time.sleep(0.5)
        n = count("press")
        time.sleep(1.0)
        m = count("press")
        check(n == m and n < 40, f"no key after {name}: {n} then {m} of 40")
        check(count("release") == n, f"{name}: q is let go: {lg.events()[mark:][-6:]}")
        H.stop(t.program)
        dev.close()  # the next program opens the stand-ins anew


def record_on_desktop(t, mover):
    """Records on a desktop that tells the pointer's place, with a German
    keymap: the desktop's injector moves the pointer while the stand-in
    devices click, type (the keys that are Z and Y on the German map among
    them) and turn the wheel; stopped by Rec, played back through the
    desktop's own route into the window."""
    lg = t.logger()
    dev = D.FakeDevices(t.folder)
    toolbar(t, dev)
    command(t, "--record")
    time.sleep(0.3)
    mover(700, 333)
    time.sleep(0.3)
    K = D.KEY
    dev.click()
    dev.tap(K["h"], K["shift"])
    dev.tap(K["i"])
    dev.tap(K["y"])
    dev.tap(K["z"])
    dev.wheel(-1)
    time.sleep(0.05)
    dev.tap(K["q"])
    command(t, "--record")
    time.sleep(0.3)
    mover(100, 900)  # elsewhere, so the playback's move shows
    time.sleep(0.3)
    command(t, "--play")
    want = ["button press 1 700 333", "button release 1 700 333",
            "key press Shift_L 0", "key press H 1", "key release H 1", "key release Shift_L 1",
            "key press i 0", "key release i 0", "key press z 0", "key release z 0",
            "key press y 0", "key release y 0", "scroll down 700 333",
            "key press q 0", "key release q 0"]
    import run_wayland_e2e as R

    def seen():
        """KWin gives a notch only as a smooth scroll: read as the notch."""
        evs = R.played(lg, kinds=("key", "button", "scroll", "smooth"))
        discrete = any(e[0] == "scroll" for e in evs)
        out = []
        for e in evs:
            if e[0] == "smooth":
                if discrete or float(e[2]) == 0:
                    continue
                e = ["scroll", "down" if float(e[2]) > 0 else "up", e[3], e[4]]
            out.append(" ".join(e))
        return out
    check(wait_until(lambda: len(seen()) >= len(want), 10),
          f"the window sees the recording: {lg.events()}\n{H.program_log(t.comp)[-800:]}")
    got = seen()
    check(got[:len(want)] == want, f"played back:\n  expected {want}\n  got      {got}")


def test_gnome_records_from_the_devices(t):
    """GNOME Shell: moves as the extension tells them, the rest from the
    stand-in devices."""
    t.comp = D.GnomeShellPointer(t.folder).start(extension=True, layout="de")
    record_on_desktop(t, t.comp.move)


def test_kwin_records_from_the_devices(t):
    """KWin: moves as the script tells them (made by a compiled copy's
    playback through KWin's fake input), the rest from the devices."""
    t.comp = G.Kwin(t.folder).start(layout="de")
    import run_wayland_e2e as R

    def mover(x, y):
        exe = t.folder.put("mover", R.compiled(t.exe, R.Rec().add(WM_MOUSEMOVE, x, y)),
                           mode=0o755)
        p = H.start_program(t.comp, exe)
        check(p.wait(20) == 0, "the mover ends")
    record_on_desktop(t, mover)


def test_sway_estimate_against_the_true_place(t):
    """sway tells nobody where the pointer is. The true place is known here
    because sway's own injector (its seat's cursor) puts it there; the
    stand-in mouse reports the same way as motion, at a gain of 1 (as
    sway's virtual pointer moves, unaccelerated) and of 0.7 (a mouse the
    desktop accelerates). The recording's moves are the estimate; played
    back, the window shows them beside the true places. Prints the error;
    fails when it leaves the bound the check states (half the travel)."""
    t.sway()
    lg = t.logger()
    dev = D.FakeDevices(t.folder)
    toolbar(t, dev)
    import random

    import run_wayland_e2e as R
    rnd = random.Random(22)
    targets = [(rnd.randrange(40, 1240), rnd.randrange(40, 990)) for _ in range(10)]

    def mover(x, y):
        # sway's own injector: the seat's cursor, which the toolbar's
        # virtual pointer gave the seat.
        t.comp.msg("seat", "-", "cursor", "set", str(x), str(y))
        check(wait_until(lambda: (x, y) in lg.moves()[-1:], 3), f"the pointer is at {x},{y}")

    report = []
    # The estimate starts in the middle of the layout; so does the truth.
    mover(640, 512)
    start = (640, 512)
    for gain in (1.0, 0.7):
        command(t, "--record")
        time.sleep(0.2)
        truth, last, rest = [], start, [0.0, 0.0]
        for x, y in targets:
            mover(x, y)
            rest[0] += (x - last[0]) * gain
            rest[1] += (y - last[1]) * gain
            dx, dy = int(rest[0]), int(rest[1])
            rest = [rest[0] - dx, rest[1] - dy]
            dev.motion(dx, dy)
            truth.append((x, y))
            last = (x, y)
            time.sleep(0.15)
        command(t, "--record")
        time.sleep(0.2)
        before = len(lg.lines())
        command(t, "--play")
        # At normal speed: as long as the movers took.
        wait_until(lambda: len([ln for ln in lg.lines()[before:] if ln[0] == "motion"])
                   >= len(truth), 40)
        time.sleep(0.5)
        est = [(int(ln[1]), int(ln[2])) for ln in lg.lines()[before:] if ln[0] == "motion"]
        check(len(est) >= len(truth), f"every move plays back: {est}")
        est = est[-len(truth):]
        errs = [abs(a[0] - b[0]) + abs(a[1] - b[1]) for a, b in zip(est, truth)]
        travel, prev = 0, start
        for (x, y), e in zip(truth, errs):
            travel += abs(x - prev[0]) + abs(y - prev[1])
            prev = (x, y)
            check(e <= travel / 2 + 2, f"gain {gain}: error {e} px after {travel} px of travel "
                  f"stays within the check's bound; estimates {est}, truth {truth}")
        report.append(f"gain {gain}: error median {sorted(errs)[len(errs) // 2]} px, "
                      f"max {max(errs)} px over {travel} px of travel")
        if gain == 1.0:
            check(max(errs) <= 2, f"unaccelerated, the estimate is the true place: {errs}")
        # The playback's own last move is a place known for sure, and now
        # the true one too: the next round starts from it.
        start = est[-1]
    print("    estimate on sway: " + "; ".join(report), flush=True)
