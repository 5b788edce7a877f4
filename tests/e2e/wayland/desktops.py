"""Headless GNOME (mutter, gnome-shell) and KDE (KWin) desktops for the
Wayland end-to-end tests, each private: its own runtime folder, session bus,
home and Wayland socket, run as the ordinary user the tests use (QV_TEST_USER,
qvtest by default). Names come from QV_WL_PREFIX (default "qv-wl"):
sockets PREFIX-TAG, folders /tmp/PREFIX-TAG-*.

    d = start_mutter("m1")            # with PipeWire: absolute moves
    p = d.spawn(["python3", "logwin.py"], stdout=subprocess.PIPE)
    d.stop()

Everything a desktop started is stopped by its process group, never by a
name."""
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

USER = os.environ.get("QV_TEST_USER", "qvtest")
PREFIX = os.environ.get("QV_WL_PREFIX", "qv-wl")
KWIN = "/usr/bin/kwin_wayland"


class Failure(Exception):
    pass


def _user():
    pw = pwd.getpwnam(USER)
    return pw.pw_uid, pw.pw_gid


def _private_dir(tag, what):
    uid, gid = _user()
    path = tempfile.mkdtemp(prefix=f"{PREFIX}-{tag}-{what}-", dir="/tmp")
    os.chmod(path, 0o700)
    os.chown(path, uid, gid)
    return path


def _chown_tree(path):
    uid, gid = _user()
    for root, dirs, files in os.walk(path):
        for n in dirs + files:
            os.lchown(os.path.join(root, n), uid, gid)
    os.chown(path, uid, gid)


def wait_for(cond, seconds, what):
    """Polls cond until it holds; the deadline is a failure, not a retry."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if cond():
            return
        time.sleep(0.02)
    raise Failure(f"timed out waiting for {what}")


class Desktop:
    def __init__(self, kind, tag):
        self.kind = kind
        self.tag = tag
        self.socket = f"{PREFIX}-{tag}"
        self.runtime = _private_dir(tag, "run")
        self.home = _private_dir(tag, "home")
        self.procs = []
        self.logs = []
        self.dirs = [self.runtime, self.home]  # removed by stop()
        self.env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "HOME": self.home,
            "USER": USER,
            "LOGNAME": USER,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_CACHE_HOME": os.path.join(self.home, "cache"),
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.runtime}/bus",
            "WAYLAND_DISPLAY": self.socket,
            "XDG_SESSION_TYPE": "wayland",
            # No accessibility bus: it would outlive the desktop.
            "NO_AT_BRIDGE": "1",
            "GTK_A11Y": "none",
            "LANG": "C.UTF-8",
        }
        for k in ("XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"):
            os.makedirs(self.env[k], exist_ok=True)
        _chown_tree(self.home)

    def log(self, name):
        path = os.path.join(self.runtime, name + ".log")
        self.logs.append(path)
        return path

    def spawn(self, argv, env=None, **kw):
        """Starts argv as the test user in this desktop's environment, in a
        process group of its own."""
        e = dict(self.env)
        e.update(env or {})
        cmd = ["runuser", "-u", USER, "--", "env", "-i"] + [f"{k}={v}" for k, v in e.items()] + list(argv)
        p = subprocess.Popen(cmd, start_new_session=True, **kw)
        self.procs.append(p)
        return p

    def daemon(self, name, argv, env=None):
        with open(self.log(name), "wb") as out:
            return self.spawn(argv, env=env, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)

    def run(self, argv, env=None, timeout=20):
        """Runs argv to its end; returns (exit code, output)."""
        p = self.spawn(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        out, _ = p.communicate(timeout=timeout)
        self.procs.remove(p)
        return p.returncode, out.decode(errors="replace")

    def start_bus(self):
        self.daemon("dbus", ["dbus-daemon", "--session", "--nofork",
                             f"--address=unix:path={self.runtime}/bus"])
        wait_for(lambda: os.path.exists(os.path.join(self.runtime, "bus")), 10, "the session bus")

    def wait_name(self, name, seconds=20):
        rc, out = self.run(["gdbus", "wait", "--session", "--timeout", str(seconds), name],
                           timeout=seconds + 5)
        if rc != 0:
            raise Failure(f"{name} did not appear on the session bus: {out.strip()}")

    def shell_overview(self, value=None):
        """Reads GNOME Shell's OverviewActive, or sets it."""
        call = ["gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell", "-m"]
        if value is None:
            rc, out = self.run(call + ["org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive"])
            return rc == 0 and "true" in out
        rc, out = self.run(call + ["org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive",
                                   "<true>" if value else "<false>"])
        if rc != 0:
            raise Failure("could not set GNOME Shell's overview: " + out.strip())

    def tail(self, lines=15):
        text = ""
        for path in self.logs:
            try:
                with open(path, errors="replace") as f:
                    body = f.read().splitlines()[-lines:]
                text += f"--- {os.path.basename(path)}\n" + "\n".join(body) + "\n"
            except OSError:
                pass
        return text

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for p in reversed(self.procs):
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait()
        self.procs = []
        for d in self.dirs:
            shutil.rmtree(d, ignore_errors=True)


