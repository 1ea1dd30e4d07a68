// The file list of the shell views: one row an item of the chosen folder.
#include "ShView.h"
#include "japanese.h"

#include "shellicons.h"
#include "shelltree.h"

#include "sjis.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <cstdio>
#include <ctime>

using namespace shell;

// ---------------------------------------------------------------------------
// File list

namespace {

constexpr int FileViewItemType = QTreeWidgetItem::UserType + 305;

// One direction per column, shared by every file list.
int SortDirections[4] = {1, 1, 1, 1};

const char* const ColumnCaptions[4] = {"名前", "ｻｲｽﾞ", "ﾌｧｲﾙの種類", "更新日時"};
const int ColumnWidths[4] = {120, 60, 120, 120};

// The extension of a parsing name: from the last dot of its last part,
// dot included; "" when that part has no dot.
std::string ExtensionOf(const std::string& parsingName) {
    size_t slash = parsingName.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = parsingName.rfind('.');
    if (dot == std::string::npos || dot < start) return std::string();
    return parsingName.substr(dot);
}

// The file-system path (UTF-8) of an item of a folder; "" for items that
// are not files or folders on disk.
std::string DiskPathOf(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    std::string s;
    if (!GetDisplayName(folder, item, SHGDN_FORPARSING, s) || s.empty() || s[0] != '/') return std::string();
    return sjis::ToUtf8(s);
}

// "yy/mm/dd hh:nn" in local time.
std::string DateText(time_t t) {
    struct tm local;
    if (!::localtime_r(&t, &local)) return std::string();
    char buf[32];
    std::strftime(buf, sizeof buf, "%y/%m/%d %H:%M", &local);
    return buf;
}

// DateText as a row shows it; the files of a folder are often written in
// the same minute, so the last minute's text is kept.
QString DateCell(time_t t) {
    static time_t lastMinute = -1;
    static QString lastText;
    time_t minute = t - ((t % 60) + 60) % 60;
    if (minute != lastMinute) {
        lastText = QString::fromStdString(DateText(t));
        lastMinute = minute;
    }
    return lastText;
}

// Kilobytes begun, right-aligned in eight places: 0 to 1023 bytes is 1KB.
std::string SizeText(int64_t size) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%8lld%s", static_cast<long long>(size / 1024 + 1), "KB");
    return buf;
}

// An icon with the small arrow of a link in its lower left corner.
QIcon WithLinkOverlay(const QIcon& icon) {
    QIcon out;
    for (int side : {16, 32}) {
        QPixmap pm = icon.pixmap(side, side);
        if (pm.isNull()) continue;
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        int s = side / 2;
        QRectF box(0.5, side - s - 0.5, s - 1, s - 1);
        p.setPen(QPen(Qt::black, side / 16.0));
        p.setBrush(Qt::white);
        p.drawRect(box);
        QPainterPath arrow;
        arrow.moveTo(box.left() + s * 0.25, box.bottom() - s * 0.2);
        arrow.quadTo(box.left() + s * 0.3, box.top() + s * 0.35, box.right() - s * 0.3, box.top() + s * 0.3);
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
        QPolygonF head;
        head << QPointF(box.right() - s * 0.15, box.top() + s * 0.3)
             << QPointF(box.right() - s * 0.45, box.top() + s * 0.1)
             << QPointF(box.right() - s * 0.45, box.top() + s * 0.5);
        p.setBrush(Qt::black);
        p.drawPolygon(head);
        out.addPixmap(pm);
    }
    return out.isNull() ? icon : out;
}

QMimeDatabase& MimeDatabase() {
    static QMimeDatabase db;
    return db;
}

// A MIME type's description in Japanese, whatever the system's language.
QString JapaneseComment(const QMimeType& type) {
    QLocale before;
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QString text = type.comment();
    QLocale::setDefault(before);
    return text;
}

// What the rows of one kind of item show: the icon (and with the mark of
// a link) and the type name.
struct TKind {
    QIcon icon, linkIcon;
    QString typeName;
};

// An extension longer than this is no extension to type a file by.
constexpr size_t kMaxKindExtension = 32;

