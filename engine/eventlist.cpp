#include "eventlist.h"
#include <cstdlib>
#include <cstring>

// Each block carries its requested size in a header in front of it, the way
// the desktop heap remembers it, so the list's capacity is always exact.
struct BlockHeader {
    uint32_t size;
    uint32_t pad[3]; // keeps the records 16-byte aligned
};

uint32_t g_blockLimit = 0xFFFFFFFFu;

void *AllocZeroed(uint32_t size, uint32_t n) {
    uint64_t total = uint64_t(size) * n;
    if (total > g_blockLimit) return nullptr;
    auto *h = static_cast<BlockHeader *>(std::calloc(1, sizeof(BlockHeader) + size_t(total)));
    if (!h) return nullptr;
    h->size = uint32_t(total);
    return h + 1;
}

void FreeBlock(void *block) {
    if (block) std::free(static_cast<BlockHeader *>(block) - 1);
}

uint32_t BlockSize(const void *block) {
    return block ? (static_cast<const BlockHeader *>(block) - 1)->size : 0;
}

void *ResizeBlock(void *block, uint32_t size) {
    uint32_t want = size < 4096 ? 4096 : size;
    if (!block) return AllocZeroed(want, 1);
    uint32_t old = BlockSize(block);
    if (size == old) return block;
    void *fresh = AllocZeroed(want, 1);
    // Without a new block the old one stays with the caller: dropping it
    // would throw away a recording that was still good.
    if (!fresh) return nullptr;
    std::memcpy(fresh, block, size < old ? size : old);
    FreeBlock(block);
    return fresh;
}

bool GrowEventList(EventList *list) {
    uint32_t cap = ListCapacityRecords(list);
    if (uint64_t(list->count) + 100 < cap) return true;
    uint32_t current = list->records ? list->capacity : 0;
    if (current > 0xFFFFFFFFu - 20000) return false;
    void *grown = ResizeBlock(list->records, current + 20000);
    if (!grown) return false;
    list->records = static_cast<EventRecord *>(grown);
    list->capacity = BlockSize(grown);
    return true;
}

void ClearEventList(EventList *list) {
    FreeBlock(list->records);
    list->records = nullptr;
    list->capacity = 0;
    list->count = 0;
}