def start_mutter(tag, pipewire=True, monitors=("1280x1024",), shell=False, layout=None):
    """mutter (or gnome-shell when shell or layout is set: plain mutter has no
    keyboard layout setting, GNOME Shell takes it from the input sources)."""
    d = Desktop("gnome-shell" if shell or layout else "mutter", tag)
    try:
        # GSettings in a key file of the private home: no dconf service
        # needed and nothing shared with the user's own settings. Without
        # animations a new window is where it will stay once it is mapped
        # (mutter zooms it in otherwise, and clicks land scaled).
        path = os.path.join(d.env["XDG_CONFIG_HOME"], "glib-2.0", "settings")
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, "keyfile"), "w") as f:
            f.write("[org/gnome/desktop/interface]\nenable-animations=false\n")
            if layout:
                f.write(f"[org/gnome/desktop/input-sources]\nsources=[('xkb', '{layout}')]\n")
        _chown_tree(d.home)
        d.env["GSETTINGS_BACKEND"] = "keyfile"
        d.start_bus()
        if pipewire:
            d.daemon("pipewire", ["pipewire"])
            wait_for(lambda: os.path.exists(os.path.join(d.runtime, "pipewire-0")), 10, "PipeWire")
        args = ["--headless", "--wayland", "--no-x11", f"--wayland-display={d.socket}"]
        for m in monitors:
            args += ["--virtual-monitor", m]
        if d.kind == "gnome-shell":
            # GNOME Shell wants a system bus; a second session bus stands in.
            sysbus = os.path.join(d.runtime, "system_bus")
            d.daemon("sysbus", ["dbus-daemon", "--session", "--nofork", f"--address=unix:path={sysbus}"])
            wait_for(lambda: os.path.exists(sysbus), 10, "the stand-in system bus")
            d.env["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={sysbus}"
            d.daemon("gnome-shell", ["gnome-shell"] + args)
        else:
            d.daemon("mutter", ["mutter"] + args)
        d.wait_name("org.gnome.Mutter.RemoteDesktop")
        wait_for(lambda: os.path.exists(os.path.join(d.runtime, d.socket)), 10, "the Wayland socket")
        if d.kind == "gnome-shell":
            # The shell ends its start by showing the overview, above every
            # window, and ignores a request to leave it while that start
            # runs: ask until it is gone.
            wait_for(d.shell_overview, 15, "GNOME Shell's overview at the end of its start")

            def leave():
                d.shell_overview(False)
                return not d.shell_overview()
            wait_for(leave, 15, "GNOME Shell to leave its overview")
        return d
    except BaseException as e:
        tail = d.tail()
        d.stop()
        raise Failure(f"{d.kind} did not start: {e}\n{tail}")


def start_kwin(tag, width=1280, height=1024):
    """KWin --virtual. The installed binary carries a file capability that
    exec refuses here, and KWin's platform plugin accepts only a program
    named kwin_wayland, so a plain copy of that name runs instead."""
    d = Desktop("kwin", tag)
    try:
        # No animations: a window opening is where it stays at once.
        with open(os.path.join(d.env["XDG_CONFIG_HOME"], "kdeglobals"), "w") as f:
            f.write("[KDE]\nAnimationDurationFactor=0\n")
        _chown_tree(d.home)
        bindir = _private_dir(tag, "kwin")
        d.dirs.append(bindir)
        shutil.copy(KWIN, os.path.join(bindir, "kwin_wayland"))
        _chown_tree(bindir)
        d.start_bus()
        d.daemon("kwin", [os.path.join(bindir, "kwin_wayland"), "--virtual", "--width", str(width),
                          "--height", str(height), "--socket", d.socket, "--no-lockscreen"])
        wait_for(lambda: os.path.exists(os.path.join(d.runtime, d.socket)), 20, "the Wayland socket")
        return d
    except BaseException as e:
        tail = d.tail()
        d.stop()
        raise Failure(f"KWin did not start: {e}\n{tail}")
