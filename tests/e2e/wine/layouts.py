"""Keyboard layouts: a line recorded under the German layout on Linux
plays here under the same layout."""
import os
import re
import shutil
import subprocess
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


# The line the Linux stage types under the German layout; the fixture is
# its recording made there (tests/e2e/linux, test_layout_de).
GERMAN_LINE = "zyZY#+<>äöüÄÖÜß-_.,7/=?@{[]}\\~|€²µ"


def set_layout(layout):
    subprocess.run(["setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", layout], check=True)
    q = subprocess.run(["setxkbmap", "-query"], capture_output=True, text=True).stdout
    check(re.search(r"^layout:\s+" + layout + r"$", q, re.M), f"layout {layout} in effect: {q}")


# What Wine reproduces of it. Wine numbers the letters and digits by what
# they type, as Windows does, but gives the other German keys the US
# positions' codes (where Windows puts VK_OEM_2 on #, Wine has it on -), and
# makes no AltGr characters from an injected Ctrl + right Alt. The keys
# both number alike come out, in order: letters, digits with their Shift
# level, comma, period and the key left of Y.
GERMAN_LINE_UNDER_WINE = "zyZY<>.,7/="


def _subsequence(part, whole):
    it = iter(whole)
    return all(c in it for c in part)


def test_linux_recording_types_the_same_characters_under_the_same_layout():
    """Cross-desktop: a line recorded under the German layout on Linux
    plays here with the X display's layout German when Wine starts (Wine
    takes its layout from the X keyboard map)."""
    folder, exe = fresh_copy("layout_de")
    rec = os.path.join(folder, "de_line.rec")
    shutil.copy(os.path.join(FIXTURES, "linux_de_line.rec"), rec)
    set_layout("de")
    target = prog = None
    try:
        # The recording's click at (150, 300) gives this window the keys.
        target = Target(folder, rect=(0, 0, 640, 480))
        driver("cursor", 1000, 700)
        prog = Program(exe, winpath(rec))
        # Done when the keys have stopped coming for two seconds.
        last, still, deadline = -1, time.time(), time.time() + 40
        while time.time() < deadline and time.time() - still < 2.0:
            n = sum(1 for e in target.events() if e[1] in ("keydown", "keyup"))
            if n != last:
                last, still = n, time.time()
            time.sleep(0.2)
        chars = "".join(chr(e[2]) for e in target.events() if e[1] == "char")
        print(f"    recorded {GERMAN_LINE!r}, Wine typed {chars!r}")
        check(_subsequence(GERMAN_LINE_UNDER_WINE, chars),
              f"the keys Wine numbers as Windows does type as recorded: {GERMAN_LINE_UNDER_WINE!r} in {chars!r}")
    finally:
        if prog:
            prog.close()
        if target:
            target.stop()
        subprocess.run(["setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", "us"])
