#!/usr/bin/python3
"""A full-screen native Wayland window that logs what reaches it, one line
each, flushed at once:
  ready X Y W H          mapped on its monitor (layout coordinates)
  focus in|out
  key press|release NAME MODS     (MODS: GDK's modifier bits in hex)
  button press|release N X Y      (X Y in layout coordinates)
  scroll up|down|left|right X Y   (a wheel's notch as GTK names its way)
  smooth DX DY X Y                 (the same turn as deltas: + is right, down)
  motion X Y
With QV_LOGGER_TIMES in the environment each line starts with the
monotonic clock's time of arrival in microseconds (the playback bench).
usage: wl_logger.py LOG [MONITOR]"""
import os
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402



class Log:
    def __init__(self, path):
        self.f = open(path, "w", buffering=1)
        self.times = bool(os.environ.get("QV_LOGGER_TIMES"))

    def write(self, line):
        if self.times:
            line = f"{int(time.monotonic() * 1e6)} {line}"
        self.f.write(line)


log = Log(sys.argv[1])
monitor = int(sys.argv[2]) if len(sys.argv) > 2 else 0
display = Gdk.Display.get_default()
geom = display.get_monitor(monitor).get_geometry()
win = Gtk.Window(title=f"QvLogger{monitor}")
win.set_app_paintable(True)
win.add_events(Gdk.EventMask.KEY_PRESS_MASK | Gdk.EventMask.KEY_RELEASE_MASK |
               Gdk.EventMask.BUTTON_PRESS_MASK | Gdk.EventMask.BUTTON_RELEASE_MASK |
               Gdk.EventMask.SCROLL_MASK | Gdk.EventMask.SMOOTH_SCROLL_MASK |
               Gdk.EventMask.POINTER_MOTION_MASK | Gdk.EventMask.FOCUS_CHANGE_MASK |
               Gdk.EventMask.ENTER_NOTIFY_MASK)


def at(e):
    return f"{int(e.x) + geom.x} {int(e.y) + geom.y}"


def on_key(_w, e):
    kind = "press" if e.type == Gdk.EventType.KEY_PRESS else "release"
    # The modifiers as the window saw them with the key (hex).
    log.write(f"key {kind} {Gdk.keyval_name(e.keyval)} {int(e.state) & 0xff:x}\n")
    return True


def on_button(_w, e):
    if e.type not in (Gdk.EventType.BUTTON_PRESS, Gdk.EventType.BUTTON_RELEASE):
        return True  # the double and triple presses GTK adds
    kind = "press" if e.type == Gdk.EventType.BUTTON_PRESS else "release"
    log.write(f"button {kind} {e.button} {at(e)}\n")
    return True


def on_scroll(_w, e):
    names = {Gdk.ScrollDirection.UP: "up", Gdk.ScrollDirection.DOWN: "down",
             Gdk.ScrollDirection.LEFT: "left", Gdk.ScrollDirection.RIGHT: "right"}
    if e.direction in names:
        log.write(f"scroll {names[e.direction]} {at(e)}\n")
    elif e.direction == Gdk.ScrollDirection.SMOOTH:
        ok, dx, dy = e.get_scroll_deltas()
        log.write(f"smooth {dx:g} {dy:g} {at(e)}\n")
    return True


def on_motion(_w, e):
    log.write(f"motion {at(e)}\n")
    return True


def on_focus(_w, e):
    log.write(f"focus {'in' if e.in_ else 'out'}\n")
    return False


def on_map(_w, _e):
    # Every motion as it comes: GTK would merge those of one frame.
    win.get_window().set_event_compression(False)
    # Full screen is a state the compositor confirms with a configure; the
    # size it then gives is the monitor's.
    GLib.timeout_add(50, announce)
    return False


def announce():
    w, h = win.get_size()
    if (w, h) != (geom.width, geom.height):
        return True
    log.write(f"ready {geom.x} {geom.y} {geom.width} {geom.height}\n")
    return False


win.connect("key-press-event", on_key)
win.connect("key-release-event", on_key)
win.connect("button-press-event", on_button)
win.connect("button-release-event", on_button)
win.connect("scroll-event", on_scroll)
win.connect("motion-notify-event", on_motion)
# The pointer's arrival from outside the window is a move to there too.
win.connect("enter-notify-event", on_motion)
win.connect("focus-in-event", on_focus)
win.connect("focus-out-event", on_focus)
win.connect("map-event", on_map)
win.connect("destroy", Gtk.main_quit)
win.fullscreen_on_monitor(display.get_default_screen(), monitor)
win.show_all()
Gtk.main()
