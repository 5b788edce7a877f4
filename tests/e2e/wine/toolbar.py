"""The toolbar and its boxes: the repeat-count box, the about box's link,
the painted buttons, a click and the Enter key."""
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


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
