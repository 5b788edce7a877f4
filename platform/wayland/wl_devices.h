// What the Wayland backend knows of the user's own input: keys, buttons and
// wheels from the input devices (read-only, never grabbed), the pointer's
// place from the desktop (pointer.h). A compositor shows a client none of
// it, so this is all a recording on Wayland has.
#pragma once
#include <cstdint>

// Opens the devices the user may read and the desktop's pointer source;
// changes arrive through GLib's default main context from then on.
void WlDevicesOpen();
void WlDevicesClose();
// Reads what is pending now (the scans of the core start with this).
void WlDevicesPump();
// Held on any device, by virtual-key code.
bool WlDeviceDown(int vk);
// Asks the devices anew which keys they hold (EVIOCGKEY), before the
// thread's table is cleared: held keys are then known exactly.
void WlDevicesResync();
// A recording starts or ends: true when the devices report its changes.
bool WlDevicesRecording(bool on);
// The pointer's place as best known.
void WlDevicesCursor(int32_t *x, int32_t *y);
// The program's own playback put the pointer there.
void WlDevicesPlayedMove(int32_t x, int32_t y);
// Turns of the devices' wheels since the last take, 120 a notch.
void WlDevicesTakeWheel(int32_t *dy, int32_t *dx);
// Called with each device change after the state is applied (the
// backend's key table is brought up to date there).
void WlDevicesSetListener(void (*changed)());

// The toolkit saw the pointer enter or leave the toolbar.
void WlDevicesSetOverToolbar(bool over);
bool WlDevicesOverToolbar();

// ---- what --check and the Rec button say ----
// Whether recording can work: some device can be read.
bool WlRecordingAvailable();
// The check's recording line: "input devices (2 keyboards, 1 pointer)", or
// why not and, in advice, the fix. False when recording cannot work.
bool WlRecordingLine(char *text, int textSize, char *advice, int adviceSize);
// The check's pointer line: "700,333 (gnome-shell extension)", the
// estimate and how far off it may be, or "unknown" and the fix. False when
// unknown.
bool WlPointerLine(char *text, int textSize, char *advice, int adviceSize);
// The text of the box Rec shows without device access.
const char *WlNoAccessText();
