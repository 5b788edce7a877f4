// The toolbar's own small caption (gtk_caption.cpp), shared with the
// window's drawing and events in gtk_ui.cpp. Sizes in GTK's scaled pixels.
#pragma once
#include <gtk/gtk.h>

// The thin frame around the whole window and the caption strip above the
// buttons; the client area starts at (TOOLBAR_FRAME, TOOLBAR_FRAME +
// TOOLBAR_CAPTION).
constexpr int TOOLBAR_FRAME = 1;
constexpr int TOOLBAR_CAPTION = 14;

// Draws the frame and the caption with its text and close box, for a window
// width wide.
void CaptionDraw(cairo_t *cr, int width, int height, const char *text);
// Where the caption's text goes: all a new text needs redrawn.
GdkRectangle CaptionTextArea(int width);
// A press or release on the window at (x, y); true when the caption took it
// (a drag begun, the close box pressed or clicked).
bool CaptionPress(GtkWindow *window, GdkEventButton *e, int width);
bool CaptionRelease(GdkEventButton *e, int width);
