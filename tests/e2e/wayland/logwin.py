#!/usr/bin/env python3
"""A full-screen native window that logs the input it receives, one line
each, flushed at once:
  mapped W H              once it fills the screen (mutter gives a new window
                          no focus until it is clicked)
  focus                   when it gets the keyboard focus
  key NAME                a key press, by its keysym name
  button N X Y            a button press at window (= layout) coordinates
  scroll DIR              a wheel notch (up, down, left, right)
  smooth DX DY            a finer scroll, in GTK's steps
usage: logwin.py [SECONDS [MONITOR]]; MONITOR is GDK's monitor number.
Run it with GDK_BACKEND=wayland."""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def out(*words):
    print(*words, flush=True)


win = Gtk.Window(title="qv-logwin")
win.add_events(Gdk.EventMask.KEY_PRESS_MASK | Gdk.EventMask.BUTTON_PRESS_MASK
               | Gdk.EventMask.SCROLL_MASK | Gdk.EventMask.SMOOTH_SCROLL_MASK)
state = {"mapped": False, "said": False}


def maybe_ready():
    gw = win.get_window()
    if not state["mapped"] or state["said"] or not gw:
        return False
    # The full-screen flag comes before the size: ready once the window
    # fills the monitor it is on.
    geo = win.get_display().get_monitor_at_window(gw).get_geometry()
    w, h = win.get_size()
    if (w, h) == (geo.width, geo.height):
        state["said"] = True
        out("mapped", w, h)
    return False


def on_key(_w, e):
    out("key", Gdk.keyval_name(e.keyval))
    return True


def on_button(_w, e):
    if e.type == Gdk.EventType.BUTTON_PRESS:
        out("button", e.button, int(e.x), int(e.y))
    return True


def on_scroll(_w, e):
    if e.direction == Gdk.ScrollDirection.SMOOTH:
        _ok, dx, dy = e.get_scroll_deltas()
        out("smooth", "%.2f" % dx, "%.2f" % dy)
    else:
        out("scroll", e.direction.value_nick)
    return True


# Ready once the compositor has made it full-screen: its size is then the
# output's.
def on_state(_w, e):
    state["mapped"] = bool(e.new_window_state & Gdk.WindowState.FULLSCREEN)
    maybe_ready()
    return False


def on_focus(_w, _e):
    out("focus")
    return False


win.connect("key-press-event", on_key)
win.connect("button-press-event", on_button)
win.connect("scroll-event", on_scroll)
win.connect("window-state-event", on_state)
win.connect("size-allocate", lambda *_: maybe_ready())
win.connect("configure-event", lambda *_: maybe_ready() and False)
win.connect("size-allocate", lambda *_: maybe_ready())
win.connect("focus-in-event", on_focus)
win.connect("destroy", Gtk.main_quit)
if len(sys.argv) > 2:
    win.fullscreen_on_monitor(win.get_screen(), int(sys.argv[2]))
else:
    win.fullscreen()
win.show_all()
GLib.timeout_add_seconds(int(sys.argv[1]) if len(sys.argv) > 1 else 60, Gtk.main_quit)
Gtk.main()
