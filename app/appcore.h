// Handlers of the toolbar window's commands and timers that live in app/.
#pragma once
#include <cstdint>

// settings.cpp
// Derives the INI path from ownPath, sets the remember flag and reads the
// settings; hands back the saved (or default) window position.
void ReadSettings(int32_t windowWidth, int32_t windowHeight, int32_t *x, int32_t *y);
void SaveSettings();

// menu.cpp
void ShowOptionsMenu();                // ID_OPTIONS
void SettingCommand(uint32_t command); // speed, continuous, tips, remember
void HotkeyChoiceCommand(uint32_t command);
void HelpCommand();
void WebsiteCommand(int32_t lParam);

// poll.cpp
void PollTick();

// boxes.cpp
void RepeatCountCommand();
void AboutCommand();
void DecorateTick(uint32_t timerId);
