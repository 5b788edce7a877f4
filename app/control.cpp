// The program started only to ask something: a command handed to the
// toolbar that runs already, or the check of what this desktop allows. Both
// end at once and say what happened on the terminal.
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/text.h"
#include "../engine/types.h"
#include "../platform/control.h"
#include "../platform/files.h"
#include "../platform/timer.h"
#include "../platform/ui.h"
#include "app.h"
#include "appcore.h"
#include "fields.h"
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

const struct {
    uint32_t verb;
    const char *name;
} kVerbs[] = {
    {CONTROL_RECORD, "record"},
    {CONTROL_PLAY, "play"},
    {CONTROL_STOP, "stop"},
};

} // namespace

const char *ControlVerbName(uint32_t verb) {
    for (auto &v : kVerbs)
        if (v.verb == verb) return v.name;
    return "";
}

uint32_t ControlVerbOf(const char *name) {
    if (!name) return CONTROL_NONE;
    for (auto &v : kVerbs)
        if (std::strcmp(v.name, name) == 0) return v.verb;
    return CONTROL_NONE;
}

bool AppControlCommand(uint32_t verb) {
    switch (verb) {
    case CONTROL_RECORD: PlatPostCommand(ID_RECORD, 0); return true;
    case CONTROL_PLAY:
        // The keys the desktop's settings bound to the command are still
        // held when it arrives; they come up before a playback starts
        // feeding input, as the play hotkey's keys do.
        PlatSleep(150);
        PlatPostCommand(ID_PLAY, 0);
        return true;
    case CONTROL_STOP:
        // Whatever runs stops: a playback as the play hotkey stops it, a
        // recording as the Rec button does. Idle, there is nothing to do.
        if (g_app.runState == Playing)
            PlatPostCommand(PLAY_STOP_REQUEST, 0);
        else if (g_app.runState == Recording)
            PlatPostCommand(ID_RECORD, 0);
        return true;
    }
    return false;
}

int SendControlCommand(uint32_t verb) {
    char why[200] = "";
    char line[320];
    switch (PlatControlSend(verb, why, sizeof why)) {
    case SEND_DELIVERED: return 0;
    case SEND_NO_TOOLBAR:
        std::snprintf(line, sizeof line, "quorvane: --%s: no Quorvane toolbar runs on this desktop",
                      ControlVerbName(verb));
        break;
    default:
        std::snprintf(line, sizeof line, "quorvane: --%s was not delivered%s%s",
                      ControlVerbName(verb), why[0] ? ": " : "", why);
        break;
    }
    PlatCommandLineMessage(line, true);
    return 1;
}

void FormatCheckLine(const char *label, const CheckLine &line, char *out, uint32_t size) {
    std::snprintf(out, size, "%s: %s%s%s", label, line.text, line.advice[0] ? "; " : "",
                  line.advice);
}

void TakeCheck(CheckReport *r) {
    for (CheckLine *l : {&r->session, &r->playback, &r->recording, &r->pointer, &r->hotkeys}) {
        l->works = false;
        std::snprintf(l->text, sizeof l->text, "unknown");
        l->advice[0] = 0;
    }
    PlatCheck(r);
}

int CheckCommand() {
    CheckReport r;
    TakeCheck(&r);
    const struct {
        const char *label;
        const CheckLine *line;
    } lines[] = {{"session", &r.session},
                 {"playback", &r.playback},
                 {"recording", &r.recording},
                 {"pointer", &r.pointer},
                 {"hotkeys", &r.hotkeys}};
    char out[600];
    for (auto &l : lines) {
        FormatCheckLine(l.label, *l.line, out, sizeof out);
        PlatCommandLineMessage(out, false);
    }
    // The program's job is to record and to play back; a pointer only
    // estimated or hotkeys left to the desktop still let it do that.
    return r.playback.works && r.recording.works ? 0 : 1;
}
