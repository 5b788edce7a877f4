"""The mouse wheel: recorded as wheel records, played back notch for notch,
and the wheel files of both desktops."""
import os
import shutil
import struct
import time

import xtools as X
from common import *  # noqa: F401,F403  the shared session, checks and steps


WM_MOUSEWHEEL, WM_MOUSEHWHEEL = 0x20A, 0x20E
# A wheel notch as X11 clicks it: button 4 up, 5 down, 6 left, 7 right.
WHEEL_BUTTONS = {"4": (WM_MOUSEWHEEL, 1), "5": (WM_MOUSEWHEEL, -1),
                 "6": (WM_MOUSEHWHEEL, -1), "7": (WM_MOUSEHWHEEL, 1)}


def _wheel_clicks(evs):
    """The wheel buttons the target was clicked with, in order."""
    return [f[2] for f in evs if f[1] == "ButtonPress" and f[2] in WHEEL_BUTTONS]


def _wheel_notches(data):
    """The wheel records of .rec bytes as one button per whole notch, the
    way X11 plays them; parts of a notch add up per wheel."""
    out, rest = [], {WM_MOUSEWHEEL: 0, WM_MOUSEHWHEEL: 0}
    by_turn = {v: k for k, v in WHEEL_BUTTONS.items()}
    for i in range(0, len(data) - 19, 20):
        msg, pl, ph, _, _ = struct.unpack_from("<5I", data, i)
        if msg not in rest:
            continue
        check(ph == 0, f"a wheel record's second parameter is 0, not {ph}")
        rest[msg] += pl - (1 << 32) if pl >= 1 << 31 else pl
        n = int(rest[msg] / 120)
        rest[msg] -= n * 120
        out += [by_turn[(msg, 1 if n > 0 else -1)]] * abs(n)
    return out


def test_wheel_recorded_and_played_back(s):
    """The wheel turned over the target while recording with the hotkeys
    (two notches up, three down, one left, one right) becomes wheel records,
    and playback turns it the same seven notches in the same order."""
    _wheel_recorded_and_played_back(s)


def test_wheel_recorded_and_played_back_under_window_manager(s):
    wm = X.start_window_manager()
    if wm is None:
        print("    openbox not installed: checked without a window manager only")
        return
    try:
        _wheel_recorded_and_played_back(s)
    finally:
        X.stop(wm)


def _wheel_recorded_and_played_back(s):
    s.start_program()
    s.start_target()
    record_by_hotkey(s)
    X.xdo("mousemove", TARGET_RECT[0] + 150, TARGET_RECT[1] + 120)
    time.sleep(0.2)
    mark = len(s.events())
    turned = ["4", "4", "5", "5", "5", "6", "7"]
    for b in turned:
        X.xdo("click", b)
        time.sleep(0.06)
    time.sleep(0.2)
    check(_wheel_clicks(s.events(mark)) == turned, f"the target saw the wheel: {_wheel_clicks(s.events(mark))}")
    X.press("ctrl+shift+alt+r", 0.2)
    check(X.wait_until(lambda: not (s.caption() or "").startswith("REC"), 3), "recording stops on the hotkey")
    path = os.path.join(s.dir, "wheel.rec")
    save_to(s, path)
    data = open(path, "rb").read()
    check(_wheel_notches(data) == turned, f"the recording holds the notches: {_wheel_notches(data)}")
    keep = os.environ.get("QV_E2E_WHEEL_REC")
    if keep:
        shutil.copy(path, keep)
    X.xdo("mousemove", TARGET_RECT[0] + 200, TARGET_RECT[1] + 50)
    time.sleep(0.1)
    mark = len(s.events())
    X.press("ctrl+shift+alt+p", 0.2)
    check(X.wait_until(lambda: (s.caption() or "").startswith("PLAY"), 3), "playback starts on the hotkey")
    check(X.wait_until(lambda: not (s.caption() or "").startswith("PLAY"), 15), "playback ends")
    time.sleep(0.3)
    played = _wheel_clicks(s.events(mark))
    check(played == turned, f"playback turns the same notches:\n  turned {turned}\n  played {played}")
    check(s.close_program() == 0, "exit code 0")


def test_wheel_files_of_both_desktops_play(s):
    """The shared wheel recording (whole notches and parts of one that add
    up) and one recorded under Wine play the notches they hold."""
    s.start_target(FIXTURE_TARGET_RECT)
    names = [n for n in ("play_wheel.rec", "wheel_windows.rec") if os.path.exists(os.path.join(FIXTURES, n))]
    check("play_wheel.rec" in names, "the shared wheel fixture exists")
    for name in names:
        path = os.path.join(s.dir, name)
        shutil.copy(os.path.join(FIXTURES, name), path)
        want = _wheel_notches(open(path, "rb").read())
        check(want, f"{name} holds wheel notches")
        # The wheel acts where the pointer is: inside the target, unless
        # the recording moves it there itself.
        X.xdo("mousemove", FIXTURE_TARGET_RECT[0] + 200, FIXTURE_TARGET_RECT[1] + 150)
        mark = len(s.events())
        s.start_program(path, wait_title=None)
        s.toolbar = X.wait_until(lambda: X.find_window(name, 0.1), 10)
        check(s.toolbar, f"{name}: idle again, named after the file")
        check(X.wait_until(lambda: len(_wheel_clicks(s.events(mark))) >= len(want), 5), f"{name}: notches arrive")
        time.sleep(0.3)
        got = _wheel_clicks(s.events(mark))
        check(got == want, f"{name}: played {got}, holds {want}")
        check(s.close_program() == 0, "exit code 0")
