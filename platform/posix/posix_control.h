// The command socket's name, apart from the socket itself so tests can ask.
#pragma once
#include <cstddef>

// dir/quorvane-KEY.sock: KEY is the Wayland socket's name when there is one
// (a second start on the same desktop sees the same one), else "x11" and the
// X display without its screen number. False when neither is named or the
// path does not fit.
bool ControlSocketPath(const char *dir, const char *waylandDisplay, const char *display, char *out,
                       size_t size);
