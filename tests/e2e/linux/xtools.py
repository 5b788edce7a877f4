"""Small helpers for the Linux end-to-end tests: a private Xvfb, the test
target window, window lookup by exact title, screenshots as pixel arrays,
the display's key state, and a polite close request (what a window
manager's close button sends)."""
import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import subprocess
import time

_procs = []  # every process these tests started, stopped at the end


def start(cmd, **kw):
    p = subprocess.Popen(cmd, **kw)
    _procs.append(p)
    return p


def stop(p, timeout=3.0):
    if p.poll() is None:
        p.terminate()
        try:
            p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def stop_all():
    for p in reversed(_procs):
        try:
            stop(p)
        except Exception:
            pass
    _procs.clear()


def start_xvfb(displays=range(91, 96), size="1024x768x24"):
    for n in displays:
        if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
            continue
        p = start(["Xvfb", f":{n}", "-screen", "0", size, "-nolisten", "tcp", "-noreset"],
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                os.environ["DISPLAY"] = f":{n}"
                time.sleep(0.2)
                return n
            if p.poll() is not None:
                break
            time.sleep(0.05)
        stop(p)
    raise RuntimeError("no free private display")


_DUMMY_CONF = """Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2304 1024
  EndSubSection
EndSection
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
"""


def xorg_dummy_available():
    """Xorg with the dummy video driver, which has sixteen RandR outputs:
    a screen with several real monitors. Xorg takes a config file of its
    own only from root."""
    return (shutil.which("Xorg") and shutil.which("xrandr") and os.geteuid() == 0
            and os.path.exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"))


def start_xorg_dummy(displays, folder):
    """An Xorg server on the dummy driver; returns its display number (the
    caller's DISPLAY is left alone) and process."""
    conf = os.path.join(folder, "dummy.conf")
    open(conf, "w").write(_DUMMY_CONF)
    for n in displays:
        if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
            continue
        p = start(["Xorg", f":{n}", "-config", conf, "-noreset", "-nolisten", "tcp", "-novtswitch",
                   "-sharevts", "-logfile", os.path.join(folder, "xorg.log")],
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                time.sleep(0.5)
                return n, p
            if p.poll() is not None:
                break
            time.sleep(0.05)
        stop(p)
    raise RuntimeError("no free display for Xorg")


def sh(*args, check=True):
    r = subprocess.run(list(args), capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError(f"{args}: {r.stderr.strip()}")
    return r.stdout


def windows():
    """Windows as (id, title) pairs: the top-level ones, and under a window
    manager also the program windows inside its frames."""
    out = sh("xwininfo", "-root", "-tree", check=False)
    found = []
    for m in re.finditer(r'^\s+(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)):', out, re.M):
        found.append((int(m.group(1), 16), m.group(2) if m.group(2) is not None else ""))
    return found


def find_window(title, timeout=5.0):
    end = time.time() + timeout
    while time.time() < end:
        for wid, t in windows():
            if t == title:
                return wid
        time.sleep(0.05)
    return None


def title_of(wid):
    """The window's own name; None once it is gone. One request on that
    window: a walk of the whole tree loses every window when another one
    vanishes during it (xwininfo -tree then stops short), and a caption read
    as missing would end a wait for "not PLAY" while the playback runs."""
    r = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True)
    m = re.search(r'^xwininfo: Window id: 0x[0-9a-f]+ (?:"(.*)"|\(has no name\))$', r.stdout, re.M)
    if r.returncode != 0 or not m:
        return None
    return m.group(1) if m.group(1) is not None else ""


def geometry(wid):
    """Position, size and map state; None once the window is gone."""
    r = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True)
    if r.returncode != 0:
        return None
    out = r.stdout
    g = {}
    for key, name in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"),
                      ("w", "Width"), ("h", "Height"), ("state", "Map State")):
        m = re.search(name + r":\s+(\S+)", out)
        g[key] = int(m.group(1)) if key != "state" else m.group(1)
    return g


def screenshot(path=None):
    """The root window as rows of (r, g, b)."""
    data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
    if path:
        subprocess.run(["convert", "ppm:-", path], input=data, check=True)
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    raw = parts[4]
    return [[tuple(raw[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def read_bmp24(path):
    b = open(path, "rb").read()
    off = int.from_bytes(b[10:14], "little")
    w = int.from_bytes(b[18:22], "little", signed=True)
    h = int.from_bytes(b[22:26], "little", signed=True)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(abs(h)):
        src = abs(h) - 1 - y if h > 0 else y
        r = b[off + src * stride: off + src * stride + w * 3]
        rows.append([(r[3 * x + 2], r[3 * x + 1], r[3 * x]) for x in range(w)])
    return rows


class XDisplay:
    """Direct Xlib calls for what no command-line tool answers exactly."""

    def __init__(self):
        self.x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XInternAtom.restype = ctypes.c_ulong
        self.x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x.XQueryKeymap.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
        self.x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.d = self.x.XOpenDisplay(None)
        if not self.d:
            raise RuntimeError("cannot open display")

    def keys_down(self):
        buf = ctypes.create_string_buffer(32)
        self.x.XQueryKeymap(self.d, buf)
        return [i * 8 + b for i, byte in enumerate(buf.raw) for b in range(8) if byte & (1 << b)]

    def buttons_down(self):
        """The core buttons (1 to 5) the server holds down."""
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
        win, child = ctypes.c_ulong(), ctypes.c_ulong()
        coords = [ctypes.c_int() for _ in range(4)]
        mask = ctypes.c_uint()
        self.x.XQueryPointer(self.d, self.x.XDefaultRootWindow(self.d), ctypes.byref(win), ctypes.byref(child),
                             *[ctypes.byref(c) for c in coords], ctypes.byref(mask))
        return [b for b in range(1, 6) if mask.value & (1 << (7 + b))]

    def close_window(self, wid):
        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                        ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                        ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                        ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
        ev = ClientMessage()
        ev.type = 33  # ClientMessage
        ev.window = wid
        ev.message_type = self.x.XInternAtom(self.d, b"WM_PROTOCOLS", 0)
        ev.format = 32
        ev.data[0] = self.x.XInternAtom(self.d, b"WM_DELETE_WINDOW", 0)
        ev.data[1] = 0  # CurrentTime
        self.x.XSendEvent(self.d, wid, 0, 0, ctypes.byref(ev))
        self.x.XFlush(self.d)

    def fake_key(self, keysym_name, down):
        """Presses or releases exactly the key of that symbol, with no
        modifier added (xdotool adds the ones it thinks a symbol needs)."""
        xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst"))
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.x.XStringToKeysym.restype = ctypes.c_ulong
        self.x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        code = self.x.XKeysymToKeycode(self.d, self.x.XStringToKeysym(keysym_name.encode()))
        if not code:
            raise RuntimeError(f"no key for {keysym_name}")
        xtst.XTestFakeKeyEvent(self.d, code, 1 if down else 0, 0)
        self.x.XSync = self.x.XSync
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XSync(self.d, 0)

    def fake_code(self, keycode, down):
        """Presses or releases the key of that keycode."""
        xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst"))
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        xtst.XTestFakeKeyEvent(self.d, keycode, 1 if down else 0, 0)
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XSync(self.d, 0)

    def fake_motion(self, x, y):
        """Moves the pointer the way a device does (XTest): xdotool's move
        is a warp, which no device made and no raw event tells of."""
        xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst"))
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_ulong]
        xtst.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XSync(self.d, 0)

    def warp(self, x, y):
        """Puts the pointer at x, y as a program does (XWarpPointer), with
        no device's motion."""
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XWarpPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong] + [ctypes.c_int] * 6
        self.x.XWarpPointer(self.d, 0, self.x.XDefaultRootWindow(self.d), 0, 0, 0, 0, x, y)
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XSync(self.d, 0)

    def lock_group(self, group):
        """Makes keyboard group (layout) number group the active one."""
        self.x.XkbLockGroup.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint]
        self.x.XkbLockGroup(self.d, 0x100, group)  # XkbUseCoreKbd
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XSync(self.d, 0)

    def close(self):
        self.x.XCloseDisplay(self.d)


_monitors_set = set()
_x_errors = []
# Xlib's own handler ends the process on a protocol error: a refused
# request must fail the test, not stop the whole run.
_X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
    lambda d, e: _x_errors.append(e) or 0)


def _trap_errors(d):
    d.x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
    d.x.XSetErrorHandler(_X_ERROR_HANDLER)
    _x_errors.clear()


def _untrap_errors(d, what):
    d.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    d.x.XSync(d.d, 0)
    d.close()
    if _x_errors:
        raise RuntimeError(f"the X server refused {what}")


class _RRMonitorInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_ulong), ("primary", ctypes.c_int), ("automatic", ctypes.c_int),
                ("noutput", ctypes.c_int), ("x", ctypes.c_int), ("y", ctypes.c_int),
                ("width", ctypes.c_int), ("height", ctypes.c_int), ("mwidth", ctypes.c_int),
                ("mheight", ctypes.c_int), ("outputs", ctypes.POINTER(ctypes.c_ulong))]


