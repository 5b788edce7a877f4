"""Keyboard layouts: what is typed under a layout (levels, dead keys, a
switch while running, two groups in one map) plays back the same
characters."""
import os
import re
import shutil
import struct
import subprocess
import time

import xtools as X
from common import *  # noqa: F401,F403  the shared session, checks and steps


# Per layout: a line of the layout's own characters, Shift and AltGr
# levels included, typed by xdotool through the layout's keys.
LAYOUT_LINES = {
    "us": "<>a<>b<>Az-=[];',./\\`~!@#$%^&*()_+{}:\"|?",
    "de": "zyZY#+<>äöüÄÖÜß-_.,7/=?@{[]}\\~|€²µ",
    "fr": "azqmwAZQMW&é\"'(-è_çà)=$ù*,;:!<>1234567890@#{[|\\]}~€²µ§°£",
    "gb": "qwQW\"£$%^&*()_+-=[]{};'#:@~,./<>?\\|`¬€",
}
# Keys pressed for their level or group only.
LEVEL_KEYS = MODIFIERS | {"ISO_Level3_Shift", "Mode_switch", "ISO_Level5_Shift", "Super_L"}


def set_layout(layout):
    X.sh("setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", layout)
    q = X.sh("setxkbmap", "-query")
    check(re.search(r"^layout:\s+" + layout + r"$", q, re.M), f"layout {layout} in effect:\n{q}")


def made(evs):
    """The symbols the presses made, with their modifier state; presses
    made for their level alone are left out."""
    return [(f[4], f[5]) for f in evs if f[1] == "KeyPress" and len(f) >= 6 and f[4] not in LEVEL_KEYS]


def _record_typing(s, layout, type_args, expect_presses, switch_while_running=False):
    """Records xdotool typing into the target under layout, plays it back
    and returns (typed, played) as made() lists. switch_while_running: the
    program starts under us and the layout changes under it."""
    set_layout("us" if switch_while_running else layout)
    try:
        s.start_program()
        s.start_target()
        if switch_while_running:
            time.sleep(0.3)
            set_layout(layout)
            time.sleep(0.3)
        # The map the target reads is the layout's: the key left of X types
        # what the layout puts there.
        tx, ty = s.toolbar_origin()
        record_by_hotkey(s)
        time.sleep(0.2)
        X.click(150, 300)
        time.sleep(0.1)
        mark = len(s.events())
        r = subprocess.run(["xdotool"] + type_args, env=dict(os.environ, LC_ALL="C.UTF-8"),
                           capture_output=True, text=True)
        check(r.returncode == 0, f"xdotool {type_args}: {r.stderr}")
        # Fast taps are handed to the recorder one at a time, up to 60 ms
        # a shifted character: it may still be catching up.
        time.sleep(1.0 + 0.07 * expect_presses)
        typed = made(s.events(mark))
        X.click(tx + 47 + 8, ty + 13)
        check(X.wait_until(lambda: not (s.caption() or "").startswith("REC"), 3), "recording stops on the Rec click")
        time.sleep(0.3)
        mark2 = len(s.events())
        X.xdo("mousemove", TARGET_RECT[0] + 200, TARGET_RECT[1] + 50)
        time.sleep(0.1)
        X.press("ctrl+shift+alt+p", 0.2)
        check(X.wait_until(lambda: (s.caption() or "").startswith("PLAY"), 3), "playback starts on the hotkey")
        check(X.wait_until(lambda: not (s.caption() or "").startswith("PLAY"), 20), "playback ends")
        time.sleep(0.3)
        # From the played click on: the playback hotkey's own press reaches
        # the target, and a recording starts with the record hotkey's keys
        # still held.
        evs = s.events(mark2)
        start = next((i for i, f in enumerate(evs) if f[1] == "ButtonRelease" and f[2] == "1"), len(evs))
        played = made(evs[start:])
        check(len(typed) == expect_presses, f"xdotool typed {expect_presses} characters, target saw {typed}")
        check(s.proc.poll() is None, "program still runs")
        return typed, played
    finally:
        X.sh("setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", "us", check=False)


def _layout_line(s, layout, delay=40):
    line = LAYOUT_LINES[layout]
    typed, played = _record_typing(s, layout, ["type", "--delay", str(delay), line], len(line))
    check(played == typed, f"{layout}: playback makes what was typed:\n  typed  {typed}\n  played {played}")


def test_layout_de(s):
    """German: Z and Y swapped, umlauts, AltGr for @ { [ ] } \\ ~ | and €.
    The recording is saved: tests/fixtures/linux_de_line.rec is one such
    file (QV_E2E_LAYOUT_FIXTURE=PATH writes it anew), which the Windows
    stage plays under Wine with the same layout."""
    _layout_line(s, "de")
    path = os.path.join(s.dir, "de_line.rec")
    save_to(s, path)
    data = open(path, "rb").read()
    keys = [struct.unpack_from("<5I", data, i) for i in range(0, len(data) - 19, 20)]
    vks = [r[1] & 0xFF for r in keys if r[0] == WM_KEYDOWN]
    # AltGr as the other desktop records it: Ctrl and right Alt.
    check(0xA2 in vks and 0xA5 in vks and 0x11 in vks, f"AltGr recorded as Ctrl + right Alt: {vks}")
    check(ord("Z") in vks and ord("Y") in vks and 0xBF in vks, f"German codes for Z, Y and #: {vks}")
    out = os.environ.get("QV_E2E_LAYOUT_FIXTURE")
    if out:
        shutil.copy(path, out)


def test_layout_fr(s):
    """French: AZERTY letters, digits on the Shift level, AltGr symbols."""
    _layout_line(s, "fr")


def test_layout_gb(s):
    """British: the #~ key, the \\| key left of Z, £ and ¬."""
    _layout_line(s, "gb")


def test_layout_us_fast(s):
    """US typed at 30 ms a character, where a shifted key following a
    shifted key came back lost."""
    _layout_line(s, "us", delay=30)


def test_layout_change_while_running(s):
    """The program follows a layout switched while it runs."""
    line = "zy#ä@ÄY"
    typed, played = _record_typing(s, "de", ["type", "--delay", "40", line], len(line), True)
    check(played == typed, f"after the switch, playback makes what was typed:\n  typed  {typed}\n  played {played}")


def test_layout_group_switch(s):
    """Two layouts in one map (us,de): the codes follow the active group,
    as a layout switch by the desktop's switcher selects it."""
    X.sh("setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", "us,de")
    probe = Probe(s.probe)
    dpy = X.XDisplay()
    try:
        got = []
        for group in (1, 0, 1):
            dpy.lock_group(group)
            time.sleep(0.2)
            probe.snap()
            dpy.fake_code(29, True)  # the key right of T
            a = set()
            for _ in range(4):
                a, t, g = probe.snap()
            dpy.fake_code(29, False)
            for _ in range(4):
                probe.snap()
            got.append(sorted(a))
        check(got == [[0x5A], [0x59], [0x5A]], f"the key reads as Z under de, Y under us: {got}")
    finally:
        dpy.lock_group(0)
        dpy.close()
        X.sh("setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", "us", check=False)


def test_dead_keys(s):
    """Dead keys are keys like any other: the same presses come back, so
    the same accented letters are composed."""
    keys = ["dead_circumflex", "a", "dead_acute", "e", "dead_grave", "space"]
    typed, played = _record_typing(s, "de", ["key", "--delay", "60"] + keys, len(keys))
    check([t[0] for t in typed] == keys, f"dead keys typed as named: {typed}")
    check(played == typed, f"dead keys play back:\n  typed  {typed}\n  played {played}")
