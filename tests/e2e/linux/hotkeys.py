"""The hotkeys and stop keys: a recording holds none of the record hotkey's
keys, and Pause, the play hotkey or closing the window stop a playback and
let go of every key and button."""
import os
import re
import signal
import subprocess
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
            try:
                started = X.wait_until(lambda: (s.caption() or "").startswith("REC"), 3)
                time.sleep(0.1)
                dpy = X.XDisplay()
                down = dpy.keys_down()
                dpy.close()
            finally:
                # The keyboard keeps them down until told: held on, they
                # would reach every later case.
                real_keys("up", list(reversed(RECORD_CHORD)))
            check(started, f"{source}: recording starts")
            check(down == [], f"held keyboard keys read as up once the recording starts: {down}")
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
    # button through a 5 s wait: Pause, the play hotkey, closing the window
    # and the end of the session (SIGTERM) each stop it at once and let go
    # of every key and button.
    ev = [(WM_MOUSEMOVE, 200, 300, 0), (WM_KEYDOWN, 0x10, None, 10), (WM_KEYDOWN, 0xA0, None, 10),
          (WM_RBUTTONDOWN, 0, 0, 20), (WM_KEYDOWN, 0x04, None, 40),
          (WM_KEYDOWN, 0x05, None, 60), (WM_KEYDOWN, 0x42, None, 100), (WM_KEYUP, 0x42, None, 140),
          (WM_KEYDOWN, 0x42, None, 5140), (WM_KEYUP, 0x42, None, 5180), (WM_KEYUP, 0x05, None, 5200),
          (WM_KEYUP, 0x04, None, 5220), (WM_RBUTTONUP, 0, 0, 5240), (WM_KEYUP, 0xA0, None, 5260),
          (WM_KEYUP, 0x10, None, 5260)]
    path = os.path.join(s.dir, "held.rec")
    open(path, "wb").write(rec_bytes(ev))
    probe = Probe(s.probe)
    for stop in ("Pause", "ctrl+shift+alt+p", "close", "SIGTERM"):
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
        elif stop == "SIGTERM":
            s.proc.send_signal(signal.SIGTERM)
            check(s.proc.wait(3) == 0, f"exit code {s.proc.returncode} after SIGTERM mid-playback")
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
        check(stop in ("close", "SIGTERM") or s.close_program() == 0, "exit code 0")
        check(not [f for f in s.events(mark) if f[2] == "b" and f[1] == "KeyPress"][1:],
              f"{stop}: nothing after the wait was played")


def _command(s, verb):
    return subprocess.run([s.exe, verb], env=s.env, capture_output=True, text=True, timeout=10)


def test_commands_from_a_second_start(s):
    """--play, --stop and --record from a second start reach the running
    toolbar (for desktops that give programs no hotkeys): a stop mid-way
    types nothing more, --play plays the recording again, --record starts a
    recording that --stop ends; without a toolbar the start says so and
    exits 1."""
    # a, then s three seconds later: time to stop in between.
    ev = [(WM_KEYDOWN, 0x41, None, 1000), (WM_KEYUP, 0x41, None, 1080),
          (WM_KEYDOWN, 0x53, None, 4000), (WM_KEYUP, 0x53, None, 4080)]
    path = os.path.join(s.dir, "gap.rec")
    open(path, "wb").write(rec_bytes(ev))
    s.start_target()
    pressed = lambda key: [f for f in s.events() if f[1:3] == ["KeyPress", key]]  # noqa: E731
    s.start_program(path, wait_title=None)
    check(X.wait_until(lambda: pressed("a"), 6), f"the file plays at start: {s.events()}")
    r = _command(s, "--stop")
    check(r.returncode == 0, f"--stop delivered: {r.returncode} {r.stderr!r}")
    time.sleep(3.5)
    check(not pressed("s"), f"the stopped playback types nothing more: {s.events()}")
    r = _command(s, "--play")
    check(r.returncode == 0, f"--play delivered: {r.returncode} {r.stderr!r}")
    check(X.wait_until(lambda: len(pressed("a")) == 2, 6), f"--play plays it again: {s.events()}")
    check(_command(s, "--stop").returncode == 0, "--stop delivered again")
    time.sleep(3.5)
    check(not pressed("s"), "stopped again")
    s.toolbar = X.find_window("gap.rec")
    check(s.toolbar, "the toolbar shows the recording's name")
    check(_command(s, "--record").returncode == 0, "--record delivered")
    check(X.wait_until(lambda: [t for _, t in X.windows() if t.startswith("REC ")], 3),
          f"a recording runs: {X.windows()}")
    check(_command(s, "--stop").returncode == 0, "--stop delivered to the recording")
    check(X.wait_until(lambda: not [t for _, t in X.windows() if t.startswith("REC ")], 3),
          "--stop ends the recording")
    s.toolbar = X.find_window("Quorvane") or X.find_window("gap.rec")
    check(s.close_program() == 0, "exit code 0")
    r = _command(s, "--play")
    check(r.returncode == 1 and "no Quorvane toolbar runs" in r.stderr,
          f"without a toolbar: exit 1 and why: {r.returncode} {r.stderr!r}")
