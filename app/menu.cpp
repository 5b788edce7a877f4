#include "appcore.h"
void ShowOptionsMenu() {}
void SettingCommand(uint32_t) {}
void HotkeyChoiceCommand(uint32_t) {}
void HelpCommand() {}
void WebsiteCommand(int32_t) {}
