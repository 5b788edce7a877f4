"""Timing: the shared recording plays into a window with its recorded
gaps, positions and order."""
import os
import shutil
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


def test_plays_recording_into_target():
    folder, exe = fresh_copy("play")
    rec = os.path.join(folder, "basic.rec")
    shutil.copy(os.path.join(FIXTURES, "play_basic.rec"), rec)
    target = Target(folder)
    driver("cursor", 1000, 700)
    prog = None
    try:
        prog = Program(exe, winpath(rec))
        got = target.wait_for("lup", 2, 30)
        time.sleep(0.3)
        events = target.events()
        check(got, f"playback did not finish: {events}")
        compare_playback(events, read_expected())
    finally:
        if prog:
            prog.close()
        target.stop()
