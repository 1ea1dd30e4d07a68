#include "shellns.h"
#include "shellns_internal.h"

#include "sjis.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>

namespace shell {

using namespace internal;

namespace {

// ---------------------------------------------------------------------------
// Folders.

class TItemEnum : public IEnumIDList {
public:
    explicit TItemEnum(std::vector<LPITEMIDLIST> items) : items_(std::move(items)) {}
    ~TItemEnum() override {
        for (size_t i = pos_; i < items_.size(); ++i) FreePidl(items_[i]);
    }
    HRESULT Next(LPITEMIDLIST& item) override {
        if (pos_ >= items_.size()) {
            item = nullptr;
            return S_FALSE;
        }
        item = items_[pos_++];
        return S_OK;
    }

private:
    std::vector<LPITEMIDLIST> items_;
    size_t pos_ = 0;
};

// What a child item stands for.
struct TChild {
    bool computer = false;
    std::string path;  // UTF-8 file-system path, empty for the computer
};

ShellFolderPtr MakeFsFolder(const std::string& path);
ShellFolderPtr MakeComputer();

class TFolderBase : public IShellFolder, public std::enable_shared_from_this<TFolderBase> {
public:
    // Resolves a child item of this folder.
    virtual bool Resolve(const TItem& item, TChild& child) const = 0;
    // The folder of file-system entries that this folder lists, if any.
    virtual std::string EntriesDir() const = 0;
    // Sort rank of an item kind within this folder.
    static int Rank(uint8_t kind) {
        switch (kind) {
            case KindComputer: return 0;
            case KindHome: return 1;
            case KindVolume: return 2;
            default: return 3;
        }
    }

    HRESULT BindToObject(LPCITEMIDLIST list, ShellFolderPtr& out) override {
        out.reset();
        if (!list || PidlItemCount(list) == 0) return E_INVALIDARG;
        TItem item;
        TChild child;
        if (!ReadItem(list, item) || !Resolve(item, child)) return E_INVALIDARG;
        ShellFolderPtr f;
        if (child.computer) {
            f = MakeComputer();
        } else {
            if (!IsDir(child.path)) return E_FAIL;
            f = MakeFsFolder(child.path);
        }
        LPCITEMIDLIST rest = NextItemID(list);
        if (!rest) {
            out = f;
            return S_OK;
        }
        return f->BindToObject(rest, out);
    }

    HRESULT CompareIDs(intptr_t column, LPCITEMIDLIST a, LPCITEMIDLIST b) override {
        (void)column;
        if (!a || !b) return E_INVALIDARG;
        unsigned na = PidlItemCount(a), nb = PidlItemCount(b);
        if (na == 0 || nb == 0) return CompareResult(na == nb ? 0 : (na == 0 ? -1 : 1));
        TItem ia, ib;
        if (!ReadItem(a, ia) || !ReadItem(b, ib)) return E_INVALIDARG;
        if (ia.kind != ib.kind) return CompareResult(Rank(ia.kind) < Rank(ib.kind) ? -1 : 1);
        if (ia.name != ib.name) {
            if (ia.folder() != ib.folder()) return CompareResult(ia.folder() ? -1 : 1);
            std::string la = sjis::LowerAscii(ia.name), lb = sjis::LowerAscii(ib.name);
            int c = la.compare(lb);
            if (c == 0) c = ia.name.compare(ib.name);
            return CompareResult(c < 0 ? -1 : 1);
        }
        LPCITEMIDLIST ra = NextItemID(a), rb = NextItemID(b);
        if (!ra || !rb) return CompareResult(!ra && !rb ? 0 : (!ra ? -1 : 1));
        TPidl first(CopyFirstItem(a));
        ShellFolderPtr sub;
        if (FAILED(BindToObject(first.get(), sub))) return E_FAIL;
        return sub->CompareIDs(column, ra, rb);
    }

    // A list of several items: what fn does with the last item in the
    // folder of the ones before it.
    template <typename Fn>
    HRESULT InParent(LPCITEMIDLIST list, Fn fn) {
        ShellFolderPtr parent;
        TPidl head(ParentPidl(list));
        TPidl last(LastItemCopy(list));
        if (FAILED(BindToObject(head.get(), parent))) return E_FAIL;
        return fn(*parent, last.get());
    }

    // True when list names one item of ours, read into item and child.
    // Otherwise answer is what to return: E_INVALIDARG for no such item, or
    // for several items what fn answers in the folder of the last one.
    template <typename Fn>
    bool OwnItem(LPCITEMIDLIST list, TItem& item, TChild& child, HRESULT& answer, Fn fn) {
        answer = E_INVALIDARG;
        if (!list) return false;
        if (PidlItemCount(list) > 1) {
            answer = InParent(list, fn);
            return false;
        }
        return ReadItem(list, item) && Resolve(item, child);
    }

