#include "pidl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace shell;

namespace {

// A list of items with the given payloads, built byte by byte in a block of
// the shell allocator; extra bytes of slack can follow the terminator.
LPITEMIDLIST Make(const std::vector<std::string>& payloads, size_t slack = 0) {
    size_t size = 2 + slack;
    for (const auto& p : payloads) size += 2 + p.size();
    LPITEMIDLIST list = AllocPidl(size);
    uint8_t* out = reinterpret_cast<uint8_t*>(list);
    for (const auto& p : payloads) {
        size_t cb = 2 + p.size();
        out[0] = static_cast<uint8_t>(cb & 0xFF);
        out[1] = static_cast<uint8_t>(cb >> 8);
        std::memcpy(out + 2, p.data(), p.size());
        out += cb;
    }
    return list;
}

std::string Payload(LPCITEMIDLIST item) {
    const char* p = reinterpret_cast<const char*>(item);
    return std::string(p + 2, ItemCount(item) - 2);
}

std::vector<std::string> Payloads(LPCITEMIDLIST list) {
    std::vector<std::string> out;
    for (LPCITEMIDLIST p = list; p && ItemCount(p) >= 2; p = NextItem(p)) out.push_back(Payload(p));
    return out;
}

class PidlTest : public ::testing::Test {
protected:
    void SetUp() override { live_ = SHGetMalloc()->LiveBlocks(); }
    void TearDown() override { EXPECT_EQ(live_, SHGetMalloc()->LiveBlocks()) << "a list was not freed"; }
    size_t live_ = 0;
};

}  // namespace

TEST_F(PidlTest, CountsAndSizes) {
    TPidl list(Make({"abc", "", "hello"}));
    EXPECT_EQ(3u, PidlItemCount(list.get()));
    EXPECT_EQ(5u + 2u + 7u + 2u, PidlSize(list.get()));
    EXPECT_EQ(0u, PidlItemCount(nullptr));
    EXPECT_EQ(0u, PidlSize(nullptr));
    TPidl empty(Make({}));
    EXPECT_EQ(0u, PidlItemCount(empty.get()));
    EXPECT_EQ(2u, PidlSize(empty.get()));
    EXPECT_TRUE(PidlIsEmpty(empty.get()));
    EXPECT_FALSE(PidlIsEmpty(list.get()));
}

TEST_F(PidlTest, CountIsLittleEndian) {
    std::string big(300, 'x');
    TPidl list(Make({big, "y"}));
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(list.get());
    EXPECT_EQ(302 & 0xFF, raw[0]);
    EXPECT_EQ(302 >> 8, raw[1]);
    EXPECT_EQ(302, ItemCount(list.get()));
    EXPECT_EQ((std::vector<std::string>{big, "y"}), Payloads(list.get()));
}

TEST_F(PidlTest, NextItemAddsTheCount) {
    TPidl list(Make({"ab", "cde"}));
    LPITEMIDLIST second = NextItem(list.get());
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(list.get()) + 4, reinterpret_cast<uint8_t*>(second));
    LPITEMIDLIST terminator = NextItem(second);
    ASSERT_NE(nullptr, terminator);
    EXPECT_EQ(0, ItemCount(terminator));
    EXPECT_EQ(nullptr, NextItem(terminator));
    EXPECT_EQ(nullptr, NextItem(nullptr));
}

TEST_F(PidlTest, ACountOfOneEndsTheList) {
    TPidl list(Make({"ab", "cd"}));
    uint8_t* raw = reinterpret_cast<uint8_t*>(list.get());
    raw[4] = 1;  // second item's count
    raw[5] = 0;
    EXPECT_EQ(1u, PidlItemCount(list.get()));
    EXPECT_EQ(6u, PidlSize(list.get()));
    TPidl copy(CopyPidl(list.get()));
    EXPECT_EQ((std::vector<std::string>{"ab"}), Payloads(copy.get()));
}

TEST_F(PidlTest, WalkingStaysInsideTheBlock) {
    TPidl list(Make({"ab", "cd"}));
    uint8_t* raw = reinterpret_cast<uint8_t*>(list.get());
    raw[4] = 0xFF;  // the second item claims far more than the block holds
    raw[5] = 0x7F;
    EXPECT_EQ(1u, PidlItemCount(list.get()));
    EXPECT_EQ(6u, PidlSize(list.get()));
    EXPECT_EQ(nullptr, NextItem(NextItem(list.get())));
    TPidl last(LastItemCopy(list.get()));
    EXPECT_EQ((std::vector<std::string>{"ab"}), Payloads(last.get()));
    TPidl joined(ConcatPidls(list.get(), list.get()));
    EXPECT_EQ((std::vector<std::string>{"ab", "ab"}), Payloads(joined.get()));
}

TEST_F(PidlTest, AMissingTerminatorDoesNotRunOff) {
    // Two whole items fill the block; there is no room for a terminator.
    LPITEMIDLIST list = AllocPidl(8);
    uint8_t* raw = reinterpret_cast<uint8_t*>(list);
    raw[0] = 4; raw[2] = 'a'; raw[3] = 'b';
    raw[4] = 4; raw[6] = 'c'; raw[7] = 'd';
    EXPECT_EQ(1u, PidlItemCount(list));
    FreePidl(list);
}

