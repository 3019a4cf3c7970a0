#include <cstdlib>
#include <cstring>
#include <new>

#include "camera/acquisition/twain_protocol.h"

namespace {

// A handle is the block itself: its size in front of the bytes, which stay 16-byte aligned.
struct alignas(16) BlockHeader {
    size_t size;
    size_t magic;
};
constexpr size_t kMagic = 0x4e53'4d45'4d42'4c4bULL;

BlockHeader* Header(TW_HANDLE h) {
    auto* header = static_cast<BlockHeader*>(h);
    return header && header->magic == kMagic ? header : nullptr;
}

}  // namespace

TW_HANDLE TwGlobalAlloc(unsigned flags, size_t bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    void* p = (flags & kGmemZeroInit) ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                      : std::malloc(sizeof(BlockHeader) + bytes);
    if (!p) return nullptr;
    auto* header = new (p) BlockHeader{bytes, kMagic};
    return header;
}

void* TwGlobalLock(TW_HANDLE handle) {
    BlockHeader* header = Header(handle);
    return header ? header + 1 : nullptr;
}

void TwGlobalUnlock(TW_HANDLE) {}

size_t TwGlobalSize(TW_HANDLE handle) {
    const BlockHeader* header = Header(handle);
    return header ? header->size : 0;
}

void TwGlobalFree(TW_HANDLE handle) {
    BlockHeader* header = Header(handle);
    if (!header) return;
    header->magic = 0;
    std::free(header);
}

void TwCopyString(TW_STR32& to, const char* from) {
    std::memset(to, 0, sizeof(to));
    if (!from) return;
    size_t n = std::strlen(from);
    if (n > sizeof(to) - 1) {
        n = sizeof(to) - 1;
        // Back off to the start of a UTF-8 sequence.
        while (n > 0 && (static_cast<unsigned char>(from[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(to, from, n);
}