    HRESULT GetAttributesOf(unsigned count, const LPCITEMIDLIST* items, uint32_t& attrs) override {
        uint32_t result = attrs;
        for (unsigned i = 0; i < count; ++i) {
            uint32_t one = 0;
            if (!ItemAttributes(items[i], one, result)) return E_INVALIDARG;
            result &= one;
        }
        attrs = result;
        return S_OK;
    }

    HRESULT GetDisplayNameOf(LPCITEMIDLIST list, unsigned flags, std::string& name) override {
        auto ask = [&](IShellFolder& in, LPCITEMIDLIST last) { return in.GetDisplayNameOf(last, flags, name); };
        TItem item;
        TChild child;
        HRESULT answer = S_OK;
        if (!OwnItem(list, item, child, answer, ask)) return answer;
        std::string utf8;
        if (item.kind == KindComputer) {
            utf8 = (flags & SHGDN_FORPARSING) ? ComputerParsingName : "コンピューター";
        } else if (item.kind == KindHome) {
            utf8 = (flags & SHGDN_FORPARSING) ? child.path : "ホーム";
        } else if (item.kind == KindVolume) {
            utf8 = item.name;
        } else {
            utf8 = ((flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER)) ? child.path : item.name;
        }
        std::string s;
        if (!ToSjisName(utf8, s)) return E_FAIL;
        name = s;
        return S_OK;
    }

    HRESULT SetNameOf(LPCITEMIDLIST list, const std::string& newName, unsigned flags,
                      LPITEMIDLIST* newItem) override {
        (void)flags;
        if (newItem) *newItem = nullptr;
        TItem item;
        if (!list || PidlItemCount(list) != 1 || !ReadItem(list, item) || item.kind != KindFile)
            return E_INVALIDARG;
        std::string dir = EntriesDir();
        if (dir.empty()) return E_INVALIDARG;
        std::string utf8;
        if (!FromSjisName(newName, utf8) || !ValidFileName(utf8) || IsBlankName(utf8) || HasControlCharacter(utf8))
            return E_INVALIDARG;
        std::string from = Join(dir, item.name), to = Join(dir, utf8);
        if (!Exists(from)) return E_NOTFOUND;
        if (utf8 != item.name) {
            // Never replace what already carries the new name.
            long r = ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* RENAME_NOREPLACE */);
            if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
                // The file system cannot refuse by itself: look first.
                if (Exists(to)) return E_FILEEXISTS;
                r = ::rename(from.c_str(), to.c_str());
            }
            if (r != 0) return errno == EEXIST ? E_FILEEXISTS : E_ACCESSDENIED;
        }
        if (newItem) *newItem = MakeItem(KindFile, IsDir(to) ? FlagFolder : 0, utf8);
        return S_OK;
    }

    HRESULT GetIconNameOf(LPCITEMIDLIST list, bool open, std::string& icon) override {
        auto ask = [&](IShellFolder& in, LPCITEMIDLIST last) { return in.GetIconNameOf(last, open, icon); };
        TItem item;
        TChild child;
        HRESULT answer = S_OK;
        if (!OwnItem(list, item, child, answer, ask)) return answer;
        switch (item.kind) {
            case KindComputer: icon = "computer"; break;
            case KindHome: icon = "user-home"; break;
            case KindVolume: icon = Removable(item.name) ? "drive-removable-media" : "drive-harddisk"; break;
            default: icon = IsDir(child.path) ? (open ? "folder-open" : "folder") : "text-x-generic";
        }
        return S_OK;
    }

    HRESULT ListItems(unsigned flags, uint32_t mask, bool absolute, std::vector<TListedItem>& out) override {
        out.clear();
        HRESULT hr = CanList();
        if (FAILED(hr)) return hr;
        TVolumeSnapshot volumes;
        std::vector<LPITEMIDLIST> own;
        OwnItems(flags, own);
        for (LPITEMIDLIST raw : own) {
            TListedItem li;
            li.Item.reset(raw);
            if (DescribeOwnItem(mask, absolute, li)) out.push_back(std::move(li));
        }
        // The folder's own items come before its entries in its order.
        SortListed(out);
        std::string dir = EntriesDir();
        if (!dir.empty()) ListDirectory(dir, flags, mask, absolute, out);
        return S_OK;
    }