// The part of a name that decides its kind: the extension, from the last
// dot, as the type name shows it; "" for a name without one (or with one
// too long to be an extension).  Every name of one extension is of one
// kind, whatever the rest of the name says.
void KindKey(const std::string& utf8Name, std::string& key) {
    const size_t dot = utf8Name.rfind('.');
    if (dot == std::string::npos || utf8Name.size() - dot > kMaxKindExtension + 1) key.clear();
    else key.assign(utf8Name, dot, std::string::npos);
}

// Which file names the MIME database may know by their name.  Asking it
// costs far more than a listed row (it compiles its wildcard patterns at
// every call), so a folder of many extensions no type has ("r.000123")
// asks only where one of its patterns could match; the answer is the
// database's own either way.
class TNamedTypes {
public:
    TNamedTypes() {
        for (const QMimeType& type : MimeDatabase().allMimeTypes())
            for (const QString& glob : type.globPatterns()) {
                const QString ext = glob.startsWith(QLatin1String("*.")) ? glob.mid(2) : QString();
                if (!ext.isEmpty() && !ext.contains(QRegularExpression(QStringLiteral("[*?\\[\\]]"))))
                    Suffixes.insert(ext.toLower());
                else
                    Others.emplace_back(QRegularExpression::wildcardToRegularExpression(glob),
                                        QRegularExpression::CaseInsensitiveOption);
            }
        for (auto& re : Others) re.optimize();
    }
    // name: a file name whose only dot starts extension.
    bool MayKnow(const QString& name, const QString& extension) const {
        if (Suffixes.contains(extension.toLower())) return true;
        for (const QRegularExpression& re : Others)
            if (re.match(name).hasMatch()) return true;
        return false;
    }

private:
    QSet<QString> Suffixes;
    std::vector<QRegularExpression> Others;
};

const TNamedTypes& NamedTypes() {
    static const TNamedTypes types;
    return types;
}

}  // namespace

// The kinds a file view has met, made once per kind and freed with the
// view.  Files by the MIME type their extension gives (the contents of a
// whole folder are not read to list it); a kind the database does not know
// is named after its extension, as "QZB ファイル".  The type name is at
// most 80 Shift-JIS bytes.  The icons are made once per MIME type, so a
// folder of many extensions holds one set of pictures per type.
class TKindCache {
public:
    const TKind& KindOf(const TListedItem& li) {
        const bool folder = li.Attributes & SFGAO_FOLDER;
        if (folder) Key.assign(li.MountPoint ? "/volume" : "/folder");
        else KindKey(li.Utf8Name, Key);
        auto it = Kinds.find(Key);
        if (it != Kinds.end()) return it->second;
        QMimeType type;
        if (folder) {
            type = MimeDatabase().mimeTypeForName(li.MountPoint ? QStringLiteral("inode/mount-point")
                                                                : QStringLiteral("inode/directory"));
        } else {
            const QString ext = QString::fromStdString(Key.size() > 1 ? Key.substr(1) : std::string());
            const QString name = QStringLiteral("x") + QString::fromStdString(Key);
            if (NamedTypes().MayKnow(name, ext)) {
                type = MimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
            } else {
                if (!Unnamed.isValid()) Unnamed = MimeDatabase().mimeTypeForName(QStringLiteral("application/octet-stream"));
                type = Unnamed;
            }
        }
        const TType& t = TypeOf(type, folder, li.IconName);
        TKind kind;
        kind.icon = t.icon;
        kind.linkIcon = t.linkIcon;
        if (t.named) {
            kind.typeName = t.typeName;
        } else if (type.isValid()) {
            const QString upper = QString::fromStdString(Key.size() > 1 ? Key.substr(1) : std::string()).toUpper();
            const QString text = upper.isEmpty() ? QStringLiteral("ファイル") : upper + QStringLiteral(" ファイル");
            std::string sj;
            if (ShellTextToSjis(text, sj)) kind.typeName = ShellText(sjis::CutBytes(sj, 80, true));
        }
        return Kinds.emplace(Key, std::move(kind)).first->second;
    }
    size_t Count() const { return Kinds.size(); }

private:
    // What one MIME type gives all its kinds: the pictures, and the type
    // name where the database has one (named).
    struct TType {
        QIcon icon, linkIcon;
        QString typeName;
        bool named = false;
    };
    const TType& TypeOf(const QMimeType& type, bool folder, const std::string& iconName) {
        const QString key = (type.isValid() ? type.name() : QString()) + QLatin1Char('|') +
                            (folder || !type.isValid() ? QString::fromStdString(iconName) : QString());
        auto it = Types.find(key);
        if (it != Types.end()) return it->second;
        TType t;
        if (type.isValid()) {
            const QString text = JapaneseComment(type);
            if (folder || !(type.isDefault() || text.isEmpty())) {
                std::string sj;
                if (ShellTextToSjis(text, sj)) t.typeName = ShellText(sjis::CutBytes(sj, 80, true));
                t.named = true;
            }
            if (!folder) t.icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        }
        if (t.icon.isNull()) t.icon = ShellIconNamed(iconName);
        t.linkIcon = WithLinkOverlay(t.icon);
        return Types.emplace(key, std::move(t)).first->second;
    }

