"""For the recording tests on Wayland: GNOME Shell with the pointer
extension, and stand-in input devices: FIFOs the program reads in place of
/dev/input (QUORVANE_EVDEV_DIR) with the table that says what each one
is."""
import os
import shutil
import struct
import subprocess
import time

import comp_gnome_kde as G
import wl_harness as H
from wl_harness import check, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

EV_SYN, EV_KEY, EV_REL = 0, 1, 2
SYN_REPORT = 0
REL_X, REL_Y, REL_HWHEEL, REL_WHEEL = 0, 1, 6, 8
REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES = 11, 12
KEY = {"shift": 42, "ctrl": 29, "alt": 56, "altgr": 100, "h": 35, "i": 23, "q": 16, "y": 21,
       "z": 44, "7": 8, "pause": 119, "scrolllock": 70, "f8": 66, "r": 19, "p": 25}
BTN_LEFT, BTN_RIGHT, BTN_MIDDLE = 0x110, 0x111, 0x112


class GnomeShellPointer(G.Mutter):
    """GNOME Shell with the Quorvane pointer extension from the source tree
    laid out as the package installs it (share/gnome-shell/extensions),
    enabled or not."""

    def start(self, extension=True, **kw):
        self.extension = extension
        data = os.path.join(self.folder.root, "share")
        shutil.copytree(os.path.join(SOURCE, "resources", "gnome-shell"),
                        os.path.join(data, "gnome-shell", "extensions"), dirs_exist_ok=True)
        subprocess.run(["chmod", "-R", "a+rX", data], check=True)
        self.extra["XDG_DATA_DIRS"] = f"{data}:/usr/share"
        super().start(shell=True, **kw)
        if extension:
            check(wait_until(lambda: self.has_name("org.quorvane.Pointer"), 20),
                  f"the pointer extension runs: {self.tail()}")
        return self

    def settings(self, layout):
        super().settings(layout)
        if self.extension:
            path = os.path.join(self.dirs["XDG_CONFIG_HOME"], "glib-2.0", "settings", "keyfile")
            with open(path, "a") as f:
                f.write("[org/gnome/shell]\nenabled-extensions=['pointer-legacy@quorvane.example', "
                        "'pointer@quorvane.example']\n")

    def has_name(self, name):
        rc, out = self.gdbus("call", "--session", "-d", "org.freedesktop.DBus", "-o",
                             "/org/freedesktop/DBus", "-m", "org.freedesktop.DBus.NameHasOwner", name)
        return rc == 0 and "true" in out

    def move(self, x, y):
        """The compositor's own injector: from the far corner, then by
        (x, y), which lands exactly on one monitor without a screen cast."""
        script = (
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

    def feed(self, name, events, ago=()):
        """events: (type, code, value) triples; each None is a frame's end.
        Stamped on the monotonic clock, as a kernel told to use it does;
        ago, one number per frame, stamps that frame so many seconds before
        the write (a device read late hands over what waited in its
        queue)."""
        if name not in self.fds:
            self.fds[name] = os.open(os.path.join(self.dir, name), os.O_WRONLY)
        data, frame = b"", 0
        for e in events:
            t = time.clock_gettime(time.CLOCK_MONOTONIC)
            t -= ago[frame] if frame < len(ago) else 0
            sec, usec = int(t), int((t - int(t)) * 1e6)
            typ, code, value = e if e else (EV_SYN, SYN_REPORT, 0)
            data += struct.pack("llHHi", sec, usec, typ, code, value)
            frame += e is None
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

    def wheel(self, notches, hires=True, horizontal=False, fine=None):
        """A turn as a high-resolution wheel sends it: the fine value (fine,
        in 120ths of a notch; notches * 120 unless given) with the notch
        value beside it when there is one."""
        codes = (REL_HWHEEL_HI_RES, REL_HWHEEL) if horizontal else (REL_WHEEL_HI_RES, REL_WHEEL)
        evs = [(EV_REL, codes[0], notches * 120 if fine is None else fine)] if hires else []
        evs += [(EV_REL, codes[1], notches)] if notches else []
        self.feed("event1", evs + [None])

    def close(self):
        for fd in self.fds.values():
            os.close(fd)
        self.fds = {}
