"""The hotkeys and stop keys: a recording holds none of the record hotkey's
keys, and Pause, the play hotkey or closing the window stop a playback and
let go of every key and button."""
import os
import re
import time

import xtools as X
from common import *  # noqa: F401,F403  the shared session, checks and steps


RECORD_CHORD = ["Control_L", "Shift_L", "Alt_L", "r"]


def _pass_number(caption):
    """The pass a playing caption shows, 0 for any other caption."""
    m = re.match(r"PLAY \d+:\d+ \((\d+)/", caption or "")
    return int(m.group(1)) if m else 0


def _real_chord(keys, hold=0.2):
    real_keys("down", keys)
    time.sleep(hold)
    real_keys("up", list(reversed(keys)))


def test_record_hotkey_left_out_of_recording(s):
    """Started and stopped by the record hotkey, a recording holds none of
    the hotkey's keys: played continuously it runs pass after pass (an R in
    it would stop it), and no Ctrl, Shift, Alt or R reaches the target.
    Pressed by xdotool, and on the keyboard itself, whose keys an injected
    release cannot lift."""
    s.start_program()
    menu_key(s, "c")  # continuous playback
    s.start_target()
    chords = {"xdotool": lambda: X.press("ctrl+shift+alt+r", 0.2),
              "keyboard": lambda: _real_chord(RECORD_CHORD)}
    for source, chord in chords.items():
        if source == "keyboard":
            # The start's release makes the keys the keyboard still holds
            # read as up, so the recorder does not take them.
            real_keys("down", RECORD_CHORD)
            check(X.wait_until(lambda: (s.caption() or "").startswith("REC"), 3), f"{source}: recording starts")
            time.sleep(0.1)
            dpy = X.XDisplay()
            down = dpy.keys_down()
            dpy.close()
            check(down == [], f"held keyboard keys read as up once the recording starts: {down}")
            real_keys("up", list(reversed(RECORD_CHORD)))
        else:
            chord()
        check(X.wait_until(lambda: (s.caption() or "").startswith("REC"), 3), f"{source}: recording starts")
        time.sleep(0.3)
        X.press("a", 0.1)
        time.sleep(0.1)
        X.press("s", 0.1)
        time.sleep(0.3)
        chord()
        check(X.wait_until(lambda: not (s.caption() or "").startswith("REC"), 3), f"{source}: recording stops")
        time.sleep(0.3)
        dpy = X.XDisplay()
        down = dpy.keys_down()
        dpy.close()
        check(down == [], f"{source}: no key reads as down after the stop: {down}")
        mark = len(s.events())
        X.press("ctrl+shift+alt+p")
        check(X.wait_until(lambda: _pass_number(s.caption()) >= 3, 15),
              f"{source}: a third pass starts, caption {s.caption()!r}")
        # Pause from the same source: a keyboard's press survives the
        # releases between passes.
        if source == "keyboard":
            _real_chord(["Pause"], 0.15)
        else:
            X.press("Pause", 0.15)
        check(X.wait_until(lambda: not (s.caption() or "").startswith("PLAY"), 3), f"{source}: Pause stops")
        evs = [(f[1], f[2]) for f in s.events(mark) if f[1].startswith("Key")]
        first = evs.index(("KeyPress", "a")) if ("KeyPress", "a") in evs else len(evs)
        stop = evs.index(("KeyPress", "Pause")) if ("KeyPress", "Pause") in evs else len(evs)
        played = evs[first:stop]
        check(played.count(("KeyPress", "a")) >= 2, f"{source}: passes play the keys: {played}")
        extra = [e for e in played if e[1] not in ("a", "s")]
        check(not extra, f"{source}: keys beyond the recorded ones reach the target: {extra}")
        time.sleep(0.3)
    check(s.close_program() == 0, "exit code 0")