    std::unordered_map<std::string, TKind> Kinds;
    std::unordered_map<QString, TType> Types;
    QMimeType Unnamed;  // the type of names no pattern matches
    std::string Key;  // kept: no new string for each row
};

namespace {

// A row owns its one-item list relative to the listed folder, and keeps
// what its details columns show as it was read: their texts are made when
// they are shown or asked for, not for every row of a big folder at once.
class TFileItem : public QTreeWidgetItem {
public:
    explicit TFileItem(LPITEMIDLIST item) : QTreeWidgetItem(FileViewItemType), Item(item) {}
    TPidl Item;
    const TKind* Kind = nullptr;
    uint32_t Attributes = 0;
    bool Link = false;
    bool MountPoint = false;
    bool HasFindData = false;
    int64_t Size = 0;
    int64_t Written = 0;

    void SetDetails(TKindCache& kinds, const TListedItem& li) {
        Kind = &kinds.KindOf(li);
        Attributes = li.Attributes;
        Link = li.Attributes & SFGAO_LINK;
        MountPoint = li.MountPoint;
        HasFindData = li.HasFindData;
        Size = li.Size;
        Written = li.Written;
        emitDataChanged();
    }
    // Whether a listed item is this row's item as it was read (its name is
    // in the item).
    bool Unchanged(const TListedItem& li) const {
        return Attributes == li.Attributes && MountPoint == li.MountPoint && HasFindData == li.HasFindData &&
               Size == li.Size && Written == li.Written;
    }
    QVariant data(int column, int role) const override {
        if (Kind) {
            if (column == 0 && role == Qt::DecorationRole) return Link ? Kind->linkIcon : Kind->icon;
            if (column == 0 && role == TFileView::OverlayRole) return Link ? 1 : 0;
            if (column == 1 && role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
            if (role == Qt::DisplayRole || role == Qt::EditRole) {
                if (column == 1) return HasFindData ? QString::fromStdString(SizeText(Size)) : QString();
                if (column == 2) return Kind->typeName;
                if (column == 3) return HasFindData ? DateCell(static_cast<time_t>(Written)) : QString();
            }
        }
        return QTreeWidgetItem::data(column, role);
    }
};

TFileItem* AsFileItem(QTreeWidgetItem* item) {
    return item && item->type() == FileViewItemType ? static_cast<TFileItem*>(item) : nullptr;
}

// The bytes of a one-item list, which tell the item within its folder.
std::string_view ItemKey(LPCITEMIDLIST item) {
    return std::string_view(reinterpret_cast<const char*>(item), item ? ItemCount(item) : 0);
}

// The size column shows its texts without the blanks that align them for
// sorting: the column aligns them to the right itself.
class TSizeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = option->text.trimmed();
    }
};

}  // namespace

TFileView::TFileView(QWidget* owner) : QTreeWidget(owner), FKinds(std::make_unique<TKindCache>()) {
    resize(200, 200);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setIconSize(QSize(16, 16));
    setColumnCount(4);
    QStringList captions;
    for (const char* c : ColumnCaptions) captions << QString::fromUtf8(c);
    setHeaderLabels(captions);
    for (int i = 0; i < 4; ++i) setColumnWidth(i, ColumnWidths[i]);
    headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    setItemDelegateForColumn(1, new TSizeDelegate(this));
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(0, Qt::AscendingOrder);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { ColClick(column); });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) { DblClick(); });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* row, int column) {
        if (!FFilling && column == 0) Edit(row);
    });
}

