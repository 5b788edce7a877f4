"""Buttons and the wheel: wheel records played and recorded, the middle
and side buttons recorded and played back, and clicks that land on the
recorded pixel."""
import os
import shutil
import struct
import subprocess
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


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


# Points across a wide target, odd and even columns and rows, where a
# mapping of the absolute scale a pixel off shows; the toolbar, centred on
# the screen, lies below them.
CLICK_RECT = (0, 0, 1024, 340)
CLICK_POINTS = [(1 + i * 397 % 1022, 1 + i * 151 % 338) for i in range(1, 25)]


def clicks_at(points, gap):
    """A recording that moves to each point and clicks there, gap ms apart."""
    out, t = b"", 1000
    for x, y in points:
        for message in (0x200, 0x201, 0x202):
            out += struct.pack("<5I", message, x, y, t, 0)
            t += gap
    return out


def pressed_at(events):
    return [(a, b) for _, kind, a, b in events if kind == "ldown"]


def test_first_click_of_a_fast_start_lands_on_its_pixel():
    """Eight fresh starts at fast speed of a file whose first records are a
    move and a click: the click comes right behind the move, and lands on
    the recorded pixel whichever of the move, the cursor set and the click
    the desktop handles first."""
    folder, exe = fresh_copy("first-click")
    with open(os.path.join(folder, "quorvane.ini"), "w") as f:
        f.write("[Quorvane]\r\nspeed=1\r\n")
    target = Target(folder, rect=CLICK_RECT)
    try:
        for i, point in enumerate(CLICK_POINTS[:8]):
            rec = os.path.join(folder, f"first{i}.rec")
            with open(rec, "wb") as f:
                f.write(clicks_at([point], 20))
            driver("cursor", 1000, 700)
            mark = len(target.events())
            prog = Program(exe, winpath(rec))
            try:
                # Done once the click's release has come (the player's own
                # release before a pass comes ahead of the press).
                deadline = time.time() + 30
                while time.time() < deadline:
                    kinds = [e[1] for e in target.events()[mark:]]
                    if "ldown" in kinds and "lup" in kinds[kinds.index("ldown"):]:
                        break
                    time.sleep(0.1)
            finally:
                prog.close()
            clicks = pressed_at(target.events()[mark:])
            check(clicks == [point], f"start {i + 1}: recorded {point}, clicked at {clicks}")
    finally:
        target.stop()


def test_clicks_at_normal_speed_land_on_their_pixels():
    """Twenty-four clicks across the target at normal speed, each on the
    recorded pixel."""
    folder, exe = fresh_copy("clicks")
    rec = os.path.join(folder, "clicks.rec")
    with open(rec, "wb") as f:
        f.write(clicks_at(CLICK_POINTS, 40))
    target = Target(folder, rect=CLICK_RECT)
    driver("cursor", 1000, 700)
    prog = Program(exe, winpath(rec))
    try:
        target.wait_for("ldown", len(CLICK_POINTS), 30)
        time.sleep(0.3)
        clicks = pressed_at(target.events())
        wrong = [(want, got) for want, got in zip(CLICK_POINTS, clicks) if want != got]
        check(len(clicks) == len(CLICK_POINTS) and not wrong,
              f"{len(clicks)} of {len(CLICK_POINTS)} clicks arrived; recorded and clicked: {wrong}")
    finally:
        prog.close()
        target.stop()