def test_pause_stops_and_releases(s):
    ev = [(WM_KEYDOWN, 0x10, None, 0), (WM_KEYDOWN, 0xA0, None, 0)]
    t = 50
    for i in range(60):
        ev += [(WM_KEYDOWN, 0x42, None, t), (WM_KEYUP, 0x42, None, t + 40)]
        t += 100
    ev += [(WM_KEYUP, 0xA0, None, t), (WM_KEYUP, 0x10, None, t)]
    path = os.path.join(s.dir, "long.rec")
    open(path, "wb").write(rec_bytes(ev))
    s.start_target()
    s.start_program(path, wait_title=None)
    check(X.wait_until(lambda: len(s.events()) >= 10, 5), "playback is under way")
    X.press("Pause", 0.15)
    time.sleep(0.3)
    n = len(s.events())
    time.sleep(0.8)
    check(len(s.events()) == n, "no more events after Pause")
    check(len([f for f in s.events() if f[1] == "KeyPress" and f[2] == "b"]) < 40, "playback stopped early")
    dpy = X.XDisplay()
    down = dpy.keys_down()
    dpy.close()
    check(down == [], f"no key reads as down afterwards: {down}")
    s.toolbar = X.find_window("long.rec") or X.find_window("Quorvane")
    check(s.toolbar, "idle caption after the stop")
    check(s.close_program() == 0, "exit code 0")
    # A recording that holds Shift and the right, middle and first side
    # button through a 5 s wait: Pause, the play hotkey and closing the
    # window each stop it at once and let go of every key and button.
    ev = [(WM_MOUSEMOVE, 200, 300, 0), (WM_KEYDOWN, 0x10, None, 10), (WM_KEYDOWN, 0xA0, None, 10),
          (WM_RBUTTONDOWN, 0, 0, 20), (WM_KEYDOWN, 0x04, None, 40),
          (WM_KEYDOWN, 0x05, None, 60), (WM_KEYDOWN, 0x42, None, 100), (WM_KEYUP, 0x42, None, 140),
          (WM_KEYDOWN, 0x42, None, 5140), (WM_KEYUP, 0x42, None, 5180), (WM_KEYUP, 0x05, None, 5200),
          (WM_KEYUP, 0x04, None, 5220), (WM_RBUTTONUP, 0, 0, 5240), (WM_KEYUP, 0xA0, None, 5260),
          (WM_KEYUP, 0x10, None, 5260)]
    path = os.path.join(s.dir, "held.rec")
    open(path, "wb").write(rec_bytes(ev))
    probe = Probe(s.probe)
    for stop in ("Pause", "ctrl+shift+alt+p", "close"):
        mark = len(s.events())
        s.start_program(path, wait_title=None)
        # The player lets go of the left button before each pass, held or not.
        held = [("ButtonPress", "3"), ("ButtonPress", "2"), ("ButtonPress", "8"), ("KeyPress", "b"),
                ("KeyRelease", "b")]
        check(X.wait_until(lambda: [(f[1], f[2]) for f in s.events(mark)
                                    if f[2] != "1" and f[2] not in MODIFIERS] == held, 5),
              f"{stop}: buttons held and the first key played: {s.events(mark)}")
        s.toolbar = X.wait_until(lambda: next((w for w, t in X.windows() if t.startswith("PLAY")), None), 2)
        check(s.toolbar, f"{stop}: the caption shows the playback")
        t0 = time.time()
        if stop == "close":
            check(s.close_program() == 0, "exit code 0 after a close mid-playback")
        else:
            X.press(stop, 0.15)
            check(X.wait_until(lambda: s.caption() == "held.rec", 3), f"{stop}: idle caption after the stop")
        took = time.time() - t0
        print(f"    {stop}: stopped {took:.2f} s after the press, in a 5 s wait")
        check(took < 2.5, f"{stop}: the stop took {took:.2f} s")
        time.sleep(0.2)
        released = [(f[1], f[2]) for f in s.events(mark) if f[1] == "ButtonRelease" and f[2] != "1"]
        check(sorted(released) == [("ButtonRelease", b) for b in "238"], f"{stop}: buttons let go: {released}")
        dpy = X.XDisplay()
        buttons = dpy.buttons_down()
        dpy.close()
        check(buttons == [], f"{stop}: buttons read as down: {buttons}")
        a, _, _ = probe.snap()
        check(not a & {1, 2, 4, 5, 6}, f"{stop}: button codes read as down: {a}")
        dpy = X.XDisplay()
        down = dpy.keys_down()
        dpy.close()
        check(down == [], f"{stop}: keys read as down: {down}")
        check(stop == "close" or s.close_program() == 0, "exit code 0")
        check(not [f for f in s.events(mark) if f[2] == "b" and f[1] == "KeyPress"][1:],
              f"{stop}: nothing after the wait was played")