size_t TFileView::KindCount() const { return FKinds->Count(); }

TFileView::~TFileView() {
    FFilling = true;
    ClearItems();
}

LPCITEMIDLIST TFileView::ItemID(QTreeWidgetItem* item) {
    TFileItem* row = AsFileItem(item);
    return row ? row->Item.get() : nullptr;
}

int TFileView::SortDirection(int column) {
    return column >= 0 && column < 4 ? SortDirections[column] : 0;
}

QTreeWidgetItem* TFileView::SelectedItem() const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) return topLevelItem(i);
    return nullptr;
}

void TFileView::SetDropSource(TDropSourceEx* source) {
    FDropSource = source;
    if (source) setDragEnabled(false);  // the drag source starts drags itself
}

void TFileView::SetCaption(QTreeWidgetItem* row, const std::string& sjisText) {
    bool was = FFilling;
    FFilling = true;
    row->setText(0, ShellText(sjisText));
    FFilling = was;
}

void TFileView::ClearItems() {
    if (OnDeletion) {
        for (int i = 0; i < topLevelItemCount(); ++i) OnDeletion(this, topLevelItem(i));
    }
    clear();
}

void TFileView::SetFolder(LPCITEMIDLIST list) {
    if (!list) return;
    ++FGeneration;
    // The rows of another folder all go; listing the same folder again
    // keeps the rows of what did not change.
    size_t bytes = PidlSize(list);
    bool same = FFolderPidl && PidlSize(FFolderPidl.get()) == bytes && std::memcmp(FFolderPidl.get(), list, bytes) == 0;
    if (!same) {
        bool was = FFilling;
        FFilling = true;
        ClearItems();
        FFilling = was;
    }
    FFolderPidl.reset(CopyPidl(list));
    FFolder.reset();
    if (PidlIsEmpty(list)) {
        FFolder = SHGetDesktopFolder();
    } else {
        ShellFolderPtr f;
        if (SUCCEEDED(SHGetDesktopFolder()->BindToObject(list, f))) FFolder = f;
    }
    FillList();
}

// A folder that cannot be listed: its rows would belong to the folder
// before, so they go; the linked tree goes back to the folder it showed
// before (once: a folder that cannot be listed either stays empty).
void TFileView::CannotList() {
    bool was = FFilling;
    FFilling = true;
    ClearItems();
    FFilling = was;
    if (!FFolderView || FGoingBack) return;
    unsigned generation = FGeneration;
    QPointer<TFileView> self(this);
    QTimer::singleShot(0, this, [self, generation]() {
        if (!self || !self->FFolderView || self->FGeneration != generation) return;
        self->FGoingBack = true;
        self->FFolderView->SelectPreviousNode();
        self->FGoingBack = false;
    });
}

void TFileView::FillList() {
    // One listing gives every row: names, attributes, size, time, and the
    // kind from the name; in the folder's own order, which is the order by
    // name.
    std::vector<TListedItem> items;
    if (!FFolder ||
        FAILED(FFolder->ListItems(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                  SFGAO_FOLDER | SFGAO_LINK, false, items))) {
        CannotList();
        return;
    }
    BeginFill();
    PlaceRows(items);
    EndFill();
}

void TFileView::BeginFill() {
    for (int& d : SortDirections) d = 1;
    header()->setSortIndicator(0, Qt::AscendingOrder);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FFilling = true;
}

void TFileView::EndFill() {
    FFilling = false;
    QApplication::restoreOverrideCursor();
}

