// Frames of kernel input events into changes. A frame's events belong
// together (a button and the motion that came with it), so nothing is
// handed out before its SYN_REPORT. Keys compare against the state of the
// last frame: a release for a key never seen down (held before the device
// was opened and the state missed it) still counts, a repeat (value 2) and
// a press the state already has do not.
#include "evdev_decode.h"
#include "../input.h"
#include <cstring>

namespace {

void SetKey(uint8_t *bits, uint16_t code, bool down) {
    if (down)
        bits[code / 8] |= uint8_t(1u << (code % 8));
    else
        bits[code / 8] &= uint8_t(~(1u << (code % 8)));
}

bool GetKey(const uint8_t *bits, uint16_t code) {
    return (bits[code / 8] >> (code % 8)) & 1;
}

void ClearFrame(EvdevDecoder *d) {
    d->frameKeyCount = 0;
    d->relX = d->relY = 0;
    d->wheel = d->wheelHiRes = d->hwheel = d->hwheelHiRes = 0;
    d->sawHiRes = d->sawHHiRes = false;
}

void EndFrame(EvdevDecoder *d, uint64_t timeUs, EvdevEmit emit, void *ctx) {
    EvdevChange c = {};
    c.timeUs = timeUs;
    // Motion first: a frame that moves and presses pressed where it ended.
    if (d->relX || d->relY) {
        c.kind = EVDEV_MOTION;
        c.dx = d->relX;
        c.dy = d->relY;
        emit(ctx, &c);
    }
    for (int i = 0; i < d->frameKeyCount; i++) {
        uint16_t code = d->frameKeys[i].code;
        bool down = d->frameKeys[i].down;
        if (GetKey(d->keys, code) == down) continue;
        SetKey(d->keys, code, down);
        c = {};
        c.timeUs = timeUs;
        c.kind = EVDEV_KEY;
        c.code = code;
        c.down = down;
        emit(ctx, &c);
    }
    // A high-resolution wheel sends both; its fine value is the whole truth
    // and the notch value a rounded copy of it.
    int32_t dy = d->sawHiRes ? d->wheelHiRes : AddTurn(0, int64_t(d->wheel) * 120);
    int32_t dx = d->sawHHiRes ? d->hwheelHiRes : AddTurn(0, int64_t(d->hwheel) * 120);
    if (dy) {
        c = {};
        c.timeUs = timeUs;
        c.kind = EVDEV_WHEEL;
        c.dy = dy;
        emit(ctx, &c);
    }
    if (dx) {
        c = {};
        c.timeUs = timeUs;
        c.kind = EVDEV_HWHEEL;
        c.dx = dx;
        emit(ctx, &c);
    }
    ClearFrame(d);
}

} // namespace

void EvdevDecoderInit(EvdevDecoder *d, const uint8_t *held, bool numLock) {
    std::memset(d, 0, sizeof *d);
    if (held) std::memcpy(d->keys, held, sizeof d->keys);
    d->numLock = numLock;
}

void EvdevDecoderDiscardFrame(EvdevDecoder *d) {
    ClearFrame(d);
}

bool EvdevKeyHeld(const EvdevDecoder *d, uint16_t code) {
    return code <= KEY_MAX && GetKey(d->keys, code);
}

void EvdevDecode(EvdevDecoder *d, const input_event *ev, int n, EvdevEmit emit, void *ctx) {
    for (int i = 0; i < n; i++) {
        const input_event &e = ev[i];
        uint64_t us = uint64_t(e.input_event_sec) * 1000000u + uint64_t(e.input_event_usec);
        if (e.type == EV_SYN && e.code == SYN_DROPPED) {
            // The kernel lost events: what this frame holds is incomplete,
            // and so is the next frame up to its report.
            ClearFrame(d);
            d->skipToReport = true;
            continue;
        }
        if (e.type == EV_SYN && e.code == SYN_REPORT) {
            if (d->skipToReport)
                ClearFrame(d);
            else
                EndFrame(d, us, emit, ctx);
            d->skipToReport = false;
            continue;
        }
        if (d->skipToReport) continue;
        if (e.type == EV_KEY && e.code <= KEY_MAX && (e.value == 0 || e.value == 1)) {
            if (d->frameKeyCount == kEvdevFrameKeys) EndFrame(d, us, emit, ctx);
            d->frameKeys[d->frameKeyCount++] = {e.code, e.value == 1};
        } else if (e.type == EV_REL) {
            switch (e.code) {
            case REL_X: d->relX = AddTurn(d->relX, e.value); break;
            case REL_Y: d->relY = AddTurn(d->relY, e.value); break;
            case REL_WHEEL: d->wheel = AddTurn(d->wheel, e.value); break;
            case REL_HWHEEL: d->hwheel = AddTurn(d->hwheel, e.value); break;
            case REL_WHEEL_HI_RES:
                d->wheelHiRes = AddTurn(d->wheelHiRes, e.value);
                d->sawHiRes = true;
                break;
            case REL_HWHEEL_HI_RES:
                d->hwheelHiRes = AddTurn(d->hwheelHiRes, e.value);
                d->sawHHiRes = true;
                break;
            default: break;
            }
        } else if (e.type == EV_LED && e.code == LED_NUML) {
            d->numLock = e.value != 0;
        }
    }
}

void EvdevDecodeBytes(EvdevDecoder *d, const uint8_t *bytes, uint32_t n, EvdevEmit emit,
                      void *ctx) {
    const uint32_t size = sizeof(input_event);
    while (n) {
        uint32_t take = size - d->partialBytes;
        if (take > n) take = n;
        std::memcpy(d->partial + d->partialBytes, bytes, take);
        d->partialBytes += take;
        bytes += take;
        n -= take;
        if (d->partialBytes < size) break;
        input_event e;
        std::memcpy(&e, d->partial, size);
        d->partialBytes = 0;
        EvdevDecode(d, &e, 1, emit, ctx);
    }
}
