"""Headless GNOME (mutter, GNOME Shell) and KDE (KWin) for the Wayland
end-to-end tests, as compositors of wl_harness: each with a session bus of
its own and a home of its own in the test's folder (settings, desktop
entries and KDE's service cache stay there). Registered as "mutter" (GNOME
Shell when a keyboard layout is asked for) and "kwin"."""
import glob
import os
import re
import shutil

import wl_harness as H
from wl_harness import check


# A screenshot of the whole desktop as the user, by the desktop's own
# service, saved as PNG and PPM: KWin's ScreenShot2 writes raw pixels to a
# pipe (it lets anyone call it when started with
# KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1, as the tests start it); GNOME
# Shell's Screenshot answers only the names of its own helpers, and a
# client of this private bus may own one of them.
SHOT = r"""
import os, sys
import gi
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import Gio, GLib, GdkPixbuf
how, png, ppm = sys.argv[1:4]
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
if how == "kwin":
    r, w = os.pipe()
    fds = Gio.UnixFDList.new_from_array([w])  # owns w from here on
    res, _ = bus.call_with_unix_fd_list_sync(
        "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
        GLib.Variant("(a{sv}h)", ({}, 0)), GLib.VariantType("(a{sv})"), 0, 20000, fds, None)
    for fd in fds.steal_fds():  # the end of the data is KWin's copy closing
        os.close(fd)
    chunks = []
    while True:
        b = os.read(r, 1 << 20)
        if not b:
            break
        chunks.append(b)
    data, m = b"".join(chunks), res.unpack()[0]
    width, height, stride = m["width"], m["height"], m["stride"]
    rgb = bytearray(width * height * 3)
    for y in range(height):  # 32-bit pixels, B G R A in memory
        row = data[y * stride:y * stride + width * 4]
        for c in range(3):
            rgb[y * width * 3 + c:(y + 1) * width * 3:3] = row[2 - c::4]
    pb = GdkPixbuf.Pixbuf.new_from_bytes(GLib.Bytes.new(bytes(rgb)), GdkPixbuf.Colorspace.RGB, False, 8,
                                         width, height, width * 3)
    pb.savev(png, "png", [], [])
else:
    bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                  GLib.Variant("(su)", ("org.gnome.Screenshot", 4)), None, 0, -1, None)
    bus.call_sync("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                  "Screenshot", GLib.Variant("(bbs)", (False, False, png)), None, 0, 20000, None)
    pb = GdkPixbuf.Pixbuf.new_from_file(png)
n, stride, px = pb.get_n_channels(), pb.get_rowstride(), pb.get_pixels()
w, h = pb.get_width(), pb.get_height()
out = bytearray()
for y in range(h):
    row = px[y * stride:y * stride + w * n]
    out += row if n == 3 else bytes(b for i, b in enumerate(row) if i % 4 != 3)
with open(ppm, "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h) + out)
"""