// The rows of the listed items in their order.  The row of an item that
// did not change (same item, attributes, size and time) stays as it is,
// selected or not; the row of an item that changed is made anew and takes
// the old one's selection; rows of items no longer listed are freed.  A
// folder in which little changed is therefore not laid out and painted
// again row by row.
void TFileView::PlaceRows(std::vector<TListedItem>& items) {
    const int count = topLevelItemCount();
    std::vector<TFileItem*> old(static_cast<size_t>(count));
    std::unordered_map<std::string_view, int> byItem;
    byItem.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        old[static_cast<size_t>(i)] = AsFileItem(topLevelItem(i));
        if (old[static_cast<size_t>(i)]) byItem.emplace(ItemKey(old[static_cast<size_t>(i)]->Item.get()), i);
    }
    struct TPlace {
        QTreeWidgetItem* row;
        int was;    // the index of the row kept or replaced; -1 for an item new here
        bool made;  // a new row
    };
    std::vector<TPlace> places;
    places.reserve(items.size());
    std::vector<char> kept(static_cast<size_t>(count), 0);
    bool inOrder = true;  // the kept rows stand in the new order already
    int lastKept = -1;
    for (TListedItem& li : items) {
        if (!Listed(li)) continue;
        int was = -1;
        auto it = byItem.find(ItemKey(li.Item.get()));
        if (it != byItem.end()) {
            was = it->second;
            byItem.erase(it);
        }
        if (was >= 0 && old[static_cast<size_t>(was)]->Unchanged(li)) {
            kept[static_cast<size_t>(was)] = 1;
            inOrder = inOrder && was > lastKept;
            lastKept = was;
            places.push_back({old[static_cast<size_t>(was)], was, false});
        } else {
            places.push_back({MakeRow(li), was, true});
        }
    }
    // What was selected and current: a replacing row takes it over.
    QTreeWidgetItem* current = currentItem();
    QTreeWidgetItem* newCurrent = nullptr;
    std::vector<char> selected(static_cast<size_t>(count), 0);
    for (int i = 0; i < count; ++i) selected[static_cast<size_t>(i)] = topLevelItem(i)->isSelected();
    int removed = 0, insertRuns = 0;
    for (int i = 0; i < count; ++i) removed += !kept[static_cast<size_t>(i)];
    for (size_t i = 0; i < places.size(); ++i) {
        insertRuns += places[i].made && (i == 0 || !places[i - 1].made);
        if (current && places[i].was >= 0 && old[static_cast<size_t>(places[i].was)] == current)
            newCurrent = places[i].row;
    }
    for (int i = 0; i < count; ++i)
        if (!kept[static_cast<size_t>(i)] && OnDeletion) OnDeletion(this, topLevelItem(i));

    // Few rows to take out and few runs to put in: one by one, the others
    // staying where they are; otherwise (a first listing too) all at once.
    constexpr int FewSteps = 64;
    if (count > 0 && inOrder && removed <= FewSteps && insertRuns <= FewSteps) {
        for (int i = count - 1; i >= 0; --i)
            if (!kept[static_cast<size_t>(i)]) delete takeTopLevelItem(i);
        for (size_t i = 0; i < places.size();) {
            if (!places[i].made) {
                ++i;
                continue;
            }
            QList<QTreeWidgetItem*> run;
            size_t at = i;
            for (; i < places.size() && places[i].made; ++i) run.append(places[i].row);
            insertTopLevelItems(static_cast<int>(at), run);
        }
        for (const TPlace& p : places)
            if (p.made && p.was >= 0 && selected[static_cast<size_t>(p.was)]) p.row->setSelected(true);
        if (newCurrent && newCurrent != current) setCurrentItem(newCurrent, 0, QItemSelectionModel::NoUpdate);
        return;
    }
    setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> taken = invisibleRootItem()->takeChildren();
    for (int i = 0; i < count; ++i)
        if (!kept[static_cast<size_t>(i)]) delete taken[i];
    taken.clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(places.size()));
    for (const TPlace& p : places) rows.append(p.row);
    addTopLevelItems(rows);
    // The selection again, a range for each run of selected rows.
    QItemSelection selection;
    int from = -1;
    for (int i = 0; i <= static_cast<int>(places.size()); ++i) {
        const TPlace* p = i < static_cast<int>(places.size()) ? &places[static_cast<size_t>(i)] : nullptr;
        bool on = p && p->was >= 0 && selected[static_cast<size_t>(p->was)];
        if (on && from < 0) from = i;
        if (!on && from >= 0) {
            selection.select(model()->index(from, 0), model()->index(i - 1, columnCount() - 1));
            from = -1;
        }
    }
    if (newCurrent) setCurrentItem(newCurrent, 0, QItemSelectionModel::NoUpdate);
    if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
    setUpdatesEnabled(true);
}