TEST_F(PidlTest, ForeignListsEndAtTheirTerminator) {
    const uint8_t bytes[] = {4, 0, 'x', 'y', 3, 0, 'z', 0, 0, 0xEE, 0xEE};
    LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(bytes);
    EXPECT_EQ(2u, PidlItemCount(list));
    EXPECT_EQ(9u, PidlSize(list));
    TPidl copy(CopyPidl(list));
    EXPECT_EQ((std::vector<std::string>{"xy", "z"}), Payloads(copy.get()));
    FreePidl(list);  // not ours: left alone
}

TEST_F(PidlTest, AllocPidlIsZeroFilledAndRefusesNonsense) {
    LPITEMIDLIST p = AllocPidl(16);
    ASSERT_NE(nullptr, p);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(p);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(0, raw[i]);
    EXPECT_EQ(16u, SHGetMalloc()->GetSize(p));
    FreePidl(p);
    EXPECT_EQ(nullptr, AllocPidl(0));
    EXPECT_EQ(nullptr, AllocPidl(TShellMalloc::MaxBlock + 1));
    EXPECT_EQ(SHGetMalloc(), SHGetMalloc());
}

TEST_F(PidlTest, Concat) {
    TPidl a(Make({"a1", "a2"}));
    TPidl b(Make({"b1"}));
    TPidl ab(ConcatPidls(a.get(), b.get()));
    EXPECT_EQ((std::vector<std::string>{"a1", "a2", "b1"}), Payloads(ab.get()));
    EXPECT_EQ(PidlSize(a.get()) - 2 + PidlSize(b.get()), PidlSize(ab.get()));
    EXPECT_EQ(PidlSize(ab.get()), SHGetMalloc()->GetSize(ab.get()));
    TPidl onlyB(ConcatPidls(nullptr, b.get()));
    EXPECT_EQ((std::vector<std::string>{"b1"}), Payloads(onlyB.get()));
    TPidl onlyA(ConcatPidls(a.get(), nullptr));
    EXPECT_EQ((std::vector<std::string>{"a1", "a2"}), Payloads(onlyA.get()));
    TPidl none(ConcatPidls(nullptr, nullptr));
    EXPECT_EQ(2u, PidlSize(none.get()));
}

TEST_F(PidlTest, ConcatFreeFreesBoth) {
    size_t before = SHGetMalloc()->LiveBlocks();
    LPITEMIDLIST r = ConcatPidlsFree(Make({"x"}), Make({"y", "z"}));
    EXPECT_EQ(before + 1, SHGetMalloc()->LiveBlocks());
    EXPECT_EQ((std::vector<std::string>{"x", "y", "z"}), Payloads(r));
    FreePidl(r);
}

TEST_F(PidlTest, CopyFirstItem) {
    TPidl list(Make({"first", "second"}));
    TPidl first(CopyFirstItem(list.get()));
    EXPECT_EQ((std::vector<std::string>{"first"}), Payloads(first.get()));
    EXPECT_EQ(7u + 2u, SHGetMalloc()->GetSize(first.get()));
    EXPECT_EQ(nullptr, CopyFirstItem(nullptr));
    TPidl empty(Make({}));
    TPidl emptyCopy(CopyFirstItem(empty.get()));
    EXPECT_EQ(2u, PidlSize(emptyCopy.get()));
}

TEST_F(PidlTest, NextItemID) {
    TPidl one(Make({"a"}));
    TPidl two(Make({"a", "b"}));
    TPidl empty(Make({}));
    EXPECT_EQ(nullptr, NextItemID(one.get()));
    EXPECT_EQ(nullptr, NextItemID(empty.get()));
    EXPECT_EQ(nullptr, NextItemID(nullptr));
    ASSERT_NE(nullptr, NextItemID(two.get()));
    EXPECT_EQ("b", Payload(NextItemID(two.get())));
}

TEST_F(PidlTest, ParentAndLast) {
    TPidl list(Make({"a", "bb", "ccc"}));
    TPidl parent(ParentPidl(list.get()));
    EXPECT_EQ((std::vector<std::string>{"a", "bb"}), Payloads(parent.get()));
    TPidl last(LastItemCopy(list.get()));
    EXPECT_EQ((std::vector<std::string>{"ccc"}), Payloads(last.get()));
    TPidl one(Make({"a"}));
    EXPECT_EQ(nullptr, ParentPidl(one.get()));
    EXPECT_EQ(nullptr, ParentPidl(nullptr));
    EXPECT_EQ(nullptr, LastItemCopy(nullptr));
    TPidl empty(Make({}));
    EXPECT_EQ(nullptr, LastItemCopy(empty.get()));
}

TEST_F(PidlTest, OwnerMovesAndFrees) {
    size_t before = SHGetMalloc()->LiveBlocks();
    {
        TPidl a(Make({"a"}));
        TPidl b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_TRUE(b);
        b.reset(Make({"c"}));
        EXPECT_EQ(before + 1, SHGetMalloc()->LiveBlocks());
    }
    EXPECT_EQ(before, SHGetMalloc()->LiveBlocks());
}
