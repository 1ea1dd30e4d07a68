// Item-ID lists in the shell's byte format, and the one allocator that
// every list of ours comes from and goes back to.
//
// A list is a run of items, each starting with a 16-bit little-endian byte
// count that includes the count itself, ended by a 16-bit zero.  Walking a
// list never leaves the block it lies in: an item whose count is below 2,
// or that would reach past the end of its block, ends the list.
#pragma once

#include <cstddef>
#include <cstdint>

namespace shell {

// Opaque: a list is handled through pointers to its first byte.
struct ITEMIDLIST {
    uint8_t cb[2];
};
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

// The shell allocator.  Blocks are zero-filled; the allocator remembers
// every live block so that list routines can learn where a block ends.
class TShellMalloc {
public:
    void* Alloc(size_t size);
    void Free(void* p);
    // Size of the block that starts at p; 0 when p is not a block of ours.
    size_t GetSize(const void* p) const;
    // True when p points into a live block; start and size describe it.
    bool BlockOf(const void* p, const uint8_t*& start, size_t& size) const;
    // Number of live blocks (for leak checks).
    size_t LiveBlocks() const;
    // Largest block handed out; larger requests fail.
    static constexpr size_t MaxBlock = 1u << 20;
};

// The allocator; the same one on every call.
TShellMalloc* SHGetMalloc();

// Byte count of the item at p (little-endian, whatever the host order).
uint16_t ItemCount(LPCITEMIDLIST item);
void SetItemCount(LPITEMIDLIST item, uint16_t count);

// The item that follows: its address plus its byte count; nil when the
// count is below 2 (the terminator or a broken item) or when the next item
// would start past the end of the block.
LPITEMIDLIST NextItem(LPCITEMIDLIST item);

// Number of items before the terminator; 0 for nil.
unsigned PidlItemCount(LPCITEMIDLIST list);

// Bytes of all items plus 2 for the terminator; 0 for nil.
size_t PidlSize(LPCITEMIDLIST list);

// A zero-filled block of size bytes; nil when it cannot be had.
LPITEMIDLIST AllocPidl(size_t size);

// Frees a non-nil list.
void FreePidl(LPCITEMIDLIST list);

// A new list: the items of a (may be nil) followed by the items of b (may
// be nil) and a terminator.
LPITEMIDLIST ConcatPidls(LPCITEMIDLIST a, LPCITEMIDLIST b);

// ConcatPidls, then frees a and b.
LPITEMIDLIST ConcatPidlsFree(LPITEMIDLIST a, LPITEMIDLIST b);

// A new one-item list of the first item (an empty list for an empty list);
// nil for nil.
LPITEMIDLIST CopyFirstItem(LPCITEMIDLIST list);

// A new copy of the whole list; nil for nil.
LPITEMIDLIST CopyPidl(LPCITEMIDLIST list);

// The second item of the list; nil when the list is empty or has one item.
LPITEMIDLIST NextItemID(LPCITEMIDLIST list);

// A new list of all items but the last; nil for nil or a one-item list.
LPITEMIDLIST ParentPidl(LPCITEMIDLIST list);

// A new one-item list of the last item; nil for nil or an empty list.
LPITEMIDLIST LastItemCopy(LPCITEMIDLIST list);

// True when the list holds no item.
inline bool PidlIsEmpty(LPCITEMIDLIST list) { return list && ItemCount(list) < 2; }

// Owns a list and frees it through the allocator.
class TPidl {
public:
    TPidl() = default;
    explicit TPidl(LPITEMIDLIST p) : p_(p) {}
    ~TPidl() { FreePidl(p_); }
    TPidl(const TPidl&) = delete;
    TPidl& operator=(const TPidl&) = delete;
    TPidl(TPidl&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    TPidl& operator=(TPidl&& o) noexcept {
        if (this != &o) { FreePidl(p_); p_ = o.p_; o.p_ = nullptr; }
        return *this;
    }
    LPITEMIDLIST get() const { return p_; }
    LPITEMIDLIST release() { LPITEMIDLIST p = p_; p_ = nullptr; return p; }
    void reset(LPITEMIDLIST p = nullptr) { FreePidl(p_); p_ = p; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    LPITEMIDLIST p_ = nullptr;
};

}  // namespace shell