// Whether the mask lets a listed item be shown.
bool TFileView::Listed(const TListedItem& li) const {
    if (FMask.empty() || (li.Attributes & SFGAO_FOLDER)) return true;
    std::string ext = ExtensionOf(li.Name);
    if (ext.empty()) return false;
    for (const std::string& m : FMask)
        if (sjis::EqualsIgnoreCase(ext, m)) return true;
    return false;
}

// A row for a listed item; the row takes the item over.
QTreeWidgetItem* TFileView::MakeRow(TListedItem& li) {
    auto* row = new TFileItem(li.Item.release());
    row->setText(0, QString::fromStdString(li.Utf8Name));
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    row->SetDetails(*FKinds, li);
    return row;
}

// The icon, size, type name and date of a row read from its item now.
void TFileView::SetDetails(QTreeWidgetItem* r) {
    TFileItem* row = AsFileItem(r);
    TListedItem li;
    if (!row || !FFolder || !ReadListedItem(FFolder, row->Item.get(), SFGAO_FOLDER | SFGAO_LINK, li)) return;
    row->SetDetails(*FKinds, li);
}

int TFileView::CompareByName(QTreeWidgetItem* a, QTreeWidgetItem* b) const {
    return ComparePidls(FFolder, ItemID(a), ItemID(b)) * SortDirections[0];
}

// Sizes and dates are fixed-width texts that sort by their characters;
// type names sort as the locale orders words, case counting.
int TFileView::CompareBySubItem(QTreeWidgetItem* a, QTreeWidgetItem* b, int column) {
    return CompareSubTexts(a->text(column), b->text(column), column);
}

int TFileView::CompareSubTexts(const QString& ta, const QString& tb, int column) {
    if (column < 1 || column > 3) return 0;
    int c = column == 2 ? QString::localeAwareCompare(ta, tb) : 0;
    if (c == 0) c = ta.compare(tb);
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    return c * SortDirections[column];
}

