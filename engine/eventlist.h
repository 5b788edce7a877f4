// Heap blocks and the event list built on them.
#pragma once
#include "types.h"
#include <cstddef>

// A zero-filled block of size * n bytes, or none (also when the product
// does not fit 32 bits or exceeds g_blockLimit).
void *AllocZeroed(uint32_t size, uint32_t n);
// The largest block the heap hands out. Only tests lower it, to make the
// heap run dry at a chosen size.
extern uint32_t g_blockLimit;
void FreeBlock(void *block);
// The size the block was requested with: the list's capacity.
uint32_t BlockSize(const void *block);
// Grows or shrinks a block (at least 4096 bytes). When the new block cannot
// be had, the old one is kept and none is returned, so the caller loses no
// records.
void *ResizeBlock(void *block, uint32_t size);

// The recorder's growth step: keeps at least 100 free records after count.
// Returns false when the list could not grow (the list is left as it was).
bool GrowEventList(EventList *list);
// Records in the block: capacity / 20.
inline uint32_t ListCapacityRecords(const EventList *list) {
    return list->records ? list->capacity / 20 : 0;
}
// Frees the block, if any, and leaves the list empty.
void ClearEventList(EventList *list);