    // One item of this folder as ListItems gives it; false when it is gone.
    bool DescribeItem(LPCITEMIDLIST list, uint32_t mask, TListedItem& out) {
        TItem item;
        if (!list || PidlItemCount(list) != 1 || !ReadItem(list, item)) return false;
        out.Item.reset(CopyFirstItem(list));
        if (item.kind != KindFile) return DescribeOwnItem(mask, false, out);
        std::string dir = EntriesDir();
        if (dir.empty()) return false;
        TDirectory d;
        if (!d.Open(dir, false)) return false;
        return d.Describe(item.name, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, mask, out);
    }

protected:
    // Whether the folder can be listed now.
    virtual HRESULT CanList() const { return S_OK; }
    // The items of the folder that are not entries of EntriesDir().
    virtual void OwnItems(unsigned flags, std::vector<LPITEMIDLIST>& out) const {
        (void)flags;
        (void)out;
    }

    // Describes one of OwnItems (the computer, the home folder, a volume)
    // through the single-item calls: there are only a few of them.
    bool DescribeOwnItem(uint32_t mask, bool absolute, TListedItem& li) {
        LPCITEMIDLIST list = li.Item.get();
        TItem item;
        TChild child;
        if (!ReadItem(list, item) || !Resolve(item, child)) return false;
        uint32_t attrs = 0;
        if (!ItemAttributes(list, attrs, mask)) return false;
        li.Attributes = attrs & mask;
        if (FAILED(GetDisplayNameOf(list, SHGDN_INFOLDER, li.Name))) return false;
        li.Utf8Name = sjis::ToUtf8(li.Name);
        GetIconNameOf(list, false, li.IconName);
        li.Path = child.path;
        struct stat st;
        if (!child.path.empty() && (::stat(child.path.c_str(), &st) == 0 || ::lstat(child.path.c_str(), &st) == 0)) {
            li.HasFindData = true;
            li.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
            li.Written = static_cast<int64_t>(st.st_mtime);
        }
        li.MountPoint = item.kind == KindVolume;
        if (absolute) {
            std::string parsing;
            if (SUCCEEDED(GetDisplayNameOf(list, SHGDN_FORPARSING, parsing))) li.Absolute.reset(PathToPidl(parsing));
        }
        return true;
    }

