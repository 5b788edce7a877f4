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
// Raw Input of every keyboard and mouse to the toolbar, focused or not: the
// wheel's turns, added up until the recorder takes them (PlatTakeWheel),
// and while recording every input, told to the recorder as it comes.
void Win32RawInputListen(HWND window);
void Win32RawInput(LPARAM lParam);
// While a recording is told of an input: the key state as of that input
// (false: ask the system), and the pointer where the message says it was.
bool Win32RawKeyState(int vk, int16_t *state);
bool Win32RawPlace(int32_t *x, int32_t *y);
// A command from a second start (win32_control.cpp): wParam the verb.
constexpr UINT WM_QUORVANE_CONTROL = WM_APP + 0x51;
LRESULT Win32ControlMessage(WPARAM verb);
