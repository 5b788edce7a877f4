// The bytes RECORD hands over, read as the steps of the input.
#include "x11_record.h"
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <cstring>

X11RecordItem X11RecordDecode(int category, const unsigned char *data, unsigned long bytes,
                              X11Step *step) {
    // The input connection's own request, sent after what it waits for.
    if (category == XRecordFromClient)
        return bytes >= 4 && data[0] == X_NoOperation ? X11_RECORD_MARK : X11_RECORD_NOTHING;
    if (category != XRecordFromServer || bytes < sizeof(xEvent)) return X11_RECORD_NOTHING;
    xEvent e;
    std::memcpy(&e, data, sizeof e); // the buffer need not be aligned for the struct
    int type = e.u.u.type & 0x7F;    // the top bit marks an event a client sent
    if (type < KeyPress || type > MotionNotify) return X11_RECORD_NOTHING;
    step->type = type;
    step->detail = e.u.u.detail;
    step->time = uint32_t(e.u.keyButtonPointer.time);
    // Every device event carries the place on the root where it happened,
    // a motion its new place: nothing needs to be asked afterwards.
    step->placed = true;
    step->x = e.u.keyButtonPointer.rootX;
    step->y = e.u.keyButtonPointer.rootY;
    return X11_RECORD_STEP;
}
