// The bytes the X server's RECORD extension hands over, read as the steps
// the X11 recorder takes: each device event with its own time and place,
// the input connection's mark, and everything else left alone.
// gtest first: X11's headers define names (None, Bool) its templates use.
#include <gtest/gtest.h>
#include "platform/x11/x11_record.h"
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <cstring>

namespace {

struct Bytes {
    alignas(8) unsigned char b[40]; // one more than an event: the reader copies, never assumes
};

// An event as the server writes it, one byte into the buffer so that it is
// not aligned for the struct.
Bytes EventBytes(int type, int detail, uint32_t time, int16_t x, int16_t y) {
    xEvent e;
    std::memset(&e, 0, sizeof e);
    e.u.u.type = uint8_t(type);
    e.u.u.detail = uint8_t(detail);
    e.u.keyButtonPointer.time = time;
    e.u.keyButtonPointer.rootX = x;
    e.u.keyButtonPointer.rootY = y;
    Bytes out = {};
    std::memcpy(out.b + 1, &e, sizeof e);
    return out;
}

} // namespace

TEST(X11Record, DeviceEventsAreStepsWithTheirTimeAndPlace) {
    const struct {
        int type, detail;
        int16_t x, y;
        int wantType;
    } cases[] = {
        {MotionNotify, 0, 300, 200, MotionNotify},
        {KeyPress, 38, 5, 6, KeyPress},
        {KeyRelease, 255, 5, 6, KeyRelease},
        {ButtonPress, 9, 1023, 767, ButtonPress},
        {ButtonRelease, 4, 0, 0, ButtonRelease},
        // A screen left of or above the first: places below zero.
        {MotionNotify, 0, -40, -1, MotionNotify},
        // The top bit marks a sent event; the kind is the rest.
        {0x80 | KeyPress, 24, 1, 1, KeyPress},
    };
    for (const auto &c : cases) {
        Bytes in = EventBytes(c.type, c.detail, 0xFFFFFF00u, c.x, c.y);
        X11Step s = {};
        ASSERT_EQ(X11RecordDecode(XRecordFromServer, in.b + 1, sizeof(xEvent), &s), X11_RECORD_STEP)
            << c.type;
        EXPECT_EQ(s.type, c.wantType);
        EXPECT_EQ(s.detail, unsigned(c.detail));
        EXPECT_EQ(s.time, 0xFFFFFF00u) << "the server's time, as it wraps too";
        EXPECT_TRUE(s.placed);
        EXPECT_EQ(s.x, c.x);
        EXPECT_EQ(s.y, c.y);
    }
}

TEST(X11Record, OnlyTheMarkAndDeviceEventsAreTaken) {
    X11Step s = {};
    Bytes expose = EventBytes(Expose, 0, 1, 2, 3);
    EXPECT_EQ(X11RecordDecode(XRecordFromServer, expose.b + 1, sizeof(xEvent), &s),
              X11_RECORD_NOTHING);
    Bytes cut = EventBytes(MotionNotify, 0, 1, 2, 3);
    EXPECT_EQ(X11RecordDecode(XRecordFromServer, cut.b + 1, sizeof(xEvent) - 4, &s),
              X11_RECORD_NOTHING)
        << "a short piece is no event";
    EXPECT_EQ(X11RecordDecode(XRecordStartOfData, nullptr, 0, &s), X11_RECORD_NOTHING);
    EXPECT_EQ(X11RecordDecode(XRecordEndOfData, nullptr, 0, &s), X11_RECORD_NOTHING);

    unsigned char noop[4] = {X_NoOperation, 0, 1, 0};
    EXPECT_EQ(X11RecordDecode(XRecordFromClient, noop, 4, &s), X11_RECORD_MARK);
    unsigned char other[4] = {X_GetInputFocus, 0, 1, 0};
    EXPECT_EQ(X11RecordDecode(XRecordFromClient, other, 4, &s), X11_RECORD_NOTHING);
    EXPECT_EQ(X11RecordDecode(XRecordFromClient, noop, 0, &s), X11_RECORD_NOTHING);
    // An event's bytes as a client's request are no step.
    EXPECT_EQ(X11RecordDecode(XRecordFromClient, cut.b + 1, sizeof(xEvent), &s),
              X11_RECORD_NOTHING);
}
