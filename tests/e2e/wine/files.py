"""Files: no settings file unless asked for, the settings file read,
written and removed, a bad recording's box, and Save through the dialog."""
import os
import re
import shutil
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


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
