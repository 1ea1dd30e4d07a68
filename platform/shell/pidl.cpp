#include "pidl.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory_resource>
#include <mutex>

namespace shell {

namespace {

std::mutex& BlockMutex() {
    static std::mutex m;
    return m;
}

// Live blocks by start address.  The map's nodes come from a pool of
// their own (used under the mutex only): a folder of thousands of items
// makes and frees thousands of lists at once.
using TBlockMap = std::pmr::map<uintptr_t, size_t>;
TBlockMap& Blocks() {
    static std::pmr::unsynchronized_pool_resource* pool = new std::pmr::unsynchronized_pool_resource;
    static TBlockMap* blocks = new TBlockMap(pool);
    return *blocks;
}

// End of the block that p lies in, or nil when p is not in a block of ours
// (then only the counts can be trusted).
const uint8_t* BlockEnd(const void* p) {
    const uint8_t* start = nullptr;
    size_t size = 0;
    if (!SHGetMalloc()->BlockOf(p, start, size)) return nullptr;
    return start + size;
}

// Calls f(item, count) for every whole item of the list.  The block the
// list lies in is looked up once; the items are then checked against its
// end, each as NextItem would.
template <typename F>
void ForEachItem(LPCITEMIDLIST list, F f) {
    if (!list) return;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(list);
    const uint8_t* end = BlockEnd(p);
    for (;;) {
        if (end && p + 2 > end) return;
        uint16_t cb = ItemCount(reinterpret_cast<LPCITEMIDLIST>(p));
        if (cb < 2) return;
        const uint8_t* next = p + cb;
        if (end && next + 2 > end) return;
        f(p, cb);
        p = next;
    }
}

size_t ItemBytes(LPCITEMIDLIST list) {
    size_t n = 0;
    ForEachItem(list, [&](const uint8_t*, uint16_t cb) { n += cb; });
    return n;
}

}  // namespace

void* TShellMalloc::Alloc(size_t size) {
    if (size == 0 || size > MaxBlock) return nullptr;
    void* p = std::calloc(1, size);
    if (!p) return nullptr;
    std::lock_guard<std::mutex> lock(BlockMutex());
    Blocks()[reinterpret_cast<uintptr_t>(p)] = size;
    return p;
}

void TShellMalloc::Free(void* p) {
    if (!p) return;
    {
        std::lock_guard<std::mutex> lock(BlockMutex());
        auto it = Blocks().find(reinterpret_cast<uintptr_t>(p));
        // A pointer that is not the start of one of our blocks is left
        // alone rather than handed to free().
        if (it == Blocks().end()) return;
        Blocks().erase(it);
    }
    std::free(p);
}

size_t TShellMalloc::GetSize(const void* p) const {
    std::lock_guard<std::mutex> lock(BlockMutex());
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(p));
    return it == Blocks().end() ? 0 : it->second;
}

bool TShellMalloc::BlockOf(const void* p, const uint8_t*& start, size_t& size) const {
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    std::lock_guard<std::mutex> lock(BlockMutex());
    auto it = Blocks().upper_bound(a);
    if (it == Blocks().begin()) return false;
    --it;
    if (a >= it->first + it->second) return false;
    start = reinterpret_cast<const uint8_t*>(it->first);
    size = it->second;
    return true;
}

size_t TShellMalloc::LiveBlocks() const {
    std::lock_guard<std::mutex> lock(BlockMutex());
    return Blocks().size();
}

TShellMalloc* SHGetMalloc() {
    static TShellMalloc malloc;
    return &malloc;
}

uint16_t ItemCount(LPCITEMIDLIST item) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(item);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void SetItemCount(LPITEMIDLIST item, uint16_t count) {
    uint8_t* p = reinterpret_cast<uint8_t*>(item);
    p[0] = static_cast<uint8_t>(count & 0xFF);
    p[1] = static_cast<uint8_t>(count >> 8);
}