class _RRScreenResources(ctypes.Structure):
    _fields_ = [("timestamp", ctypes.c_ulong), ("configTimestamp", ctypes.c_ulong),
                ("ncrtc", ctypes.c_int), ("crtcs", ctypes.c_void_p),
                ("noutput", ctypes.c_int), ("outputs", ctypes.POINTER(ctypes.c_ulong))]


def set_monitor(rect, name="QV-PRIMARY"):
    """Defines a RandR monitor (x, y, w, h) on the server's one output, as
    a desktop's monitor setup does; it stands in for the whole screen's
    automatic one until delete_monitor. Xvfb has one output, and toolkits
    see only monitors that have one, so a second monitor cannot be added
    here: start_xorg_dummy gives a screen with several."""
    # The server refuses to redefine a monitor in place.
    if _monitors_set:
        delete_monitor(name)
    d = XDisplay()
    rr = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xrandr"))
    rr.XRRGetScreenResources.restype = ctypes.POINTER(_RRScreenResources)
    rr.XRRGetScreenResources.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    rr.XRRAllocateMonitor.restype = ctypes.POINTER(_RRMonitorInfo)
    rr.XRRAllocateMonitor.argtypes = [ctypes.c_void_p, ctypes.c_int]
    rr.XRRSetMonitor.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_RRMonitorInfo)]
    d.x.XDefaultRootWindow.restype = ctypes.c_ulong
    d.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    d.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    root = d.x.XDefaultRootWindow(d.d)
    res = rr.XRRGetScreenResources(d.d, root)
    m = rr.XRRAllocateMonitor(d.d, 1)
    mon = m.contents
    mon.name = d.x.XInternAtom(d.d, name.encode(), 0)
    mon.primary = 1
    mon.automatic = 0
    mon.noutput = 1
    mon.x, mon.y, mon.width, mon.height = rect
    mon.mwidth, mon.mheight = rect[2] // 4, rect[3] // 4
    mon.outputs[0] = res.contents.outputs[0]
    _trap_errors(d)
    rr.XRRSetMonitor(d.d, root, m)
    _untrap_errors(d, f"the monitor {rect}")
    _monitors_set.add(name)


