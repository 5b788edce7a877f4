// Data shared by every layer: the record layout, the one recording in memory,
// the run state and the command and timer numbers. Backends may include this
// header; it names nothing from any desktop's own headers.
#pragma once
#include <cstdint>

// One input event, byte for byte as stored in memory, in .rec files and in
// compiled players (five little-endian 32-bit fields).
struct EventRecord {
    uint32_t message; // event kind as a window-message number; 0 ends a list
    uint32_t paramL;  // key: vk + 256 * scan; pointer: x
    uint32_t paramH;  // key: scan; pointer: y
    uint32_t time;    // tick count in ms when taken
    uint32_t hwnd;    // foreground window when taken, 32 bits everywhere
};
static_assert(sizeof(EventRecord) == 20, "a record is 20 bytes in files and players");

struct EventList {
    EventRecord *records; // one zero-filled block, or none
    uint32_t capacity;    // block size in bytes as requested
    uint32_t count;       // records held; the play position while playing
};

enum RunState : uint32_t { Idle = 0, Recording = 0x8002, Playing = 0x8003 };

// The hotkey choices stored in the settings file.
enum : uint8_t { HOTKEY_CSA = 0, HOTKEY_PRTSC = 1, HOTKEY_F8 = 8, HOTKEY_F12 = 12 };

enum : uint32_t {
    ID_OPEN = 0x8000,
    ID_SAVE = 0x8001,
    ID_RECORD = 0x8002,
    ID_PLAY = 0x8003,
    ID_COMPILE = 0x8004,
    ID_OPTIONS = 0x8005,
    ID_SPEED_NORMAL = 0x800A,
    ID_SPEED_FAST = 0x800B,
    ID_CONTINUOUS = 0x800C,
    ID_REPEAT_COUNT = 0x800D,
    ID_HELP = 0x800E,
    ID_WEBSITE = 0x800F,
    ID_ABOUT = 0x8010,
    ID_TIPS = 0x8011,
    ID_REMEMBER_SETTINGS = 0x8012,
    ID_RECKEY_CSA = 0x8013,
    ID_RECKEY_PRTSC = 0x8014,
    ID_RECKEY_F8 = 0x8015,
    ID_RECKEY_F12 = 0x8016,
    ID_PLAYKEY_CSA = 0x8017,
    ID_PLAYKEY_PRTSC = 0x8018,
    ID_PLAYKEY_F8 = 0x8019,
    ID_PLAYKEY_F12 = 0x801A,
    ID_RATE_50 = 0x801B,
    ID_RATE_100 = 0x801C,
    ID_RATE_200 = 0x801D,
    ID_RATE_400 = 0x801E,
    ID_RATE_OTHER = 0x801F,
    ID_PAUSE_LIMIT = 0x8020,
    ID_PAUSE_LENGTH = 0x8021,
    ID_LAST_COMMAND = ID_PAUSE_LENGTH,
};

// A play command with high word 1 asks a running playback to stop.
constexpr uint32_t PLAY_STOP_REQUEST = 0x18003;
// A record command with high word 1 comes from the record hotkey, whose
// keys the recorder may already have taken.
constexpr uint32_t RECORD_BY_HOTKEY = 0x18002;

enum : uint32_t {
    TIMER_RECORD = 1001,
    TIMER_PLAY = 1002,
    TIMER_ABOUT_DECORATE = 1003,
    TIMER_REPEAT_DECORATE = 1004,
    TIMER_POLL = 1005,
};

// Message numbers a backend hands to AppWindowProc. They carry the values of
// the desktop messages they stand for, under names that cannot collide with
// that desktop's own macros.
enum : uint32_t {
    MSG_CREATE = 1,
    MSG_DESTROY = 2,
    MSG_PAINT = 15,
    MSG_CLOSE = 16,
    MSG_KEYDOWN = 0x100,
    MSG_COMMAND = 0x111,
    MSG_TIMER = 0x113,
    MSG_MOUSEMOVE = 0x200,
    MSG_LBUTTONDOWN = 0x201,
};

// The pause limit the menu switches on until another length is chosen.
constexpr int32_t DEFAULT_PAUSE_LIMIT_MS = 2000;

constexpr const char *PROGRAM_NAME = "Quorvane";
constexpr const char *PROGRAM_VERSION = "1.50";
