// What the Win32 backend's files share among themselves. Never included by
// the portable core.
#pragma once
#include <windows.h>

// The toolbar window, or null before it exists and after it is destroyed.
extern HWND g_mainWindow;
extern HINSTANCE g_instance;
// The hand cursor (also shown over the about box's link).
extern HCURSOR g_handCursor;
// Resource numbers of the program icon and the button strip.
constexpr int IDI_PROGRAM = 1001;
constexpr int IDB_STRIP = 1002;
// Raw Input of every mouse to the toolbar, focused or not: the wheel's
// turns, added up until the recorder takes them (PlatTakeWheel).
void Win32WheelListen(HWND window);
void Win32WheelInput(LPARAM lParam);
// A command from a second start (win32_control.cpp): wParam the verb.
constexpr UINT WM_QUORVANE_CONTROL = WM_APP + 0x51;
LRESULT Win32ControlMessage(WPARAM verb);
