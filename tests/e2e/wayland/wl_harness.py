"""Shared pieces of the Wayland end-to-end tests: the test user, a headless
compositor with a runtime folder of its own, the logging window, and runs
of the program as that user.

Compositors are Compositor classes: start(layout=None) starts one headless
(layout: an XKB layout for its keyboards) and returns it, env() is the
environment of its clients (a session bus address belongs there), stop()
ends it and all it started, tail() shows its log. Sway is here; others sit
in files comp_NAME.py beside this one and add themselves to COMPOSITORS, and
run_wayland_e2e.py runs its test_each_* cases on every one.

Private names: runtime folders /tmp/qv20a-*; QV_E2E_WAYLAND_PREFIX changes
the prefix for another user of the machine."""
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

USER = os.environ.get("QV_E2E_WAYLAND_USER", "qvtest")
PREFIX = os.environ.get("QV_E2E_WAYLAND_PREFIX", "qv20a-")
HERE = os.path.dirname(os.path.abspath(__file__))
# The logger needs the system's GObject bindings, whatever python3 is first
# on PATH.
SYSTEM_PYTHON = "/usr/bin/python3"
COMPOSITORS = {}
# The stand-in for a desktop's own keyboard (qv_seat_keyboard, built beside
# the program); the runner sets it.
SEAT_KEYBOARD = None


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def wait_until(pred, timeout=5.0, step=0.02):
    end = time.monotonic() + timeout
    while True:
        v = pred()
        if v or time.monotonic() > end:
            return v
        time.sleep(step)


def ensure_user():
    """The compositors refuse root: the tests run them as USER, made here
    when missing."""
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "-m", USER], check=True)
        return pwd.getpwnam(USER)


def own_dir(path):
    u = ensure_user()
    os.chown(path, u.pw_uid, u.pw_gid)


def start_as_user(cmd, env, log=None, cwd=None):
    """cmd as USER with exactly env, in a process group of its own so that
    stop() ends it and whatever it started."""
    u = ensure_user()
    full = ["runuser", "-u", USER, "--", "env", "-i"] + [f"{k}={v}" for k, v in env.items()] + cmd
    out = open(log, "ab") if log else subprocess.DEVNULL
    return subprocess.Popen(full, stdout=out, stderr=subprocess.STDOUT if log else out,
                            stdin=subprocess.DEVNULL, cwd=cwd or u.pw_dir, start_new_session=True)


def run_as_user(cmd, env, timeout=10, cwd=None):
    u = ensure_user()
    full = ["runuser", "-u", USER, "--", "env", "-i"] + [f"{k}={v}" for k, v in env.items()] + cmd
    return subprocess.run(full, capture_output=True, text=True, timeout=timeout, cwd=cwd or u.pw_dir)


