"""Monitors and scaling: where the toolbar opens and a saved place is
clamped, two monitors, and the doubled toolbar under GDK_SCALE=2."""
import os
import struct
import time

import xtools as X
import common
from common import *  # noqa: F401,F403  the shared session, checks and steps
from record_play import record_and_play_back


def test_placed_on_the_primary_monitor(s):
    """With a monitor that is not the whole X screen (offset, smaller) the
    toolbar starts centred on it and a saved place is clamped to it: its
    geometry, not the screen's, is used."""
    w, h = TOOLBAR_SIZE
    ini = os.path.join(s.dir, "quorvane.ini")
    cases = [
        ((424, 0, 600, 500), None, (424 + 300 - w // 2, 250 - h // 2)),
        ((0, 268, 700, 500), None, (350 - w // 2, 268 + 250 - h // 2)),
        # Beyond the monitor's right edge: monitor width - window width.
        ((0, 268, 700, 500), (1000, 300), (700 - w, 300)),
        ((424, 0, 600, 500), (10, 700), (424 + 5, 500 - h)),
    ]
    try:
        for rect, saved, want in cases:
            X.set_monitor(rect)
            if saved:
                open(ini, "w").write(f"[Quorvane]\nwindow_x={saved[0]}\nwindow_y={saved[1]}\n")
            elif os.path.exists(ini):
                os.remove(ini)
            s.start_program()
            g = X.geometry(s.toolbar)
            check((g["x"], g["y"]) == want, f"monitor {rect}, saved {saved}: at {want}, not {g['x']},{g['y']}")
            check(s.close_program() == 0, "exit code 0")
    finally:
        X.delete_monitor()


def test_centred_on_the_primary_of_two_monitors(s):
    """A real two-monitor screen (Xorg's dummy driver): 1280x1024 and, right
    of it, 1024x768. The toolbar starts centred on the primary, never across
    the seam at x=1280 where the whole screen's middle lies; a saved place is
    clamped to the primary, whichever it is, also under a window manager;
    a recording made on the second monitor plays back there."""
    if not X.xorg_dummy_available():
        print("    Xorg with the dummy driver (as root) not available: checked on Xvfb's one monitor only")
        return
    w, h = TOOLBAR_SIZE
    ini = os.path.join(s.dir, "quorvane.ini")
    n, server = X.start_xorg_dummy(common.DISPLAYS, s.dir)
    saved_display = os.environ["DISPLAY"]
    os.environ["DISPLAY"] = f":{n}"
    wm = None
    try:
        X.sh("xrandr", "--output", "DUMMY0", "--mode", "1280x1024", "--primary")
        X.sh("xrandr", "--addmode", "DUMMY1", "1024x768")
        X.sh("xrandr", "--output", "DUMMY1", "--mode", "1024x768", "--right-of", "DUMMY0")
        out = X.sh("xrandr")
        check("DUMMY1 connected 1024x768+1280+0" in out and "current 2304 x 1024" in out,
              f"two monitors set up: {out[:300]}")
        cases = [
            # primary, saved place, where the toolbar must be
            ("DUMMY0", None, (640 - w // 2, 512 - h // 2)),
            ("DUMMY0", (1500, 100), (1280 - w, 100)),
            ("DUMMY1", None, (1280 + 512 - w // 2, 384 - h // 2)),
            ("DUMMY1", (1300, 900), (1300, 768 - h)),
            ("DUMMY1", (100, 100), (1280 + 5, 100)),
        ]
        for primary, saved, want in cases:
            X.sh("xrandr", "--output", primary, "--primary")
            if saved:
                open(ini, "w").write(f"[Quorvane]\nwindow_x={saved[0]}\nwindow_y={saved[1]}\n")
            elif os.path.exists(ini):
                os.remove(ini)
            s.start_program()
            g = X.geometry(s.toolbar)
            check((g["x"], g["y"]) == want, f"primary {primary}, saved {saved}: at {want}, not {g['x']},{g['y']}")
            check(s.close_program() == 0, "exit code 0")
        X.sh("xrandr", "--output", "DUMMY0", "--primary")
        os.remove(ini)
        wm = X.start_window_manager()
        if wm is None:
            print("    openbox not installed: placement checked without a window manager only")
        # The whole screen's coordinates: a click recorded on the second
        # monitor is played back onto a window there.
        rect = (1500, 200, 400, 300)
        s.start_program()
        g = X.geometry(s.toolbar)
        check((g["x"], g["y"]) == (640 - w // 2, 512 - h // 2), f"centred on the primary under a manager: {g}")
        time.sleep(0.3)
        X.screenshot(os.path.join(s.dir, "two-monitors.png"))
        s.start_target(rect)
        X.press("ctrl+shift+alt+r", 0.2)
        check(X.wait_until(lambda: (s.caption() or "").startswith("REC")), "recording starts")
        time.sleep(0.2)
        mark = len(s.events())
        X.click(1700, 350)
        time.sleep(0.2)
        made = [e for e in key_events(s.events(mark)) if e[0] == "ButtonPress"]
        X.press("ctrl+shift+alt+r", 0.2)
        check(X.wait_until(lambda: not (s.caption() or "").startswith("REC"), 3), "recording stops")
        check(made, "the click reaches the target on the second monitor")
        mark = len(s.events())
        X.xdo("mousemove", 100, 100)
        X.press("ctrl+shift+alt+p", 0.2)

        def played():
            return [e for e in key_events(s.events(mark)) if e[0] == "ButtonPress"]
        check(X.wait_until(played, 10), "playback clicks")
        check(X.wait_until(lambda: not (s.caption() or "").startswith("PLAY"), 10), "playback ends")
        played = played()
        check(played[:1] == made[:1], f"played {played} where recorded {made}")
        check(s.close_program() == 0, "exit code 0")
    finally:
        if wm:
            X.stop(wm)
        X.stop_all_of([p for p in (s.proc, s.target) if p])
        s.proc = s.target = None
        X.stop(server)
        os.environ["DISPLAY"] = saved_display


def test_scaled_toolbar(s):
    """Under GDK_SCALE=2 everything the toolbar does is in device pixels:
    a recording plays back where it was made, the window opens centred and
    whole, its pictures are the strip's pixels as sharp 2x2 blocks and the
    tips follow the pointer."""
    s.env = dict(os.environ, GDK_SCALE="2")
    s.scale = 2
    record_and_play_back(s)
    g = X.geometry(s.toolbar)
    size = (TOOLBAR_SIZE[0] * 2, TOOLBAR_SIZE[1] * 2)
    check((g["w"], g["h"]) == size, f"toolbar is {size}, not {g['w']}x{g['h']}")
    # Within the one device pixel that halving an odd place loses.
    cx, cy = 1024 // 2 - size[0] // 2, 768 // 2 - size[1] // 2
    check(abs(g["x"] - cx) <= 1 and abs(g["y"] - cy) <= 1, f"centred near {cx},{cy}, not {g['x']},{g['y']}")
    check(g["x"] >= 0 and g["y"] >= 0 and g["x"] + g["w"] <= 1024 and g["y"] + g["h"] <= 768, "fully on screen")
    X.xdo("mousemove", 5, 5)
    check(X.wait_until(lambda: s.caption() == "Quorvane"), "no tip away from the toolbar")
    time.sleep(0.3)
    shot = X.screenshot(os.path.join(s.dir, "scaled.png"))
    strip = X.read_bmp24(os.path.join(ROOT, "resources", "strip.bmp"))
    bad = 0
    for i in range(6):
        for yy in range(16):
            for xx in range(16):
                want = strip[yy][16 * i + xx]
                if want == strip[0][0]:
                    continue
                px, py = s.client_point(21 * i + 5 + xx, 5 + yy)
                bad += any(shot[py + dy][px + dx] != want for dy in (0, 1) for dx in (0, 1))
    check(bad == 0, f"{bad} picture pixels are not sharp 2x2 blocks of the strip")
    for x, tip in ((21 + 5 + 8, "Save"), (44 + 5 + 8, "Rec (ctl+shft+alt+R)"), (107 + 5 + 8, "Options (Enter)")):
        X.xdo("mousemove", *s.client_point(x, 13))
        check(X.wait_until(lambda: s.caption() == tip, 2), f"tip {tip!r} under the pointer, not {s.caption()!r}")
    X.xdo("mousemove", g["x"] + g["w"] + 3, g["y"] + 20)
    check(X.wait_until(lambda: s.caption() == "Quorvane", 2), "no tip just right of the toolbar")
    # Saved through the doubled Save button, the recording holds the first
    # click where the pointer was on the screen: device pixels.
    path = os.path.join(s.dir, "scaled.rec")
    X.click(*s.client_point(21 + 5 + 8, 13))
    dialog = X.find_window("Save As")
    check(dialog, "the save dialog opens")
    # At 2x the dialog fills the screen and takes a while to be ready.
    time.sleep(1.5)
    X.xdo("windowfocus", "--sync", dialog)
    X.xdo("key", "ctrl+a")
    X.xdo("type", "--delay", "5", path)
    time.sleep(0.5)
    X.xdo("key", "Return")
    check(X.wait_until(lambda: os.path.exists(path) and os.path.getsize(path) % 20 == 0, 10),
          f"recording saved: {os.listdir(s.dir)} {X.windows()}")
    data = open(path, "rb").read()
    downs = [struct.unpack_from("<3I", data, i)[1:] for i in range(0, len(data), 20)
             if struct.unpack_from("<I", data, i)[0] == WM_LBUTTONDOWN]
    check(downs[:1] == [(150, 300)], f"first press recorded at (150, 300), not {downs[:1]}")
    check(s.close_program() == 0, "exit code 0")
