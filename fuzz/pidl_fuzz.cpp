// Walking item-ID lists of any bytes: every list routine stays inside the
// block, and every list it makes goes back to the allocator.
#include "fuzz_support.h"

#include "pidl.h"
#include "shellns.h"

using namespace shell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t live = SHGetMalloc()->LiveBlocks();
    {
        TPidl list(AllocPidl(size));
        if (!list) return 0;
        std::memcpy(list.get(), data, size);
        LPCITEMIDLIST p = list.get();
        const unsigned count = PidlItemCount(p);
        FUZZ_CHECK(PidlSize(p) <= size + 2 || count == 0);
        TPidl copy(CopyPidl(p));
        FUZZ_CHECK(copy && PidlItemCount(copy.get()) == count);
        TPidl first(CopyFirstItem(p));
        TPidl parent(ParentPidl(p));
        TPidl last(LastItemCopy(p));
        TPidl both(ConcatPidls(p, copy.get()));
        FUZZ_CHECK(!both || PidlItemCount(both.get()) == 2 * count);
        NextItemID(p);
        PidlToPath(p);
        PidlDisplayName(p);
        PidlAttributes(p, 0xFFFFFFFFu);
        ShellFolderPtr folder;
        LPITEMIDLIST lastItem = nullptr;
        if (SplitPidl(p, folder, lastItem)) FreePidl(lastItem);
    }
    FUZZ_CHECK(SHGetMalloc()->LiveBlocks() == live);
    return 0;
}