class Desktop(H.Compositor):
    """A compositor that needs a session bus and a few helpers beside it;
    every process is stopped by its own process group."""

    def __init__(self, folder):
        super().__init__(folder)
        self.procs = []
        self.home = os.path.join(folder.root, "home")
        self.dirs = {k: os.path.join(self.home, v) for k, v in
                     (("XDG_DATA_HOME", "data"), ("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache"))}
        for d in [self.home] + list(self.dirs.values()):
            os.makedirs(d, exist_ok=True)
        self.extra = {}

    def own_home(self):
        for root, dirs, files in os.walk(self.home):
            for n in dirs + files:
                H.own_dir(os.path.join(root, n))
        H.own_dir(self.home)

    def base_env(self):
        e = super().base_env()
        e["HOME"] = self.home
        e.update(self.dirs)
        e["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={self.folder.runtime}/bus"
        # No accessibility bus: it would outlive the desktop.
        e["NO_AT_BRIDGE"] = "1"
        e["GTK_A11Y"] = "none"
        e.update(self.extra)
        return e

    def spawn(self, name, cmd, env=None):
        p = H.start_as_user(cmd, env or self.base_env(), log=os.path.join(self.folder.root, f"{name}.log"))
        self.procs.append((name, p))
        return p

    def wait_file(self, name, what, timeout=10.0):
        path = os.path.join(self.folder.runtime, name)
        check(H.wait_until(lambda: os.path.exists(path), timeout), f"{what} appears")

    def start_bus(self):
        self.spawn("dbus", ["dbus-daemon", "--session", "--nofork", f"--address=unix:path={self.folder.runtime}/bus"])
        self.wait_file("bus", "the session bus")

    def gdbus(self, *args, timeout=10):
        r = H.run_as_user(["gdbus"] + list(args), self.env(), timeout=timeout)
        return r.returncode, r.stdout + r.stderr

    def tail(self, n=15):
        text = ""
        for name, _p in self.procs:
            try:
                with open(os.path.join(self.folder.root, f"{name}.log"), errors="replace") as f:
                    text += f"--- {name}\n" + "".join(f.readlines()[-n:])
            except OSError:
                pass
        return text

    def shoot(self, ppm, png, how):
        r = H.run_as_user([H.SYSTEM_PYTHON, "-c", SHOT, how, png, ppm], self.env(), timeout=60)
        check(r.returncode == 0, f"a screenshot of {self.name}: {r.stderr[-800:]}")

    def stop(self):
        for _name, p in reversed(self.procs):
            H.stop(p)
        self.procs = []
        self.proc = None


class Mutter(Desktop):
    """mutter --headless with a virtual monitor each, or GNOME Shell (mutter
    with the shell) where a keyboard layout is asked for: plain mutter keeps
    the US layout, the shell sets the input sources'. PipeWire runs beside
    it unless told otherwise (the remote desktop's absolute moves need it),
    and Xwayland, where the toolbar goes as on a GNOME desktop.
    GSettings live in a key file of the private home: no dconf service, and
    nothing shared with the user's own settings."""
    name = "mutter"

    def settings(self, layout):
        # Without animations a window is where it stays once mapped: mutter
        # zooms a new one in, and clicks meanwhile land scaled.
        path = os.path.join(self.dirs["XDG_CONFIG_HOME"], "glib-2.0", "settings")
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, "keyfile"), "w") as f:
            f.write("[org/gnome/desktop/interface]\nenable-animations=false\n")
            if layout:
                f.write(f"[org/gnome/desktop/input-sources]\nsources=[('xkb', '{layout}')]\n")
        self.extra["GSETTINGS_BACKEND"] = "keyfile"

    def start(self, layout=None, pipewire=True, monitors=("1280x1024",), shell=None):
        self.shell = bool(layout) if shell is None else shell
        what = "gnome-shell" if self.shell else "mutter"
        try:
            self.settings(layout)
            self.own_home()
            self.start_bus()
            if pipewire:
                self.spawn("pipewire", ["pipewire"])
                self.wait_file("pipewire-0", "PipeWire's socket")
            cmd = [what, "--headless", "--wayland", "--wayland-display=wayland-0"]
            for m in monitors:
                cmd += ["--virtual-monitor", m]
            if self.shell:
                # The shell wants a system bus; a second session bus stands in.
                self.spawn("sysbus", ["dbus-daemon", "--session", "--nofork",
                                      f"--address=unix:path={self.folder.runtime}/system_bus"])
                self.wait_file("system_bus", "the stand-in system bus")
                self.extra["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={self.folder.runtime}/system_bus"
            self.proc = self.spawn(what, cmd)
            rc, out = self.gdbus("wait", "--session", "--timeout", "20", "org.gnome.Mutter.RemoteDesktop",
                                 timeout=25)
            check(rc == 0, f"org.gnome.Mutter.RemoteDesktop appears: {out}")
            self.wait_socket()
            self.xwayland()
            if self.shell:
                self.leave_overview()
            return self
        except BaseException as e:
            tail = self.tail()
            self.stop()
            raise H.Failure(f"{what} did not start: {e}\n{tail}")

    def xwayland(self):
        """The desktop's Xwayland, where the program's toolbar goes (as on
        a GNOME desktop, DISPLAY names it); its clients find its cookie."""
        log = os.path.join(self.folder.root, f"{'gnome-shell' if self.shell else 'mutter'}.log")

        def display():
            try:
                m = re.search(r"Using public X11 display (:[0-9]+)", open(log, errors="replace").read())
            except OSError:
                return None
            return m and m.group(1)
        shown = H.wait_until(display, 20.0, 0.05)
        check(shown, "mutter names its Xwayland display")
        auth = H.wait_until(lambda: glob.glob(os.path.join(self.folder.runtime, ".mutter-Xwaylandauth.*")), 5.0)
        check(auth, "Xwayland's cookie appears")
        self.extra["DISPLAY"] = shown
        self.extra["XAUTHORITY"] = auth[0]

    def screenshot(self, ppm, png):
        """The desktop by GNOME Shell; plain mutter has no service for it."""
        check(self.shell, "screenshots need GNOME Shell")
        self.shoot(ppm, png, "gnome")

    def overview(self, value=None):
        call = ["call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell", "-m"]
        if value is None:
            rc, out = self.gdbus(*call, "org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive")
            return rc == 0 and "true" in out
        rc, out = self.gdbus(*call, "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive",
                             "<true>" if value else "<false>")
        check(rc == 0, f"GNOME Shell's overview can be set: {out}")

    def leave_overview(self):
        # The shell ends its start by showing the overview, above every
        # window, and ignores a request to leave it while that start runs:
        # ask until it is gone.
        check(H.wait_until(self.overview, 15.0, 0.1), "GNOME Shell shows its overview at the end of its start")

        def leave():
            self.overview(False)
            return not self.overview()
        check(H.wait_until(leave, 15.0, 0.1), "GNOME Shell leaves its overview")


class Kwin(Desktop):
    """KWin --virtual. The installed binary carries a file capability that
    exec refuses here, and KWin's platform plugin accepts only a program
    named kwin_wayland: a plain copy of that name runs instead."""
    name = "kwin"
    # KWin's fake wheel has no notches: GTK reads a smooth scroll of 1.5
    # steps (15 a notch, as libinput counts a wheel).
    wheel_notch_down = "smooth 0 1.5"

    def start(self, size=(1280, 1024), data_dirs=None, layout=None, outputs=1):
        """data_dirs: the desktop's data folders (XDG_DATA_DIRS), where KWin
        and the programs look for desktop entries besides the home's."""
        if data_dirs:
            self.extra["XDG_DATA_DIRS"] = ":".join(data_dirs)
        try:
            # No animations: a window opening is where it stays at once.
            with open(os.path.join(self.dirs["XDG_CONFIG_HOME"], "kdeglobals"), "w") as f:
                f.write("[KDE]\nAnimationDurationFactor=0\n")
            if layout:
                with open(os.path.join(self.dirs["XDG_CONFIG_HOME"], "kxkbrc"), "w") as f:
                    f.write(f"[Layout]\nLayoutList={layout}\nUse=true\n")
            bindir = os.path.join(self.folder.root, "kwin-bin")
            os.makedirs(bindir, exist_ok=True)
            shutil.copy("/usr/bin/kwin_wayland", os.path.join(bindir, "kwin_wayland"))
            H.own_dir(bindir)
            H.own_dir(os.path.join(bindir, "kwin_wayland"))
            self.own_home()
            self.start_bus()
            env = self.base_env()
            env["KWIN_SCREENSHOT_NO_PERMISSION_CHECKS"] = "1"
            self.proc = self.spawn(self.name, [os.path.join(bindir, "kwin_wayland"), "--virtual", "--width",
                                               str(size[0]), "--height", str(size[1]), "--output-count",
                                               str(outputs), "--socket", "wayland-0", "--no-lockscreen"], env)
            self.wait_socket(20.0)
            return self
        except BaseException as e:
            tail = self.tail()
            self.stop()
            raise H.Failure(f"KWin did not start: {e}\n{tail}")

    def screenshot(self, ppm, png):
        self.shoot(ppm, png, "kwin")

    def entries(self):
        """The desktop entries in the private home's applications folder."""
        path = os.path.join(self.dirs["XDG_DATA_HOME"], "applications")
        return sorted(os.listdir(path)) if os.path.isdir(path) else []


H.COMPOSITORS.update({"mutter": Mutter, "kwin": Kwin})
