// Drives the X11 input services directly for the end-to-end tests: one
// command per line on stdin, one answer line on stdout.
//   snap    -> "async <vk>... | thread <vk>... | toggled <vk>..." (hex)
//   clear   -> clears the thread's key table; "ok"
//   fg      -> the foreground window id (decimal)
//   pos     -> "x y"
//   steps   -> "| <vk>... | <vk>..." the keys down at each reported change
//              since the last ask (hex)
#include "platform/input.h"
#include "platform/x11/x11_backend.h"
#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>
#include <string>

// The services report each change to a recorder, stamped on the program's
// clock; the probe notes which keys were down at each one.
static std::string s_steps;
// Nothing is down before the first report: a look at the pointer then (a
// keyboard state change can come before the key that made it) notes none.
static std::string s_lastStep;
void RecordInputChange(uint32_t) {
    std::string step;
    char code[8];
    for (int vk = 3; vk < 256; vk++)
        if (PlatGetAsyncKeyState(vk) < 0) {
            std::snprintf(code, sizeof code, " %x", vk);
            step += code;
        }
    // A look at the pointer is reported too; only the keys are noted.
    if (step == s_lastStep) return;
    s_lastStep = step;
    s_steps += " |" + step;
}
uint32_t PlatGetTickCount() {
    return uint32_t(g_get_monotonic_time() / 1000);
}

int main(int argc, char **argv) {
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv) || !X11InputOpen()) return 1;
    PlatInputRecording(true);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (!std::strncmp(line, "snap", 4)) {
            PlatInputSnapshot();
            std::printf("async");
            for (int vk = 1; vk < 256; vk++)
                if (PlatGetAsyncKeyState(vk) < 0) std::printf(" %x", vk);
            std::printf(" | thread");
            for (int vk = 1; vk < 256; vk++)
                if (PlatGetKeyState(vk) < 0) std::printf(" %x", vk);
            std::printf(" | toggled");
            for (int vk = 1; vk < 256; vk++)
                if (PlatGetKeyState(vk) & 1) std::printf(" %x", vk);
            std::printf("\n");
        } else if (!std::strncmp(line, "clear", 5)) {
            static const uint8_t zeros[256] = {};
            PlatSetKeyboardState(zeros);
            std::printf("ok\n");
        } else if (!std::strncmp(line, "fg", 2)) {
            PlatInputSnapshot();
            std::printf("%u\n", PlatGetForegroundWindow());
        } else if (!std::strncmp(line, "steps", 5)) {
            PlatInputSnapshot();
            std::printf("%s\n", s_steps.c_str());
            s_steps.clear();
        } else if (!std::strncmp(line, "pos", 3)) {
            // A warp (xdotool's move) brings no raw motion: the place is
            // asked for whatever moved it.
            X11PointerMoved();
            PlatInputSnapshot();
            int32_t x = 0, y = 0;
            PlatGetCursorPos(&x, &y);
            std::printf("%d %d\n", x, y);
        }
        std::fflush(stdout);
    }
    return 0;
}