def delete_monitor(name="QV-PRIMARY"):
    if name not in _monitors_set:
        return
    _monitors_set.discard(name)
    d = XDisplay()
    rr = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xrandr"))
    rr.XRRDeleteMonitor.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    d.x.XDefaultRootWindow.restype = ctypes.c_ulong
    d.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    d.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    _trap_errors(d)
    rr.XRRDeleteMonitor(d.d, d.x.XDefaultRootWindow(d.d), d.x.XInternAtom(d.d, name.encode(), 0))
    _untrap_errors(d, f"to delete the monitor {name}")


def start_window_manager(timeout=5.0):
    """Starts openbox when it is installed; None when it is not."""
    if not shutil.which("openbox"):
        return None
    p = start(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    end = time.time() + timeout
    while time.time() < end:
        out = sh("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False)
        if "window id" in out:
            time.sleep(0.3)
            return p
        time.sleep(0.05)
    stop(p)
    return None


def xdo(*args):
    sh("xdotool", *[str(a) for a in args])


# Keys and buttons are held within one xdotool run: the server lets go of
# what a test client holds once it disconnects, so a press made by one run
# and a release by the next would not read as held in between.
def press(keys, hold=0.08):
    """Holds a key (or chord) long enough for a 10-50 ms poll to see it."""
    xdo("keydown", keys, "sleep", hold, "keyup", keys)


def click(x, y, button=1, hold=0.08):
    xdo("mousemove", x, y, "sleep", 0.05, "mousedown", button, "sleep", hold, "mouseup", button)


def read_log(path):
    if not os.path.exists(path):
        return []
    out = []
    for line in open(path):
        f = line.split()
        if len(f) >= 3:
            out.append(f)
    return out


def wait_until(pred, timeout=5.0, step=0.05):
    end = time.time() + timeout
    while time.time() < end:
        v = pred()
        if v:
            return v
        time.sleep(step)
    return pred()


def install_cleanup():
    def handler(signum, frame):
        stop_all()
        raise SystemExit(128 + signum)
    signal.signal(signal.SIGTERM, handler)
    signal.signal(signal.SIGINT, handler)
