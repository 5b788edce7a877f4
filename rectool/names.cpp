// Names a person can read for the event kinds and the virtual-key codes a
// recording holds. Codes without a name are shown by number only.
#include "rectool.h"
#include "../engine/winconst.h"
#include <cstring>

namespace {

struct KindEntry {
    uint32_t message;
    const char *name;
};
const KindEntry KINDS[] = {
    {WM_KEYDOWN, "keydown"},   {WM_KEYUP, "keyup"},      {WM_MOUSEMOVE, "move"},
    {WM_LBUTTONDOWN, "ldown"}, {WM_LBUTTONUP, "lup"},    {WM_RBUTTONDOWN, "rdown"},
    {WM_RBUTTONUP, "rup"},     {WM_MOUSEWHEEL, "wheel"}, {WM_MOUSEHWHEEL, "hwheel"},
};
constexpr int KIND_COUNT = int(sizeof KINDS / sizeof KINDS[0]);
static_assert(KIND_COUNT == 9, "RecSummary::byKind holds the named kinds and one more");

struct KeyEntry {
    uint8_t vk;
    const char *name;
};
// Letters, digits and F1..F24 are made by rule; these are the rest.
const KeyEntry KEYS[] = {
    {0x01, "LButton"},     {0x02, "RButton"},   {0x03, "Cancel"},       {0x04, "MButton"},
    {0x05, "XButton1"},    {0x06, "XButton2"},  {0x08, "Backspace"},    {0x09, "Tab"},
    {0x0C, "Clear"},       {0x0D, "Enter"},     {0x10, "Shift"},        {0x11, "Ctrl"},
    {0x12, "Alt"},         {0x13, "Pause"},     {0x14, "CapsLock"},     {0x1B, "Esc"},
    {0x20, "Space"},       {0x21, "PageUp"},    {0x22, "PageDown"},     {0x23, "End"},
    {0x24, "Home"},        {0x25, "Left"},      {0x26, "Up"},           {0x27, "Right"},
    {0x28, "Down"},        {0x29, "Select"},    {0x2A, "Print"},        {0x2B, "Execute"},
    {0x2C, "PrintScreen"}, {0x2D, "Insert"},    {0x2E, "Delete"},       {0x2F, "Help"},
    {0x5B, "LWin"},        {0x5C, "RWin"},      {0x5D, "Apps"},         {0x5F, "Sleep"},
    {0x6A, "NumMultiply"}, {0x6B, "NumAdd"},    {0x6C, "NumSeparator"}, {0x6D, "NumSubtract"},
    {0x6E, "NumDecimal"},  {0x6F, "NumDivide"}, {0x90, "NumLock"},      {0x91, "ScrollLock"},
    {0xA0, "LShift"},      {0xA1, "RShift"},    {0xA2, "LCtrl"},        {0xA3, "RCtrl"},
    {0xA4, "LAlt"},        {0xA5, "RAlt"},      {0xAD, "VolumeMute"},   {0xAE, "VolumeDown"},
    {0xAF, "VolumeUp"},    {0xB0, "MediaNext"}, {0xB1, "MediaPrev"},    {0xB2, "MediaStop"},
    {0xB3, "MediaPlay"},   {0xBA, "Semicolon"}, {0xBB, "Equals"},       {0xBC, "Comma"},
    {0xBD, "Minus"},       {0xBE, "Period"},    {0xBF, "Slash"},        {0xC0, "Backquote"},
    {0xDB, "LBracket"},    {0xDC, "Backslash"}, {0xDD, "RBracket"},     {0xDE, "Quote"},
    {0xE2, "Oem102"},
};

struct KeyTable {
    const char *names[256];
    char made[256][8]; // letters, digits, keypad digits and function keys
};

const KeyTable &Keys() {
    static KeyTable table;
    static bool ready = false;
    if (ready) return table;
    for (uint32_t vk = '0'; vk <= '9'; vk++) {
        table.made[vk][0] = char(vk);
        table.names[vk] = table.made[vk];
    }
    for (uint32_t vk = 'A'; vk <= 'Z'; vk++) {
        table.made[vk][0] = char(vk);
        table.names[vk] = table.made[vk];
    }
    for (uint32_t i = 0; i < 10; i++) {
        std::memcpy(table.made[0x60 + i], "Num", 3);
        table.made[0x60 + i][3] = char('0' + i);
        table.names[0x60 + i] = table.made[0x60 + i];
    }
    for (uint32_t i = 1; i <= 24; i++) {
        char *s = table.made[0x70 + i - 1];
        s[0] = 'F';
        if (i < 10) {
            s[1] = char('0' + i);
        } else {
            s[1] = char('0' + i / 10);
            s[2] = char('0' + i % 10);
        }
        table.names[0x70 + i - 1] = s;
    }
    for (const KeyEntry &k : KEYS)
        table.names[k.vk] = k.name;
    ready = true;
    return table;
}

bool SameNoCase(const char *a, size_t n, const char *b) {
    for (size_t i = 0; i < n; i++) {
        char x = a[i], y = b[i];
        if (!y) return false;
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return b[n] == 0;
}

} // namespace

const char *KindName(uint32_t message) {
    for (const KindEntry &k : KINDS)
        if (k.message == message) return k.name;
    return nullptr;
}

bool KindByName(const char *name, size_t length, uint32_t *message) {
    for (const KindEntry &k : KINDS)
        if (std::strlen(k.name) == length && std::memcmp(k.name, name, length) == 0) {
            *message = k.message;
            return true;
        }
    return false;
}

int KindIndex(uint32_t message) {
    for (int i = 0; i < KIND_COUNT; i++)
        if (KINDS[i].message == message) return i;
    return KIND_COUNT;
}

bool IsPointerKind(uint32_t message) {
    return message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP ||
           message == WM_RBUTTONDOWN || message == WM_RBUTTONUP;
}

bool IsKeyKind(uint32_t message) {
    return message == WM_KEYDOWN || message == WM_KEYUP;
}

bool IsWheelKind(uint32_t message) {
    return message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL;
}

const char *KeyName(uint32_t vk) {
    return vk < 256 ? Keys().names[vk] : nullptr;
}

int KeyByName(const char *name, size_t length) {
    const KeyTable &t = Keys();
    for (int vk = 0; vk < 256; vk++)
        if (t.names[vk] && SameNoCase(name, length, t.names[vk])) return vk;
    return -1;
}
