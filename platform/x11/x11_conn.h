// What the files of the X11 input services share: their own connection to
// the server, apart from the toolkit's.
#pragma once
#include <X11/Xlib.h>

// The input connection, opened on first use; null without an X display.
Display *X11Conn();
// Sends what was queued on the connection. Injections and warps change the
// input: the next look waits for their events, and the pointer is read
// again.
void X11Sent();
