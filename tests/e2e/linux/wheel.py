"""Buttons and the mouse wheel: the wheel recorded as wheel records, played
back notch for notch, the wheel files of both desktops, and clicks that
land on the recorded pixel."""
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


# Points across a wide target, odd and even columns and rows, where a
# mapping of the absolute scale a pixel off shows; the toolbar, centred on
# the screen, lies below them.
CLICK_RECT = (0, 0, 1024, 340)
CLICK_POINTS = [(1 + i * 397 % 1022, 1 + i * 151 % 338) for i in range(1, 25)]


def _clicks_at(points, gap):
    """A recording that moves to each point and clicks there, gap ms apart."""
    ev, t = [], 1000
    for x, y in points:
        for message in (WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP):
            ev.append((message, x, y, t))
            t += gap
    return rec_bytes(ev)


def _pressed_at(evs):
    return [(int(f[3]), int(f[4])) for f in evs if f[1] == "ButtonPress" and f[2] == "1"]


def test_first_click_of_a_fast_start_lands_on_its_pixel(s):
    """Eight fresh starts at fast speed of a file whose first records are a
    move and a click: each click lands on the recorded pixel."""
    with open(os.path.join(s.dir, "quorvane.ini"), "w") as f:
        f.write("[Quorvane]\nspeed=1\n")
    s.start_target(CLICK_RECT)
    for i, point in enumerate(CLICK_POINTS[:8]):
        name = f"first{i}.rec"
        with open(os.path.join(s.dir, name), "wb") as f:
            f.write(_clicks_at([point], 20))
        mark = len(s.events())

        def clicked():
            evs = [(f[1], f[2]) for f in s.events(mark)]
            return ("ButtonPress", "1") in evs and \
                ("ButtonRelease", "1") in evs[evs.index(("ButtonPress", "1")):]
        s.start_program(name, wait_title=None)
        check(X.wait_until(clicked, 10), f"start {i + 1}: the click arrives")
        clicks = _pressed_at(s.events(mark))
        check(clicks == [point], f"start {i + 1}: recorded {point}, clicked at {clicks}")
        s.toolbar = X.find_window(name)
        check(s.toolbar, f"start {i + 1}: the toolbar named after the file")
        check(s.close_program() == 0, f"start {i + 1}: exit code 0")


def test_clicks_at_normal_speed_land_on_their_pixels(s):
    """Twenty-four clicks across the target at normal speed, each on the
    recorded pixel."""
    with open(os.path.join(s.dir, "clicks.rec"), "wb") as f:
        f.write(_clicks_at(CLICK_POINTS, 40))
    s.start_target(CLICK_RECT)
    s.start_program("clicks.rec", wait_title=None)
    check(X.wait_until(lambda: len(_pressed_at(s.events())) >= len(CLICK_POINTS), 15),
          f"{len(_pressed_at(s.events()))} of {len(CLICK_POINTS)} clicks arrive")
    time.sleep(0.3)
    clicks = _pressed_at(s.events())
    wrong = [(want, got) for want, got in zip(CLICK_POINTS, clicks) if want != got]
    check(len(clicks) == len(CLICK_POINTS) and not wrong, f"recorded and clicked: {wrong}")