def stop(p, timeout=3.0):
    if not p or p.poll() is not None:
        return
    try:
        os.killpg(p.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        p.wait(timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()


class Folder:
    """A runtime folder (mode 0700, the user's) with a work folder beside
    it for the program's copy and its files."""

    def __init__(self):
        ensure_user()
        self.root = tempfile.mkdtemp(prefix=PREFIX)
        own_dir(self.root)
        self.runtime = os.path.join(self.root, "run")
        self.work = os.path.join(self.root, "work")
        for d in (self.runtime, self.work):
            os.mkdir(d, 0o700)
            own_dir(d)

    def put(self, name, data=None, src=None, mode=0o644):
        """A file in the work folder the user can read (data bytes, or a copy
        of src)."""
        path = os.path.join(self.work, name)
        if src:
            shutil.copy(src, path)
        else:
            with open(path, "wb") as f:
                f.write(data)
        os.chmod(path, mode)
        own_dir(path)
        return path

    def remove(self):
        if os.environ.get("QV_E2E_KEEP"):
            print(f"    kept {self.root}")
            return
        shutil.rmtree(self.root, ignore_errors=True)


class Compositor:
    name = "?"

    def __init__(self, folder):
        self.folder = folder
        self.proc = None
        self.display = None
        self.log = os.path.join(folder.root, f"{self.name}.log")

    def base_env(self):
        u = ensure_user()
        return {"HOME": u.pw_dir, "USER": USER, "PATH": "/usr/local/bin:/usr/bin:/bin",
                "XDG_RUNTIME_DIR": self.folder.runtime, "LANG": "C.UTF-8"}

    def env(self):
        """The environment of a client of this compositor."""
        e = self.base_env()
        e["WAYLAND_DISPLAY"] = self.display
        e["XDG_SESSION_TYPE"] = "wayland"
        return e

    def wait_socket(self, timeout=5.0):
        def found():
            if self.proc.poll() is not None:
                raise Failure(f"{self.name} ended at start: {self.tail()}")
            for n in sorted(os.listdir(self.folder.runtime)):
                if n.startswith("wayland-") and not n.endswith(".lock"):
                    return n
            return None
        self.display = wait_until(found, timeout)
        check(self.display, f"{self.name} socket appears")

    def tail(self, n=15):
        try:
            with open(self.log, errors="replace") as f:
                return "".join(f.readlines()[-n:])
        except OSError:
            return ""

    def stop(self):
        stop(self.proc)
        self.proc = None


class Sway(Compositor):
    """Headless sway, pixman rendering, no input devices of its own:
    everything the windows get comes from virtual devices."""
    name = "sway"

    def start(self, layout=None, size=(1280, 1024)):
        conf = [f"output HEADLESS-1 resolution {size[0]}x{size[1]} position 0 0",
                "default_border none", "focus_follows_mouse no"]
        if layout:
            conf.append(f"input type:keyboard xkb_layout {layout}")
        path = os.path.join(self.folder.root, "sway.conf")
        with open(path, "w") as f:
            f.write("\n".join(conf) + "\n")
        os.chmod(path, 0o644)
        env = self.base_env()
        env.update({"WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
                    "WLR_RENDERER": "pixman", "WLR_HEADLESS_OUTPUTS": "1"})
        if layout:
            # Clients that ask the compositor's default (a seat without a
            # keyboard yet) get the same layout.
            env["XKB_DEFAULT_LAYOUT"] = layout
        self.proc = start_as_user(["sway", "-c", path], env, log=self.log)
        self.wait_socket()
        self.layout = layout
        self.keyboard = None
        if layout:
            self.add_keyboard(layout)
        return self

    def add_keyboard(self, layout):
        """A keyboard of the seat's own with the layout's keymap, as a
        desktop has one: without one the seat offers clients no keymap to
        read. sway gives its configured layout to real keyboards only, so
        the stand-in brings the keymap itself."""
        check(SEAT_KEYBOARD and os.path.exists(SEAT_KEYBOARD), "qv_seat_keyboard is built")
        out = os.path.join(self.folder.root, "seat_keyboard.log")
        self.keyboard = start_as_user([SEAT_KEYBOARD, layout], self.env(), log=out)
        check(wait_until(lambda: "ready" in open(out).read(), 5.0),
              f"the seat's keyboard is made: {open(out).read()}")

    def stop(self):
        stop(getattr(self, "keyboard", None))
        super().stop()

    def msg(self, *args):
        e = self.env()
        e["SWAYSOCK"] = self.ipc_socket()
        r = run_as_user(["swaymsg"] + list(args), e)
        check(r.returncode == 0, f"swaymsg {' '.join(args)}: {r.stdout}{r.stderr}")
        return r.stdout

    def ipc_socket(self):
        # sway opens its IPC socket after the Wayland one a client may
        # already have used.
        def found():
            for n in os.listdir(self.folder.runtime):
                if n.startswith("sway-ipc."):
                    return os.path.join(self.folder.runtime, n)
            return None
        path = wait_until(found, 5.0)
        check(path, "sway's IPC socket appears")
        return path

    def add_output(self):
        """A second output, to the right of the first."""
        before = self.msg("-t", "get_outputs")
        self.msg("create_output")
        wait_until(lambda: self.msg("-t", "get_outputs") != before, 3.0)


COMPOSITORS["sway"] = Sway


class Logger:
    """The logging window on one monitor of a compositor."""

    def __init__(self, comp, monitor=0):
        self.path = os.path.join(comp.folder.root, f"logger{monitor}.log")
        open(self.path, "w").close()
        os.chmod(self.path, 0o666)
        env = comp.env()
        env["GDK_BACKEND"] = "wayland"
        self.proc = start_as_user([SYSTEM_PYTHON, os.path.join(HERE, "wl_logger.py"), self.path,
                                   str(monitor)], env,
                                  log=os.path.join(comp.folder.root, f"logger{monitor}.err"))
        ready = wait_until(lambda: [ln for ln in self.lines() if ln[0] == "ready"], 10.0)
        check(ready, f"logging window on monitor {monitor} is mapped")
        self.origin = tuple(int(v) for v in ready[0][1:5])

    def lines(self):
        with open(self.path) as f:
            return [ln.split() for ln in f.read().splitlines() if ln]

    def events(self):
        """Keys, buttons and scrolls, in order, without focus and motion."""
        return [ln for ln in self.lines() if ln[0] in ("key", "button", "scroll", "smooth")]

    def moves(self):
        return [(int(ln[1]), int(ln[2])) for ln in self.lines() if ln[0] == "motion"]

    def stop(self):
        stop(self.proc)


def program_env(comp, **extra):
    # No GDK_BACKEND: the program picks its toolkit's backend itself (a
    # layer surface, or an Xwayland window where DISPLAY names one).
    e = comp.env()
    e.update(extra)
    return e


def start_program(comp, exe, *args, **extra):
    """The program as the user, in its own folder, its output in
    program.log beside the compositor's."""
    log = os.path.join(comp.folder.root, "program.log")
    return start_as_user([exe] + list(args), program_env(comp, **extra), log=log,
                         cwd=comp.folder.work)


def program_log(comp):
    try:
        with open(os.path.join(comp.folder.root, "program.log"), errors="replace") as f:
            return f.read()
    except OSError:
        return ""