LPITEMIDLIST NextItem(LPCITEMIDLIST item) {
    if (!item) return nullptr;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(item);
    const uint8_t* end = BlockEnd(p);
    if (end && p + 2 > end) return nullptr;
    uint16_t cb = ItemCount(item);
    if (cb < 2) return nullptr;
    const uint8_t* next = p + cb;
    // The next item needs at least its own count inside the block.
    if (end && next + 2 > end) return nullptr;
    return reinterpret_cast<LPITEMIDLIST>(const_cast<uint8_t*>(next));
}

unsigned PidlItemCount(LPCITEMIDLIST list) {
    unsigned n = 0;
    ForEachItem(list, [&](const uint8_t*, uint16_t) { ++n; });
    return n;
}

size_t PidlSize(LPCITEMIDLIST list) {
    if (!list) return 0;
    return ItemBytes(list) + 2;
}

LPITEMIDLIST AllocPidl(size_t size) {
    TShellMalloc* m = SHGetMalloc();
    if (!m) return nullptr;
    return static_cast<LPITEMIDLIST>(m->Alloc(size));
}

void FreePidl(LPCITEMIDLIST list) {
    if (list) SHGetMalloc()->Free(const_cast<ITEMIDLIST*>(list));
}

LPITEMIDLIST ConcatPidls(LPCITEMIDLIST a, LPCITEMIDLIST b) {
    size_t na = ItemBytes(a);
    size_t nb = ItemBytes(b);
    LPITEMIDLIST r = AllocPidl(na + nb + 2);
    if (!r) return nullptr;
    uint8_t* out = reinterpret_cast<uint8_t*>(r);
    // Items are copied one by one, so nothing beyond a whole item is read.
    ForEachItem(a, [&](const uint8_t* p, uint16_t cb) { std::memcpy(out, p, cb); out += cb; });
    ForEachItem(b, [&](const uint8_t* p, uint16_t cb) { std::memcpy(out, p, cb); out += cb; });
    return r;  // the terminator is already zero
}

LPITEMIDLIST ConcatPidlsFree(LPITEMIDLIST a, LPITEMIDLIST b) {
    LPITEMIDLIST r = ConcatPidls(a, b);
    FreePidl(a);
    FreePidl(b);
    return r;
}

LPITEMIDLIST CopyFirstItem(LPCITEMIDLIST list) {
    if (!list) return nullptr;
    size_t cb = 0;
    const uint8_t* first = nullptr;
    ForEachItem(list, [&](const uint8_t* p, uint16_t n) {
        if (!first) { first = p; cb = n; }
    });
    LPITEMIDLIST r = AllocPidl(cb + 2);
    if (r && first) std::memcpy(r, first, cb);
    return r;
}

LPITEMIDLIST CopyPidl(LPCITEMIDLIST list) {
    if (!list) return nullptr;
    return ConcatPidls(list, nullptr);
}

LPITEMIDLIST NextItemID(LPCITEMIDLIST list) {
    if (PidlItemCount(list) < 2) return nullptr;
    return NextItem(list);
}

LPITEMIDLIST ParentPidl(LPCITEMIDLIST list) {
    unsigned n = PidlItemCount(list);
    if (n < 2) return nullptr;
    size_t bytes = 0;
    unsigned i = 0;
    ForEachItem(list, [&](const uint8_t*, uint16_t cb) {
        if (++i < n) bytes += cb;
    });
    LPITEMIDLIST r = AllocPidl(bytes + 2);
    if (r) std::memcpy(r, list, bytes);
    return r;
}

LPITEMIDLIST LastItemCopy(LPCITEMIDLIST list) {
    const uint8_t* last = nullptr;
    size_t cb = 0;
    ForEachItem(list, [&](const uint8_t* p, uint16_t n) { last = p; cb = n; });
    if (!last) return nullptr;
    LPITEMIDLIST r = AllocPidl(cb + 2);
    if (r) std::memcpy(r, last, cb);
    return r;
}

}  // namespace shell
