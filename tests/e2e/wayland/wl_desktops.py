"""Headless GNOME Shell and KWin for the Wayland end-to-end tests, beside
sway in wl_harness, and stand-in input devices: FIFOs the program reads in
place of /dev/input (QUORVANE_EVDEV_DIR) with the table that says what
each one is.

Each desktop gets a session bus of its own (GNOME Shell also a stand-in
system bus); clients find it in env()."""
import os
import shutil
import struct
import subprocess
import time

import wl_harness as H
from wl_harness import Failure, check, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

EV_SYN, EV_KEY, EV_REL = 0, 1, 2
SYN_REPORT = 0
REL_X, REL_Y, REL_HWHEEL, REL_WHEEL = 0, 1, 6, 8
REL_WHEEL_HI_RES = 11
KEY = {"shift": 42, "ctrl": 29, "alt": 56, "altgr": 100, "h": 35, "i": 23, "q": 16, "y": 21,
       "z": 44, "7": 8, "pause": 119, "scrolllock": 70, "f8": 66, "r": 19, "p": 25}
BTN_LEFT, BTN_RIGHT, BTN_MIDDLE = 0x110, 0x111, 0x112


class BusDesktop(H.Compositor):
    """A compositor that lives on a session bus of its own."""

    def start_bus(self, system=False):
        self.buses = []
        self.bus = os.path.join(self.folder.root, "bus")
        self.buses.append(H.start_as_user(
            ["dbus-daemon", "--session", f"--address=unix:path={self.bus}", "--nofork"],
            self.base_env(), log=os.path.join(self.folder.root, "bus.log")))
        if system:
            self.sysbus = os.path.join(self.folder.root, "sysbus")
            self.buses.append(H.start_as_user(
                ["dbus-daemon", "--session", f"--address=unix:path={self.sysbus}", "--nofork"],
                self.base_env(), log=os.path.join(self.folder.root, "sysbus.log")))
        check(wait_until(lambda: os.path.exists(self.bus), 5), "the session bus starts")

    def base_env(self):
        e = super().base_env()
        if getattr(self, "bus", None):
            e["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={self.bus}"
        if getattr(self, "sysbus", None):
            e["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={self.sysbus}"
        return e

    def has_name(self, name):
        r = H.run_as_user(["gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o",
                           "/org/freedesktop/DBus", "-m", "org.freedesktop.DBus.NameHasOwner",
                           name], self.base_env())
        return "true" in r.stdout

    def stop(self):
        super().stop()
        for b in getattr(self, "buses", []):
            H.stop(b)


class GnomeShell(BusDesktop):
    """gnome-shell --headless, with the Quorvane pointer extension from the
    source tree laid out as the package installs it, enabled or not."""
    name = "gnome-shell"

    def start(self, extension=True):
        self.start_bus(system=True)
        data = os.path.join(self.folder.root, "share")
        ext = os.path.join(data, "gnome-shell", "extensions")
        os.makedirs(ext)
        shutil.copytree(os.path.join(SOURCE, "resources", "gnome-shell"), ext, dirs_exist_ok=True)
        subprocess.run(["chmod", "-R", "a+rX", data], check=True)
        self.data = data
        env = self.env_common()
        enabled = "['pointer-legacy@quorvane.example', 'pointer@quorvane.example']" \
            if extension else "@as []"
        r = H.run_as_user(["gsettings", "set", "org.gnome.shell", "enabled-extensions", enabled],
                          env)
        check(r.returncode == 0, f"gsettings: {r.stderr}")
        self.proc = H.start_as_user(
            ["gnome-shell", "--headless", "--wayland", "--no-x11", "--wayland-display",
             "qv22-gnome", "--virtual-monitor", "1280x1024"], env, log=self.log)
        self.display = "qv22-gnome"
        check(wait_until(lambda: os.path.exists(os.path.join(self.folder.runtime, self.display)),
                         20), f"gnome-shell's socket appears: {self.tail()}")
        check(wait_until(lambda: self.has_name("org.gnome.Mutter.RemoteDesktop"), 20),
              "RemoteDesktop is on the bus")
        if extension:
            check(wait_until(lambda: self.has_name("org.quorvane.Pointer"), 20),
                  f"the pointer extension is running: {self.tail()}")
        return self

    def env_common(self):
        e = self.base_env()
        e["XDG_DATA_DIRS"] = f"{self.data}:/usr/share"
        e["XDG_CONFIG_HOME"] = os.path.join(self.folder.root, "config")
        e["GSETTINGS_BACKEND"] = "keyfile"
        return e

    def env(self):
        e = super().env()
        e.update(self.env_common())
        return e

    def move(self, x, y):
        """The compositor's own injector: from the far corner, then by
        (x, y), which lands exactly on one monitor without a screen cast."""
        script = (
            "import sys\n"
            "from gi.repository import Gio, GLib\n"
            "bus = Gio.bus_get_sync(Gio.BusType.SESSION)\n"
            "N = 'org.gnome.Mutter.RemoteDesktop'\n"
            "rd = Gio.DBusProxy.new_sync(bus, 0, None, N, '/org/gnome/Mutter/RemoteDesktop', N)\n"
            "p = rd.call_sync('CreateSession', None, 0, -1, None).unpack()[0]\n"
            "s = Gio.DBusProxy.new_sync(bus, 0, None, N, p, N + '.Session')\n"
            "s.call_sync('Start', None, 0, -1, None)\n"
            "m = lambda a, b: s.call_sync('NotifyPointerMotionRelative',"
            " GLib.Variant('(dd)', (a, b)), 0, -1, None)\n"
            "m(-100000.0, -100000.0)\n"
            f"m({float(x)}, {float(y)})\n"
            "s.call_sync('Stop', None, 0, -1, None)\n")
        r = H.run_as_user([H.SYSTEM_PYTHON, "-c", script], self.env())
        check(r.returncode == 0, f"the RemoteDesktop injector: {r.stderr}")


class Kwin(BusDesktop):
    """kwin_wayland --virtual; a copy of the binary, since the installed one
    carries a file capability that exec refuses here."""
    name = "kwin"

    def start(self):
        self.start_bus()
        binary = os.path.join(self.folder.root, "kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", binary)
        os.chmod(binary, 0o755)
        env = self.base_env()
        env["QT_QPA_PLATFORM"] = "offscreen"
        self.proc = H.start_as_user([binary, "--virtual", "--width", "1280", "--height", "1024",
                                     "--socket", "qv22-kwin", "--no-lockscreen"], env,
                                    log=self.log)
        self.display = "qv22-kwin"
        check(wait_until(lambda: os.path.exists(os.path.join(self.folder.runtime, self.display)),
                         20), f"KWin's socket appears: {self.tail()}")
        check(wait_until(lambda: self.has_name("org.kde.KWin"), 20), "KWin is on the bus")
        return self


H.COMPOSITORS["gnome-shell"] = GnomeShell
H.COMPOSITORS["kwin"] = Kwin


class FakeDevices:
    """Stand-ins for /dev/input: one FIFO each, and the table."""

    def __init__(self, folder, devices=(("event0", "keyboard", "-", "Fake keyboard"),
                                        ("event1", "pointer", "-", "Fake mouse"))):
        self.dir = os.path.join(folder.root, "input")
        os.mkdir(self.dir, 0o755)
        H.own_dir(self.dir)
        self.devices = list(devices)
        self.write_table()
        for d in self.devices:
            path = os.path.join(self.dir, d[0])
            os.mkfifo(path, 0o600)
            H.own_dir(path)
        self.fds = {}

    def write_table(self):
        path = os.path.join(self.dir, "devices")
        with open(path, "w") as f:
            for d in self.devices:
                f.write(" ".join(d) + "\n")
        os.chmod(path, 0o644)

    def env(self):
        return {"QUORVANE_EVDEV_DIR": self.dir}

    def feed(self, name, events):
        """events: (type, code, value) triples; each None is a frame's end.
        Stamped on the monotonic clock, as a kernel told to use it does."""
        if name not in self.fds:
            self.fds[name] = os.open(os.path.join(self.dir, name), os.O_WRONLY)
        data = b""
        for e in events:
            t = time.clock_gettime(time.CLOCK_MONOTONIC)
            sec, usec = int(t), int((t - int(t)) * 1e6)
            typ, code, value = e if e else (EV_SYN, SYN_REPORT, 0)
            data += struct.pack("llHHi", sec, usec, typ, code, value)
        os.write(self.fds[name], data)

    def key(self, name, code, down):
        self.feed(name, [(EV_KEY, code, 1 if down else 0), None])

    def tap(self, code, *held, gap=0.04):
        for h in held:
            self.key("event0", h, True)
            time.sleep(gap)
        self.key("event0", code, True)
        time.sleep(gap)
        self.key("event0", code, False)
        time.sleep(gap)
        for h in reversed(held):
            self.key("event0", h, False)
            time.sleep(gap)

    def click(self, button=BTN_LEFT, gap=0.04):
        self.key("event1", button, True)
        time.sleep(gap)
        self.key("event1", button, False)
        time.sleep(gap)

    def motion(self, dx, dy):
        self.feed("event1", [(EV_REL, REL_X, dx), (EV_REL, REL_Y, dy), None])

    def wheel(self, notches, hires=True):
        """A turn as a high-resolution wheel sends it: the fine value with
        the notch value beside it."""
        evs = [(EV_REL, REL_WHEEL_HI_RES, notches * 120)] if hires else []
        evs += [(EV_REL, REL_WHEEL, notches), None]
        self.feed("event1", evs)

    def close(self):
        for fd in self.fds.values():
            os.close(fd)
        self.fds = {}