    // A folder on disk opened once for a listing: what every entry's
    // description shares.
    class TDirectory {
    public:
        ~TDirectory() {
            if (d_) ::closedir(d_);
            else if (fd_ >= 0) ::close(fd_);
        }
        bool Open(const std::string& dir, bool forReading) {
            dir_ = dir;
            fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd_ < 0 || ::fstat(fd_, &st_) != 0) return false;
            struct statfs fs;
            counts_ = ::fstatfs(fd_, &fs) == 0 && CountingFileSystem(fs);
            fsType_ = counts_ ? static_cast<long>(fs.f_type) : 0;
            writable_ = ::access(dir.c_str(), W_OK) == 0;
            if (forReading) d_ = ::fdopendir(fd_);
            return !forReading || d_;
        }
        DIR* Dir() const { return d_; }
        // What one look at an entry gives.
        struct TLook {
            bool link = false;
            bool folder = false;
            mode_t mode = 0;
            nlink_t nlink = 0;
            dev_t dev = 0;
            off_t size = 0;
            time_t written = 0;
        };
        // Whether an entry (d_type as readdir gave it) may be listed for
        // flags before any look at it.
        static bool MayList(const char* name, unsigned char type, unsigned flags) {
            if (name[0] == 0 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
            if (name[0] == '.' && !(flags & SHCONTF_INCLUDEHIDDEN)) return false;
            // A plain file is skipped without a look when only folders are asked.
            bool maybeFolder = type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN;
            return maybeFolder || (flags & SHCONTF_NONFOLDERS);
        }
        // One stat of the entry (a link one more for its target); false
        // when it is gone or flags leave it out.
        bool Look(const char* name, unsigned flags, TLook& look) const {
            struct stat st;
            if (::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            look.link = S_ISLNK(st.st_mode);
            if (look.link) {
                struct stat target;
                if (::fstatat(fd_, name, &target, 0) == 0) st = target;  // else the target is gone
            }
            look.folder = S_ISDIR(st.st_mode);
            if (look.folder ? !(flags & SHCONTF_FOLDERS) : !(flags & SHCONTF_NONFOLDERS)) return false;
            look.mode = st.st_mode;
            look.nlink = st.st_nlink;
            look.dev = st.st_dev;
            look.size = st.st_size;
            look.written = st.st_mtime;
            return true;
        }
        // The listed item of a looked-at entry (sjisName its Shift-JIS name).
        void Fill(const std::string& name, const std::string& sjisName, const TLook& look, uint32_t mask,
                  TListedItem& li) const {
            std::string path = Join(dir_, name);
            uint32_t a = SFGAO_FILESYSTEM;
            if (look.link) a |= SFGAO_LINK;
            if (look.folder) {
                a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
                if ((mask & SFGAO_HASSUBFOLDER) && !(look.link && LinkLoopsBack(path))) {
                    const bool same = look.dev == st_.st_dev;
                    const bool counts = same ? counts_ : LinkCountTellsSubfolders(path);
                    if (MaySubfolders(look.nlink, counts) ||
                        (!(same && EmptyBySize(fsType_, look.size)) && LinkedSubfolderIn(fd_, name.c_str())))
                        a |= SFGAO_HASSUBFOLDER;
                }
            }
            if (name[0] == '.') a |= SFGAO_HIDDEN | SFGAO_GHOSTED;
            if (writable_) a |= SFGAO_CANRENAME;
            if (!li.Item) li.Item.reset(MakeItem(KindFile, look.folder ? FlagFolder : 0, name));
            li.Attributes = a & mask;
            li.Name = sjisName;
            li.Utf8Name = name;
            li.Path = std::move(path);
            li.IconName = look.folder ? "folder" : "text-x-generic";
            li.HasFindData = true;
            li.Size = look.folder ? 0 : static_cast<int64_t>(look.size);
            li.Written = static_cast<int64_t>(look.written);
            li.MountPoint = look.folder && !look.link && look.dev != st_.st_dev;
        }
        // Describes one entry; false when it is gone or flags leave it out.
        bool Describe(const std::string& name, unsigned flags, uint32_t mask, TListedItem& li) const {
            std::string sj;
            TLook look;
            if (!MayList(name.c_str(), DT_UNKNOWN, flags) || !ToSjisName(name, sj) || !Look(name.c_str(), flags, look))
                return false;
            Fill(name, sj, look, mask, li);
            return static_cast<bool>(li.Item);
        }

    private:
        std::string dir_;
        int fd_ = -1;
        DIR* d_ = nullptr;
        struct stat st_ {};
        bool counts_ = false;
        long fsType_ = 0;
        bool writable_ = false;
    };

    // The entries of dir as items with their descriptions.
    static void ListDirectory(const std::string& dir, unsigned flags, uint32_t mask, bool absolute,
                              std::vector<TListedItem>& out) {
        TDirectory d;
        if (!d.Open(dir, true)) return;
        // Every entry's canonical list is the folder's own and the entry:
        // the levels above are parsed once for all of them.
        TPidl base;
        if (absolute) {
            LPITEMIDLIST b = nullptr;
            if (SUCCEEDED(ParseFromDesktop(dir, b))) base.reset(b);
        }
        // Volumes mounted right here are reached through the computer.
        std::vector<std::string> mountedHere;
        if (absolute) {
            for (const std::string& v : CurrentVolumes()) {
                size_t slash = v.rfind('/');
                if (v != "/" && slash != std::string::npos && v.substr(0, slash == 0 ? 1 : slash) == dir)
                    mountedHere.push_back(v.substr(slash + 1));
            }
        }
        // The names first, then one look at each, then the items in the
        // folder's order: each loop touches little memory of its own.
        std::string names;            // every name and its lower-case form, each ended by a zero
        std::vector<uint32_t> at;     // where each name starts in names
        std::vector<std::string> sjisNames;  // non-ASCII names only, by entry
        std::vector<uint32_t> sjisOf;        // index into sjisNames, or none
        constexpr uint32_t None = 0xFFFFFFFFu;
        while (dirent* e = ::readdir(d.Dir())) {
            if (!TDirectory::MayList(e->d_name, e->d_type, flags)) continue;
            size_t len = std::strlen(e->d_name);
            uint32_t sj = None;
            if (!IsAscii(std::string_view(e->d_name, len))) {
                std::string converted;
                if (!ToSjisName(e->d_name, converted)) continue;  // cannot be shown: left out
                sj = static_cast<uint32_t>(sjisNames.size());
                sjisNames.push_back(std::move(converted));
            }
            at.push_back(static_cast<uint32_t>(names.size()));
            sjisOf.push_back(sj);
            names.append(e->d_name, len + 1);
            names.append(e->d_name, len + 1);
        }
        // The lower-case forms, without touching the trail byte of a
        // double-byte character (as CompareIDs lowers them).
        std::vector<uint32_t> lowerAt(at.size());
        for (size_t i = 0; i < at.size(); ++i) {
            size_t len = std::strlen(names.data() + at[i]);
            lowerAt[i] = static_cast<uint32_t>(at[i] + len + 1);
            std::string lower = sjis::LowerAscii(std::string(names.data() + at[i], len));
            std::memcpy(&names[lowerAt[i]], lower.data(), len);
        }
        std::vector<TDirectory::TLook> looks(at.size());
        std::vector<uint32_t> order;
        order.reserve(at.size());
        for (uint32_t i = 0; i < at.size(); ++i)
            if (d.Look(names.data() + at[i], flags, looks[i])) order.push_back(i);
        const char* text = names.data();
        auto lowerOf = [&](uint32_t i) { return text + lowerAt[i]; };
        // As CompareIDs orders file items: folders first, then by name
        // without regard to ASCII case, then by the bytes.
        std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
            if (looks[x].folder != looks[y].folder) return looks[x].folder;
            int c = std::strcmp(lowerOf(x), lowerOf(y));
            if (c == 0) c = std::strcmp(text + at[x], text + at[y]);
            return c < 0;
        });
        // Every entry's canonical list is the folder's own and the entry.
        size_t baseBytes = base ? PidlSize(base.get()) - 2 : 0;
        out.reserve(out.size() + order.size());
        for (uint32_t i : order) {
            std::string name(text + at[i]);
            TListedItem li;
            d.Fill(name, sjisOf[i] == None ? name : sjisNames[sjisOf[i]], looks[i], mask, li);
            if (!li.Item) continue;
            if (absolute) {
                bool volume = std::find(mountedHere.begin(), mountedHere.end(), name) != mountedHere.end();
                if (volume) li.MountPoint = true;
                if (base && !volume) {
                    size_t itemBytes = ItemCount(li.Item.get());
                    if (LPITEMIDLIST abs = AllocPidl(baseBytes + itemBytes + 2)) {
                        std::memcpy(abs, base.get(), baseBytes);
                        std::memcpy(reinterpret_cast<uint8_t*>(abs) + baseBytes, li.Item.get(), itemBytes);
                        li.Absolute.reset(abs);
                    }
                } else {
                    LPITEMIDLIST abs = nullptr;
                    if (SUCCEEDED(ParseFromDesktop(li.Path, abs))) li.Absolute.reset(abs);
                }
            }
            out.push_back(std::move(li));
        }
    }

    // The folder's order (CompareIDs) by keys made once per item.
    static void SortListed(std::vector<TListedItem>& items) {
        struct TKey {
            int rank;
            bool folder;
            std::string lower, name;
            size_t index;
        };
        std::vector<TKey> keys;
        keys.reserve(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            TItem it;
            ReadItem(items[i].Item.get(), it);
            std::string lower = sjis::LowerAscii(it.name);
            keys.push_back(TKey{Rank(it.kind), it.folder(), std::move(lower), std::move(it.name), i});
        }
        std::sort(keys.begin(), keys.end(), [](const TKey& a, const TKey& b) {
            if (a.rank != b.rank) return a.rank < b.rank;
            if (a.name == b.name) return false;
            if (a.folder != b.folder) return a.folder;
            int c = a.lower.compare(b.lower);
            if (c == 0) c = a.name.compare(b.name);
            return c < 0;
        });
        std::vector<TListedItem> sorted;
        sorted.reserve(items.size());
        for (const TKey& k : keys) sorted.push_back(std::move(items[k.index]));
        items.swap(sorted);
    }