void TFileView::SortBy(int column) {
    if (column < 0 || column > 3) return;
    QList<QTreeWidgetItem*> selected = selectedItems();
    QTreeWidgetItem* current = currentItem();
    bool was = FFilling;
    FFilling = true;
    QList<QTreeWidgetItem*> rows = invisibleRootItem()->takeChildren();
    if (column == 0) {
        std::stable_sort(rows.begin(), rows.end(),
                         [&](QTreeWidgetItem* a, QTreeWidgetItem* b) { return CompareByName(a, b) < 0; });
    } else {
        // Each row's text is made once, not at every comparison.
        std::vector<std::pair<QString, QTreeWidgetItem*>> keyed;
        keyed.reserve(static_cast<size_t>(rows.size()));
        for (QTreeWidgetItem* row : rows) keyed.emplace_back(row->text(column), row);
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
            return CompareSubTexts(a.first, b.first, column) < 0;
        });
        for (qsizetype i = 0; i < rows.size(); ++i) rows[i] = keyed[static_cast<size_t>(i)].second;
    }
    addTopLevelItems(rows);
    if (current) setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* row : selected) row->setSelected(true);
    FFilling = was;
    header()->setSortIndicator(column, SortDirections[column] > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TFileView::ColClick(int column) {
    if (column < 0 || column > 3) return;
    SortDirections[column] = -SortDirections[column];
    SortBy(column);
}

void TFileView::DblClick() {
    OnDblClick(this);
    QTreeWidgetItem* row = SelectedItem();
    LPCITEMIDLIST item = ItemID(row);
    if (!item || !FFolder) return;
    uint32_t attrs = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (FAILED(FFolder->GetAttributesOf(1, &item, attrs))) attrs = 0;
    if (FFolderView && attrs) {
        // By the folder's full list: the tree may have no node selected (it
        // was asked for a path it does not show) while this list stays.
        TPidl full(ConcatPidls(FFolderPidl.get(), item));  // the rows go when the tree lists it
        FFolderView->SelectPidl(full.get());
    } else if (FFileExecute) {
        std::string path = DiskPathOf(FFolder, item);
        if (!path.empty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    }
}

bool TFileView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // Only the name can be edited; F2 on another column edits the name.
    if (index.isValid() && index.column() != 0) {
        if (trigger != EditKeyPressed) return false;
        return QTreeWidget::edit(index.siblingAtColumn(0), trigger, event);
    }
    return QTreeWidget::edit(index, trigger, event);
}

// The end of a name edit: the shell renames the item, never over another
// one; a refused name shows the old one again.
void TFileView::Edit(QTreeWidgetItem* r) {
    TFileItem* row = AsFileItem(r);
    if (!row || !FFolder) return;
    LPCITEMIDLIST d = row->Item.get();
    std::string oldName;
    GetDisplayName(FFolder, d, SHGDN_NORMAL, oldName);
    if (row->text(0) == ShellText(oldName)) return;  // nothing new was typed
    // Asked before the rename: afterwards the old item is gone.
    uint32_t attrs = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (FAILED(FFolder->GetAttributesOf(1, &d, attrs))) attrs = 0;
    std::string newName;
    LPITEMIDLIST renamed = nullptr;
    std::string typed = row->text(0).toStdString();
    HRESULT hr = ShellTextToSjis(row->text(0), newName) ? FFolder->SetNameOf(d, newName, 0x60, &renamed)
                                                        : E_INVALIDARG;
    if (SUCCEEDED(hr) && renamed) {
        TPidl old(row->Item.release());
        row->Item.reset(renamed);
        if (FFolderView && attrs) FFolderView->RenameChild(old.get(), renamed);
        std::string text;
        GetDisplayName(FFolder, renamed, SHGDN_NORMAL, text);
        SetCaption(row, text);
        bool was = FFilling;
        FFilling = true;
        SetDetails(row);  // a new extension may be a new kind
        FFilling = was;
        return;
    }
    SetCaption(row, oldName);
    // Why, once the edit is over (the message runs an event loop of its own).
    QString why = QString::fromUtf8(RenameRefusalText(typed, hr));
    QPointer<TFileView> self(this);
    QTimer::singleShot(0, this, [self, why] {
        if (!self) return;
        QPointer<QWidget> w = self->window();
        InformationBox(w, w ? w->windowTitle() : QString(), why);
    });
}

// The IDs of all selected rows in one list, each new one in front.
LPITEMIDLIST TFileView::PackSelected(int& count) const {
    count = 0;
    LPITEMIDLIST packed = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        if (!row->isSelected() || !ItemID(row)) continue;
        LPITEMIDLIST longer = ConcatPidls(ItemID(row), packed);
        FreePidl(packed);
        packed = longer;
        ++count;
    }
    return packed;
}

void TFileView::mouseReleaseEvent(QMouseEvent* event) {
    FDragFrom.reset();
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::RightButton || !FContextMenu || !FFolder || !SelectedItem()) return;
    int count = 0;
    TPidl packed(PackSelected(count));
    QPoint at = viewport()->mapToGlobal(event->position().toPoint());
    ShellFolderPtr folder = FFolder;  // the menu's command may list another folder here
    FContextMenu->ShowMenu(this, folder, at, count, packed.get());
}

void TFileView::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    FDragFrom.reset();
    if (event->button() == Qt::LeftButton && FDropSource && SelectedItem())
        FDragFrom = event->position().toPoint();
}

// A drag of the selected rows starts once the pressed mouse has moved a
// little, so that a click stays a click.
void TFileView::mouseMoveEvent(QMouseEvent* event) {
    if (FDragFrom && (event->buttons() & Qt::LeftButton) && FDropSource && FFolder && SelectedItem() &&
        (event->position().toPoint() - *FDragFrom).manhattanLength() >= QApplication::startDragDistance()) {
        FDragFrom.reset();
        int count = 0;
        TPidl packed(PackSelected(count));
        ShellFolderPtr folder = FFolder;
        FDropSource->DragItems(this, folder, count, packed.get());
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}
