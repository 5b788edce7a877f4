"""Compile: the marks the compiler patches, a compiled player that plays
hidden and ends, and a failed compile that leaves nothing."""
import os
import re
import subprocess
import time

import xtools as X
from common import *  # noqa: F401,F403  the shared session, checks and steps


def test_own_size_and_placeholders(s):
    """The compiler finds its own image length and the spots it patches by
    these marks, so each must be there once and true."""
    data = open(s.exe, "rb").read()
    m = re.search(rb"QvOwnSize:(\d{6})", data)
    check(m, "a six-digit own-size mark")
    check(int(m.group(1)) == len(data), f"own size {m.group(1).decode()} is the file's {len(data)} bytes")
    check(data.count(b"@@@@@") == 1 and data.count(b"$$$$$") == 1,
          f"each placeholder once: @@@@@ {data.count(b'@@@@@')}, $$$$$ {data.count(b'$$$$$')}")


def _prepare_player(s, player):
    """Loads a recording, sets two passes at fast speed and compiles."""
    rec = short_recording(s)
    s.start_target()
    s.start_program(rec, wait_title=None)
    check(X.wait_until(lambda: len(s.events()) >= 4, 5), "the recording plays at start")
    s.toolbar = X.find_window("short.rec")
    check(s.toolbar, "idle again, named after the recording")
    X.xdo("mousemove", 5, 5)
    menu_key(s, "r")
    box = X.find_window("Playback Repeats")
    check(box, "the repeat-count box opens")
    time.sleep(0.3)
    X.xdo("type", "2")  # the field's text is selected, so this replaces it
    X.xdo("key", "Return")
    check(X.wait_until(lambda: X.find_window("Playback Repeats", 0.1) is None, 3), "the repeat box closes")
    menu_key(s, "f")
    compile_to(s, player)
    check(s.close_program() == 0, "exit code 0")


def test_compiled_player(s):
    player = os.path.join(s.dir, "player")
    _prepare_player(s, player)
    check(os.path.exists(player), "the player is written")
    check(os.access(player, os.X_OK), "the player is executable")
    size = os.path.getsize(player)
    check(size == os.path.getsize(s.exe) + 4 * 20, f"image plus four records, {size} bytes")
    mark = len(s.events())
    X.xdo("mousemove", TARGET_RECT[0] + 100, TARGET_RECT[1] + 100)
    p = X.start([player], cwd=s.dir)
    # Watched until it ends: no toolbar may show at any moment.
    shown = []
    end = time.time() + 10
    while p.poll() is None and time.time() < end:
        for w, t in X.windows():
            if t.startswith(("PLAY", "Quorvane", "short")):
                g = X.geometry(w)
                if g and g["state"] == "IsViewable":
                    shown.append(t)
        time.sleep(0.02)
    check(not shown, f"the player's window stays hidden: {shown[:3]}")
    try:
        rc = p.wait(1)
    except subprocess.TimeoutExpired:
        raise Failure("the player did not end by itself")
    check(rc == 0, f"the player exits with 0, not {rc}")
    keys = [(f[1], f[2]) for f in s.events(mark) if f[2] in ("a", "s")]
    one = [("KeyPress", "a"), ("KeyRelease", "a"), ("KeyPress", "s"), ("KeyRelease", "s")]
    check(keys == one * 2, f"two passes of the recording: {keys}")
    # With a file named, the player plays that file instead (once).
    other = os.path.join(s.dir, "other.rec")
    open(other, "wb").write(rec_bytes([(WM_KEYDOWN, 0x44, None, 0), (WM_KEYUP, 0x44, None, 40)]))
    mark = len(s.events())
    p = X.start([player, other], cwd=s.dir)
    try:
        rc = p.wait(10)
    except subprocess.TimeoutExpired:
        raise Failure("the player with a file did not end by itself")
    check(rc == 0, f"exit code 0 with a file, not {rc}")
    keys = [(f[1], f[2]) for f in s.events(mark) if f[2] in ("a", "s", "d")]
    check(keys == [("KeyPress", "d"), ("KeyRelease", "d")], f"the named file plays instead: {keys}")
    # Stopped by Pause, the hidden player ends too instead of staying on.
    long_rec = os.path.join(s.dir, "long.rec")
    open(long_rec, "wb").write(rec_bytes([(WM_KEYDOWN if i % 2 == 0 else WM_KEYUP, 0x44, None, 100 * i)
                                          for i in range(80)]))
    mark = len(s.events())
    p = X.start([player, long_rec], cwd=s.dir)
    check(X.wait_until(lambda: len(s.events(mark)) >= 4, 5), "the long file plays")
    X.press("Pause", 0.15)
    try:
        rc = p.wait(3)
    except subprocess.TimeoutExpired:
        raise Failure("the player stays on after Pause")
    check(rc == 0, f"exit code 0 after Pause, not {rc}")
    check(len([f for f in s.events(mark) if f[1] == "KeyPress" and f[2] == "d"]) < 30, "Pause stopped it early")


def test_failed_compile_leaves_nothing(s):
    # Root may write anywhere on disk, so the failure comes from a file
    # system that takes no new files.
    target = "/proc/qv-e2e-player"
    rec = short_recording(s)
    s.start_target()
    s.start_program(rec, wait_title=None)
    check(X.wait_until(lambda: len(s.events()) >= 4, 5), "the recording plays at start")
    s.toolbar = X.find_window("short.rec")
    X.xdo("mousemove", 5, 5)
    tx, ty = s.toolbar_origin()
    X.click(tx + 89 + 8, ty + 13)
    check(X.find_window("Save As"), "the save dialog opens")
    time.sleep(0.5)
    X.xdo("key", "ctrl+a")
    X.xdo("type", "--delay", "5", target)
    X.xdo("key", "Return")
    box = X.wait_until(lambda: [w for w, t in X.windows() if t == "Quorvane" and w != s.toolbar], 5)
    check(box, "a report box appears")
    shot_text = X.sh("xwininfo", "-id", str(box[0]))
    check(shot_text, "box exists")
    X.xdo("key", "Return")
    check(not os.path.exists(target), "nothing at the target")
    leftovers = [n for n in os.listdir("/proc") if n.startswith("qv-e2e")]
    check(not leftovers, f"no scratch file left: {leftovers}")
    check(s.close_program() == 0, "exit code 0")
