"""Timing: the shared recording plays into a window with its recorded
gaps, positions and order, and at the rate and with the pause limit the
command line or the settings give."""
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


def test_rate_and_pause_limit():
    """a, b 1000 ms later, c 8000 ms later: --rate 2 plays the gaps in 500
    and 4000 ms, --rate 0.5 with a one-second limit in 2000 and 1000, and
    rate=400 in the settings file in 250 and 2000."""
    folder, exe = fresh_copy("rate")
    rec = rate_recording(folder)
    ini = os.path.join(folder, "quorvane.ini")
    # The moves between a and b come 100 ms apart in the recording.
    cases = [(["--rate", "2"], None, 50, [500, 4000]),
             (["--rate", "0.5", "--max-pause", "1"], None, 200, [2000, 1000]),
             ([], "[Quorvane]\r\nrate=400\r\n", 25, [250, 2000])]
    for args, settings, step, want in cases:
        running = []

        def play():
            if settings:
                with open(ini, "w") as f:
                    f.write(settings)
            target = fresh_target(folder)
            driver("cursor", 1000, 700)
            running[:] = [target, Program(exe, *args, winpath(rec))]
            return target

        def done():
            target, prog = running
            code = prog.close()
            target.stop()
            check(code == 0, f"exit code {code}")
            if settings:
                check("rate=400" in open(ini).read(), "the file's rate stays")
                os.remove(ini)
            else:
                check(not os.path.exists(ini), "nothing saved from the command line")
        paced_gaps(play, done, step, want, " ".join(args) or "rate=400")