protected:
    static bool Removable(const std::string& mount) {
        return Under(mount, "/media") || Under(mount, "/run/media") || Under(mount, "/mnt");
    }

    // The attributes of one item; the subfolder test only when asked.
    bool ItemAttributes(LPCITEMIDLIST list, uint32_t& attrs, uint32_t mask = 0xFFFFFFFFu) const {
        TItem item;
        TChild child;
        if (!list || PidlItemCount(list) != 1 || !ReadItem(list, item) || !Resolve(item, child))
            return false;
        if (child.computer) {
            attrs = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
            return true;
        }
        struct stat lst;
        if (::lstat(child.path.c_str(), &lst) != 0) return false;
        attrs = SFGAO_FILESYSTEM;
        if (S_ISLNK(lst.st_mode)) attrs |= SFGAO_LINK;
        if (S_ISLNK(lst.st_mode) ? IsDir(child.path) : S_ISDIR(lst.st_mode)) {
            attrs |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
            if (mask & SFGAO_HASSUBFOLDER) {
                bool loops = S_ISLNK(lst.st_mode) && LinkLoopsBack(child.path);
                if (!loops && HasSubfolder(child.path)) attrs |= SFGAO_HASSUBFOLDER;
            }
        }
        if (item.kind == KindFile) {
            if (item.name[0] == '.') attrs |= SFGAO_HIDDEN | SFGAO_GHOSTED;
            if ((mask & SFGAO_CANRENAME) && ::access(EntriesDir().c_str(), W_OK) == 0) attrs |= SFGAO_CANRENAME;
        }
        if (item.kind == KindVolume && Removable(item.name)) attrs |= SFGAO_REMOVABLE;
        return true;
    }

    // Lists the file-system entries of dir as file items.
    static void ListEntries(const std::string& dir, unsigned flags, std::vector<LPITEMIDLIST>& out) {
        DIR* d = ::opendir(dir.c_str());
        if (!d) return;
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            if (n[0] == '.' && !(flags & SHCONTF_INCLUDEHIDDEN)) continue;
            std::string sj;
            if (!ToSjisName(n, sj)) continue;  // cannot be shown: left out
            bool folder = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) folder = IsDir(Join(dir, n));
            if (folder ? !(flags & SHCONTF_FOLDERS) : !(flags & SHCONTF_NONFOLDERS)) continue;
            if (LPITEMIDLIST item = MakeItem(KindFile, folder ? FlagFolder : 0, n)) out.push_back(item);
        }
        ::closedir(d);
    }

    // Parses "a/b/c" below dir into file items; every level must exist.
    static HRESULT ParseBelow(const std::string& dir, const std::string& rel, LPITEMIDLIST& list) {
        list = AllocPidl(2);
        if (!list) return E_OUTOFMEMORY;
        std::string path = dir;
        std::stringstream ss(rel);
        std::string part;
        while (std::getline(ss, part, '/')) {
            if (part.empty()) continue;
            if (!ValidFileName(part)) {
                FreePidl(list);
                list = nullptr;
                return E_INVALIDARG;
            }
            path = Join(path, part);
            // One look at each level: a link whose target is gone still
            // exists, as no folder.
            struct stat st;
            bool folder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (!folder && ::lstat(path.c_str(), &st) != 0) {
                FreePidl(list);
                list = nullptr;
                return E_NOTFOUND;
            }
            list = ConcatPidlsFree(list, MakeItem(KindFile, folder ? FlagFolder : 0, part));
            if (!list) return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // Parses an absolute UTF-8 path as the desktop does: the computer first.
    static HRESULT ParseFromDesktop(const std::string& utf8Path, LPITEMIDLIST& list) {
        list = nullptr;
        LPITEMIDLIST rest = nullptr;
        HRESULT hr = ParseFromComputer(utf8Path, rest);
        if (FAILED(hr)) return hr;
        list = ConcatPidlsFree(MakeItem(KindComputer, FlagFolder, std::string()), rest);
        return list ? S_OK : E_OUTOFMEMORY;
    }

    // Parses an absolute UTF-8 path as seen from the computer.
    static HRESULT ParseFromComputer(const std::string& utf8Path, LPITEMIDLIST& list) {
        list = nullptr;
        std::string path = NormalizePath(utf8Path);
        if (path.empty() || !Exists(path)) return E_NOTFOUND;
        std::string vol = VolumeOf(path, CurrentVolumes());
        if (vol.empty()) return E_NOTFOUND;
        LPITEMIDLIST rest = nullptr;
        HRESULT hr = ParseBelow(vol, path.substr(vol == "/" ? 1 : vol.size()), rest);
        if (FAILED(hr)) return hr;
        list = ConcatPidlsFree(MakeItem(KindVolume, FlagFolder, vol), rest);
        return list ? S_OK : E_OUTOFMEMORY;
    }
};

class TFsFolder : public TFolderBase {
public:
    explicit TFsFolder(std::string path) : path_(std::move(path)) {}
    bool Resolve(const TItem& item, TChild& child) const override {
        if (item.kind != KindFile) return false;
        child.path = Join(path_, item.name);
        return true;
    }
    std::string EntriesDir() const override { return path_; }
    HRESULT CanList() const override {
        return IsDir(path_) && ::access(path_.c_str(), R_OK | X_OK) == 0 ? S_OK : E_ACCESSDENIED;
    }
    HRESULT ParseDisplayName(const std::string& name, LPITEMIDLIST& list) override {
        list = nullptr;
        std::string utf8;
        if (!FromSjisName(name, utf8) || utf8.empty() || utf8[0] == '/') return E_INVALIDARG;
        return ParseBelow(path_, utf8, list);
    }
    HRESULT EnumObjects(unsigned flags, std::unique_ptr<IEnumIDList>& out) override {
        if (!IsDir(path_) || ::access(path_.c_str(), R_OK | X_OK) != 0) return E_ACCESSDENIED;
        std::vector<LPITEMIDLIST> items;
        ListEntries(path_, flags, items);
        out.reset(new TItemEnum(std::move(items)));
        return S_OK;
    }

private:
    std::string path_;
};

class TComputerFolder : public TFolderBase {
public:
    bool Resolve(const TItem& item, TChild& child) const override {
        if (item.kind != KindVolume) return false;
        child.path = item.name;
        return true;
    }
    std::string EntriesDir() const override { return std::string(); }
    HRESULT ParseDisplayName(const std::string& name, LPITEMIDLIST& list) override {
        list = nullptr;
        std::string utf8;
        if (!FromSjisName(name, utf8)) return E_INVALIDARG;
        return ParseFromComputer(utf8, list);
    }
    HRESULT EnumObjects(unsigned flags, std::unique_ptr<IEnumIDList>& out) override {
        std::vector<LPITEMIDLIST> items;
        OwnItems(flags, items);
        out.reset(new TItemEnum(std::move(items)));
        return S_OK;
    }

protected:
    void OwnItems(unsigned flags, std::vector<LPITEMIDLIST>& items) const override {
        if (flags & SHCONTF_FOLDERS) {
            for (const auto& v : CurrentVolumes())
                if (LPITEMIDLIST item = MakeItem(KindVolume, FlagFolder, v)) items.push_back(item);
        }
    }
};

class TDesktopFolder : public TFolderBase {
public:
    bool Resolve(const TItem& item, TChild& child) const override {
        TNamespaceConfig c = GetNamespaceConfig();
        switch (item.kind) {
            case KindComputer: child.computer = true; return true;
            case KindHome: child.path = c.home; return !c.home.empty();
            case KindFile: {
                std::string dir = DesktopItemsDir(c);
                if (dir.empty()) return false;
                child.path = Join(dir, item.name);
                return true;
            }
            default: return false;
        }
    }
    std::string EntriesDir() const override { return DesktopItemsDir(GetNamespaceConfig()); }
    HRESULT ParseDisplayName(const std::string& name, LPITEMIDLIST& list) override {
        list = nullptr;
        std::string utf8;
        if (!FromSjisName(name, utf8) || utf8.empty()) return E_INVALIDARG;
        if (utf8 == ComputerParsingName) {
            list = MakeItem(KindComputer, FlagFolder, std::string());
            return list ? S_OK : E_OUTOFMEMORY;
        }
        if (utf8[0] != '/') return E_INVALIDARG;
        LPITEMIDLIST rest = nullptr;
        HRESULT hr = ParseFromComputer(utf8, rest);
        if (FAILED(hr)) return hr;
        list = ConcatPidlsFree(MakeItem(KindComputer, FlagFolder, std::string()), rest);
        return list ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT EnumObjects(unsigned flags, std::unique_ptr<IEnumIDList>& out) override {
        std::vector<LPITEMIDLIST> items;
        OwnItems(flags, items);
        std::string dir = DesktopItemsDir(GetNamespaceConfig());
        if (!dir.empty()) ListEntries(dir, flags, items);
        out.reset(new TItemEnum(std::move(items)));
        return S_OK;
    }

protected:
    void OwnItems(unsigned flags, std::vector<LPITEMIDLIST>& items) const override {
        TNamespaceConfig c = GetNamespaceConfig();
        if (flags & SHCONTF_FOLDERS) {
            if (LPITEMIDLIST item = MakeItem(KindComputer, FlagFolder, std::string())) items.push_back(item);
            std::string sj;
            if (IsDir(c.home) && ToSjisName(c.home, sj))
                if (LPITEMIDLIST item = MakeItem(KindHome, FlagFolder, std::string())) items.push_back(item);
        }
    }
};

ShellFolderPtr MakeFsFolder(const std::string& path) { return std::make_shared<TFsFolder>(path); }
ShellFolderPtr MakeComputer() { return std::make_shared<TComputerFolder>(); }

// XDG user folder from user-dirs.dirs ("" when not set).
std::string XdgUserDir(const std::string& home, const std::string& key) {
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    std::string file = (cfg && *cfg ? std::string(cfg) : home + "/.config") + "/user-dirs.dirs";
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string v = line.substr(key.size() + 1);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
        return NormalizePath(v);
    }
    return std::string();
}

}  // namespace

