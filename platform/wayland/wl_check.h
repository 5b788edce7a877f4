// The Wayland backend's lines of the check (platform/control.h).
#pragma once

struct CheckReport;
struct CheckLine;

// Every line: the session and the playback route (route, or null and why
// none opened) from this backend, the rest from the parts below.
void WlCheck(CheckReport *report, const char *route, const char *why);
// Recording, the pointer's position and the hotkeys on Wayland: each fills
// its one line, "none"/"unknown" and what to do when it cannot serve. Today
// nothing of them reads input on Wayland; the recording side replaces these
// with what it builds.
void WlCheckRecording(CheckLine *line);
void WlCheckPointer(CheckLine *line);
void WlCheckHotkeys(CheckLine *line);
