"""Hotkeys and stop keys: the hotkeys work while another window has the
focus, and a stop lets go of every held key and button."""
import os
import struct
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


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