// ---------------------------------------------------------------------------

TNamespaceConfig DefaultNamespaceConfig() {
    TNamespaceConfig c;
    const char* h = std::getenv("HOME");
    if (h && *h) {
        c.home = h;
    } else if (passwd* pw = ::getpwuid(::getuid())) {
        c.home = pw->pw_dir;
    }
    c.home = NormalizePath(c.home.empty() ? "/" : c.home);
    c.desktop = XdgUserDir(c.home, "XDG_DESKTOP_DIR");
    if (c.desktop.empty()) c.desktop = Join(c.home, "Desktop");
    return c;
}

void SetNamespaceConfig(const TNamespaceConfig& config) { LockedSet(ConfigMutex(), Config(), config); }

TNamespaceConfig GetNamespaceConfig() { return LockedGet(ConfigMutex(), Config()); }

std::vector<std::string> ReadMountTable(const std::string& path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    std::string line;
    static const char* const skipped[] = {"/proc", "/sys", "/dev", "/run", "/snap"};
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string src, mnt, type;
        if (!(ls >> src >> mnt >> type)) continue;
        mnt = Unescape(mnt);
        if (mnt == "/") continue;
        if (src.compare(0, 5, "/dev/") != 0 || type == "squashfs") continue;
        bool skip = false;
        for (const char* s : skipped) skip = skip || Under(mnt, s);
        if (Under(mnt, "/run/media")) skip = false;
        if (skip || !IsDir(mnt)) continue;
        if (std::find(out.begin(), out.end(), mnt) == out.end()) out.push_back(mnt);
    }
    std::sort(out.begin(), out.end());
    out.insert(out.begin(), "/");
    return out;
}

