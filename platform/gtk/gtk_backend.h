// What the GTK toolbar window (gtk_ui.cpp) shares with its boxes, dialogs
// and menu (gtk_boxes.cpp), and the start's settings for the toolkit.
#pragma once
#include <cstdint>
#include <gtk/gtk.h>

// The toolbar window: the owner of boxes and the menu's anchor. Null before
// it is made and once it is gone.
GtkWindow *ToolbarWindow();
// The buttons' hand cursor, which the about box's link shows too; null
// outside the graphics' lifetime.
GdkCursor *ToolbarHandCursor();
// Input came (the input connection had events, or the toolbar saw the
// pointer): timers waiting for input (PlatSetInputTimer) are let fire.
void InputArrived();
// text into buf of size bytes, cut to fit and always terminated.
void CopyText(char *buf, uint32_t size, const char *text);
// Around the toolkit's start: leaves out what it would start for features
// the program does not use (gtk_quickstart.cpp), and gives the environment
// back afterwards. Before its options are parsed, before gtk_init and after.
// A start that plays at once is drawn with a small style of the program's
// own until the playback ends or ToolkitThemeNeeded.
void QuickStartBefore();
void QuickStartToolkit(bool playsAtOnce);
void QuickStartAfter();
// Before a menu, box or dialog: the desktop's theme, loaded now if the
// start left it out.
void ToolkitThemeNeeded();
// A timer of that id is waiting to fire (gtk_timer.cpp).
bool PlatTimerArmed(uint32_t id);
