"""Compile: a player with bad records, a compiled player that plays twice
hidden and ends, and a compile onto a folder that leaves nothing."""
import os
import shutil
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


def test_player_with_bad_records_reports_and_exits_hidden():
    folder, exe = fresh_copy("bad-player")
    player = os.path.join(folder, "broken.exe")
    with open(player, "wb") as f:
        f.write(open(EXE, "rb").read() + b"\x01" + bytes(19))
    ini = os.path.join(folder, "broken.ini")
    settings = b"[Quorvane]\r\ntips=7\r\n"
    with open(ini, "wb") as f:
        f.write(settings)
    title = winpath(player)
    prog = Program(player)
    try:
        texts = [r[6] for r in children("#32770", title, 20000)]
        check("Not a valid recording" in texts, f"box texts {texts}")
        check(wininfo("QuorvaneClass")[0] == 0, "the player's window is visible")
        press_button(title)
        code = prog.wait(20)
        check(code == 0, f"exit code {code}")
    finally:
        prog.close()
    # The window was never destroyed, so the settings file stays as it was.
    check(open(ini, "rb").read() == settings, "settings file changed")


def compile_player(folder, exe, rec, name, report_starts="Compile Successful"):
    """Loads rec, sets repeat count 2 and fast speed, and compiles a player
    named name through the save dialog. Returns the player's path and the
    report box's text."""
    prog = Program(exe, winpath(rec))
    try:
        check(wait_window("QuorvaneClass"), "no main window")
        # The recording plays once at start (under two seconds); compiling
        # waits for the idle state.
        time.sleep(4)
        found = wait_window("QuorvaneClass")
        check(found and found.endswith("|" + os.path.basename(rec)), f"caption {found!r}")
        post_main(WM_COMMAND, ID_REPEAT_COUNT)
        repeat_field()
        check(driver("settext", "-", "Playback Repeats", "Edit", "2")[0] == 0, "no repeat field")
        press_button("Playback Repeats", (1,))
        check(driver("gone", "-", "Playback Repeats", 5000)[0] == 0, "box did not close")
        post_main(WM_COMMAND, ID_SPEED_FAST)
        post_main(WM_COMMAND, ID_COMPILE)
        target = os.path.join(folder, name)
        answer_save_dialog(target)
        report = None
        for _ in range(50):
            rows = children("#32770", "Quorvane", 2000) if wait_window("#32770", "Quorvane", 200) else []
            report = [r[6] for r in rows if r[6].startswith("Compile")]
            if report:
                break
            time.sleep(0.2)
        check(report and report[0].startswith(report_starts), f"report {report}")
        press_button("Quorvane")
    finally:
        prog.close()
    player = target if target.lower().endswith(".exe") else target + ".exe"
    return player, report[0]


def test_compiled_player_plays_twice_hidden_and_exits():
    folder, exe = fresh_copy("compile")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    player, report = compile_player(folder, exe, rec, "player")
    check(report == f'Compile Successful: "player.exe"\r\n\r\nFile Size:  '
          f'{(os.path.getsize(EXE) + 320) // 1024}k' or
          report.replace("\r", "") == f'Compile Successful: "player.exe"\n\nFile Size:  '
          f'{(os.path.getsize(EXE) + 320) // 1024}k', f"report {report!r}")
    check(os.path.exists(player), "no player written")
    size = os.path.getsize(player)
    check(size == os.path.getsize(EXE) + os.path.getsize(rec), f"player is {size} bytes")
    data = open(player, "rb").read()
    check(b"00002" in data and b"@@@@@" not in data and b"$$$$$" not in data,
          "fields not patched")

    target = Target(folder)
    driver("cursor", 1000, 700)
    run = Program(player)
    try:
        info = wininfo("QuorvaneClass")
        check(info[0] == 0, "the player's window is visible")
        code = run.wait(60)
        check(code == 0, f"player exit code {code}")
        time.sleep(0.3)
        events = target.events()
        # Fast speed thins the moves out; every key and button still comes,
        # twice, in order.
        acts = [(k, a) for _, k, a, _ in actions_of(events)]
        want = [(k, a) for k, a, _, _ in read_expected() if k != "move"]
        check(acts == want * 2, f"got {acts}")
    finally:
        run.close()
        target.stop()

    # With an argument the player plays that file instead, once.
    other = os.path.join(folder, "other.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), other)
    target = Target(folder)
    driver("cursor", 1000, 700)
    run = Program(player, winpath(other))
    try:
        code = run.wait(60)
        check(code == 0, f"player exit code {code}")
        time.sleep(0.3)
        events = target.events()
        compare_playback(events, read_expected())
    finally:
        run.close()
        target.stop()


def test_compile_onto_a_folder_fails_and_leaves_nothing():
    folder, exe = fresh_copy("compile-fail")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    # The dialog accepts "blocked"; the program then adds ".exe", which
    # names a folder.
    os.makedirs(os.path.join(folder, "blocked.exe"))
    before = sorted(os.listdir(folder))
    player, report = compile_player(folder, exe, rec, "blocked", "Compile Failed!")
    check(report.replace("\r", "") == "Compile Failed!\n\n" + winpath(player), f"report {report!r}")
    check(os.path.isdir(player) and not os.listdir(player), "the folder was touched")
    left = sorted(os.listdir(folder))
    check(left == before, f"left behind: {sorted(set(left) - set(before))}")
