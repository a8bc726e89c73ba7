#include "WipingMemory.h"

#include <lber.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string.h>

namespace orvauth_proxyd {

namespace {

void WipeAndFree(void* block)
{
    if (block != nullptr) {
        explicit_bzero(block, malloc_usable_size(block));
        std::free(block);
    }
}

// realloc may move the block: copy, then wipe the old one.
void* WipeAndResize(void* block, std::size_t size)
{
    if (block == nullptr) {
        return std::malloc(size);
    }
    if (size == 0) {
        WipeAndFree(block);
        return nullptr;
    }
    const std::size_t old = malloc_usable_size(block);
    if (size <= old) {
        return block;
    }
    void* moved = std::malloc(size);
    if (moved != nullptr) {
        std::memcpy(moved, block, old);
        WipeAndFree(block);
    }
    return moved;
}

void* BerAllocate(ber_len_t size, void*) { return std::malloc(size); }
void* BerZeroed(ber_len_t count, ber_len_t size, void*) { return std::calloc(count, size); }
void* BerResize(void* block, ber_len_t size, void*) { return WipeAndResize(block, size); }
void BerFree(void* block, void*) { WipeAndFree(block); }

}  // namespace

bool WipeLibraryMemoryOnFree()
{
    static BerMemoryFunctions berFunctions = {BerAllocate, BerZeroed, BerResize, BerFree};
    return ber_set_option(nullptr, LBER_OPT_MEMORY_FNS, &berFunctions) == LBER_OPT_SUCCESS;
}

}  // namespace orvauth_proxyd
