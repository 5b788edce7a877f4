"""The program file itself: only system DLLs imported, the marks the
compiler patches, and its resources (icon, strip, manifest, version)."""
import os
import re
import struct
import subprocess

from pe_resources import resources

from common import *  # noqa: F401,F403  the driver, windows, checks and runner


OBJDUMP = os.environ.get("QV_OBJDUMP", "x86_64-w64-mingw32-objdump")
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "shell32.dll",
               "msvcrt.dll", "advapi32.dll", "comctl32.dll", "ntdll.dll", "ole32.dll",
               "shlwapi.dll", "ws2_32.dll", "version.dll", "winmm.dll"}


def test_import_table():
    out = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", out)}
    check(dlls, "no imports found")
    check(dlls <= SYSTEM_DLLS, f"imports beyond the system: {sorted(dlls - SYSTEM_DLLS)}")
    check("(Windows GUI)" in out, "not a GUI program")
    # The play and record ticks wait on a high-resolution timer, with the
    # system's resolution raised where that timer is missing, on the
    # performance counter's clock.
    for name in ("CreateWaitableTimerExW", "MsgWaitForMultipleObjectsEx", "timeBeginPeriod",
                 "timeEndPeriod", "QueryPerformanceCounter"):
        check(re.search(rf"\s{name}$", out, re.M), f"{name} not imported")
    check(not re.search(r"\sGetTickCount$", out, re.M), "the clock is the 15.6 ms tick count")


def test_own_size_and_placeholders():
    data = open(EXE, "rb").read()
    # Every compiled player carries the whole image: a C++ library part
    # linked in unnoticed once made it three times its size.
    check(len(data) < 100 * 1024, f"{len(data)} bytes, over 100 KB")
    m = re.search(rb"QvOwnSize:(\d{6})", data)
    check(m and int(m.group(1)) == len(data), "own-size text does not match the file")
    counts = {m: data.count(m) for m in (b"@@@@@", b"$$$$$", b"#####", b"~~~~~~~~")}
    check(all(n == 1 for n in counts.values()), f"placeholders not unique: {counts}")


def test_resources():
    tree = resources(open(EXE, "rb").read())
    group = tree.get(14, {}).get(1001)
    check(group, "no icon group 1001")
    n = struct.unpack_from("<H", group, 4)[0]
    sizes = []
    for i in range(n):
        w, h, _, _, _, bpp, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        sizes.append((w or 256, h or 256, bpp))
        check(icon_id in tree.get(3, {}), f"icon image {icon_id} missing")
    check(sorted(sizes, reverse=True) == [(48, 48, 8), (32, 32, 8), (16, 16, 8)],
          f"icon images {sizes}")
    strip = tree.get(2, {}).get(1002)
    check(strip, "no bitmap 1002")
    hdr, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", strip, 0)
    check((hdr, w, h, bpp, comp, len(strip)) == (40, 112, 16, 24, 0, 5416),
          f"strip is {w}x{h}x{bpp}, {len(strip)} bytes")
    manifest = tree.get(24, {}).get(1, b"").decode("utf-8", "replace")
    check("Microsoft.Windows.Common-Controls" in manifest and 'version="6.0.0.0"' in manifest,
          "manifest lacks common controls 6")
    check(manifest.count('processorArchitecture="amd64"') == 2, "manifest processor is not amd64")
    # Per-monitor v2 where the desktop knows it, per-monitor before it; the
    # older element for desktops that read only that.
    aware = re.search(r"<dpiAwareness[^>]*>([^<]*)</dpiAwareness>", manifest)
    check(aware and [v.strip() for v in aware.group(1).split(",")] == ["PerMonitorV2", "PerMonitor"],
          f"dpiAwareness: {aware and aware.group(1)!r}")
    check(re.search(r"<dpiAware[^>]*>\s*true/pm\s*</dpiAware>", manifest), "dpiAware true/pm")
    version = tree.get(16, {}).get(1, b"")
    check(b"\xbd\x04\xef\xfe" in version, "no fixed version information")
    fixed = version.index(b"\xbd\x04\xef\xfe")
    ms, ls = struct.unpack_from("<II", version, fixed + 8)
    check((ms, ls) == ((1 << 16) | 50, 0), f"file version {ms >> 16}.{ms & 0xFFFF}")
    check("1, 50, 0, 0".encode("utf-16-le") in version, "version text")
    check("040904b0".encode("utf-16-le") in version, "language block")
