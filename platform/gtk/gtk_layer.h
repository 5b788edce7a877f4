// The toolbar as a layer surface, on Wayland desktops that offer the layer
// shell (wlroots compositors, KWin): the overlay layer keeps it above
// full-screen windows, where a plain window is not kept above anything.
#pragma once
#include <gtk/gtk.h>

// Which windowing the toolkit may use, chosen before it starts: Wayland
// (for a layer surface) when the compositor offers the layer shell; else
// the X11 of Xwayland when there is one (GNOME: mutter keeps an X11 window
// above when asked, a Wayland one it does not); else Wayland, as a plain
// window.
const char *ToolbarBackends(bool waylandSession);
// Makes window a layer surface at (x, y) in logical desktop coordinates,
// before it is realized; false where there is no layer shell (the window
// stays a plain one).
bool ToolbarLayerSetUp(GtkWindow *window, int x, int y);
bool ToolbarIsLayer();
// Keyboard focus on demand (idle, with the pointer over the toolbar), or
// never (while a playback types into another window).
void ToolbarLayerTakesKeys(GtkWindow *window, bool take);
void ToolbarLayerPointer(GtkWindow *window, bool inside);
// The surface's place and size in logical desktop coordinates.
void ToolbarLayerRect(GtkWindow *window, GdkRectangle *r);
// The caption's drag: a layer surface is not moved by the compositor, so
// the drag moves it by its margins. Press and release answer whether they
// took the event.
void ToolbarLayerDragStart(const GdkEventButton *e);
bool ToolbarLayerDragMotion(GtkWindow *window, const GdkEventMotion *e);
bool ToolbarLayerDragEnd();
