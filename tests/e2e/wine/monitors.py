"""Monitors and scaling: the toolbar at 192 DPI."""
import os
import subprocess
import time

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def set_dpi(dpi):
    """The desktop's DPI for programs started from now on; None goes back to
    the prefix's own 96."""
    if dpi:
        args = ["add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]
    else:
        args = ["delete", DESKTOP_KEY, "/v", "LogPixels", "/f"]
    subprocess.run(["wine", "reg", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def test_toolbar_doubles_at_192_dpi():
    """At 200% the toolbar is drawn in whole steps at twice the size: a
    262x52 client area, each picture pixel a 2x2 block, and a click on a
    doubled button hits that button. Wine 8 hands every program the
    desktop's DPI, declared aware or not, so the awareness itself is
    checked in the manifest (test_resources), not here."""
    folder, exe = fresh_copy("dpi192")
    set_dpi(192)
    prog = code = None
    try:
        driver("cursor", 1000, 5)
        prog = Program(exe)
        check(wait_window("QuorvaneClass"), "no main window")
        time.sleep(0.8)
        visible, x, y, w, h = wininfo("QuorvaneClass")
        check(visible == 1 and x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768,
              f"window {w}x{h} at {x},{y} not wholly on the screen")
        check(abs(x + w // 2 - 512) <= 1 and abs(y + h // 2 - 384) <= 1, f"window {w}x{h} at {x},{y} not centred")
        at = toolbar_pixels(2)
        background = at(1, 1)
        bad = 0
        for i in range(6):
            dx, sx = 2 * (21 * i + 5), 16 * i
            for py in range(16):
                for px in range(16):
                    want = strip_pixel(sx + px, py)
                    want = background if want == (240, 240, 240) else want
                    bad += any(at(dx + 2 * px + ex, 2 * (5 + py) + ey) != want for ex in (0, 1) for ey in (0, 1))
        check(bad == 0, f"{bad} picture pixels are not 2x2 blocks of the strip")
        keep = os.environ.get("QV_WIN_SHOTS")
        if keep:
            subprocess.run(["import", "-window", "root", "-crop", f"{w + 24}x{h + 24}+{x - 12}+{y - 12}",
                            "+repage", keep], check=True)
        # The Options button's doubled right half opens its menu.
        ox, oy, _, _ = (int(v) for v in driver("origin", "QuorvaneClass", "-", 5000)[1].split("|"))
        driver("cursor", ox + 2 * (107 + 13), oy + 2 * 13)
        driver("click")
        check(wait_window("#32768", "-", 5000), "the options menu opens on a click at 2x")
        driver("type", 0x1B)
    finally:
        if prog:
            code = prog.close()
        set_dpi(None)
    check(code == 0, f"exit code {code}")