namespace {

struct TVolumeCache {
    int depth = 0;
    bool valid = false;
    std::vector<std::string> volumes;
};

TVolumeCache& VolumeCache() {
    thread_local TVolumeCache cache;
    return cache;
}

std::vector<std::string> ReadCurrentVolumes();

}  // namespace

TVolumeSnapshot::TVolumeSnapshot() { ++VolumeCache().depth; }

TVolumeSnapshot::~TVolumeSnapshot() {
    TVolumeCache& c = VolumeCache();
    if (--c.depth == 0) {
        c.valid = false;
        c.volumes.clear();
    }
}

std::vector<std::string> CurrentVolumes() {
    TVolumeCache& cache = VolumeCache();
    if (cache.depth == 0) return ReadCurrentVolumes();
    if (!cache.valid) {
        cache.volumes = ReadCurrentVolumes();
        cache.valid = true;
    }
    return cache.volumes;
}

namespace {

std::vector<std::string> ReadCurrentVolumes() {
    TNamespaceConfig c = GetNamespaceConfig();
    std::vector<std::string> raw = c.volumes.empty() ? ReadMountTable(c.mountTable) : c.volumes;
    std::vector<std::string> out;
    for (const auto& v : raw) {
        std::string n = NormalizePath(v), sj;
        if (n.empty() || !ToSjisName(n, sj)) continue;
        if (std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
    }
    return out;
}

}  // namespace

ShellFolderPtr SHGetDesktopFolder() { return std::make_shared<TDesktopFolder>(); }

HRESULT SHGetSpecialFolderLocation(int csidl, LPITEMIDLIST& list) {
    list = nullptr;
    TNamespaceConfig c = GetNamespaceConfig();
    std::string path;
    switch (csidl) {
        case CSIDL_DESKTOP:
            list = AllocPidl(2);
            return list ? S_OK : E_OUTOFMEMORY;
        case CSIDL_DRIVES:
            list = MakeItem(KindComputer, FlagFolder, std::string());
            return list ? S_OK : E_OUTOFMEMORY;
        case CSIDL_DESKTOPDIRECTORY: path = DesktopPath(c); break;
        case CSIDL_PERSONAL: path = c.home; break;
        case CSIDL_APPDATA: {
            const char* d = std::getenv("XDG_DATA_HOME");
            path = d && *d ? std::string(d) : c.home + "/.local/share";
            break;
        }
        case CSIDL_TEMPLATES: path = XdgUserDir(c.home, "XDG_TEMPLATES_DIR"); break;
        default:
            // Control panel, printers, recycle bin, start menu and the like
            // have no counterpart here.
            return E_FAIL;
    }
    std::string sj;
    if (path.empty() || !IsDir(path) || !ToSjisName(path, sj)) return E_FAIL;
    list = PathToPidl(sj);
    return list ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------
// What only the folders themselves can tell.

bool GetDisplayName(const ShellFolderPtr& folder, LPCITEMIDLIST item, unsigned flags, std::string& s) {
    if (!folder || !item) return false;
    std::string name;
    if (PidlItemCount(item) == 0) {
        // The desktop names itself.
        if (!std::dynamic_pointer_cast<TDesktopFolder>(folder)) return false;
        std::string utf8 = (flags & SHGDN_FORPARSING) ? DesktopPath(GetNamespaceConfig()) : "デスクトップ";
        if (!ToSjisName(utf8, name)) return false;
        s = name;
        return true;
    }
    if (FAILED(folder->GetDisplayNameOf(item, flags, name))) return false;
    s = name;
    return true;
}

bool ReadListedItem(const ShellFolderPtr& folder, LPCITEMIDLIST item, uint32_t mask, TListedItem& out) {
    auto base = std::dynamic_pointer_cast<TFolderBase>(folder);
    return base && base->DescribeItem(item, mask, out);
}

}  // namespace shell
