// The location box of the shell views: the path to the chosen folder.
#include "ShView.h"
#include "japanese.h"

#include "shellicons.h"
#include "shelltree.h"

#include "sjis.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include <algorithm>

using namespace shell;

// ---------------------------------------------------------------------------
// Location box

namespace {

// Draws the box's list through the box's own drawing.
class TComboDelegate : public QStyledItemDelegate {
public:
    explicit TComboDelegate(TComboView* combo) : QStyledItemDelegate(combo), combo_(combo) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        bool selected = option.state & (QStyle::State_Selected | QStyle::State_MouseOver);
        combo_->DrawItem(*painter, index.row(), option.rect, selected, true);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(option.rect.width(), combo_->ItemHeight());
    }

private:
    TComboView* combo_;
};

// A drop-down list below the box that shows DropDownCount entries at most,
// whatever the style's own habit.
class TComboStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

}  // namespace

TComboView::TComboView(QWidget* owner) : QComboBox(owner) {
    auto* style = new TComboStyle;
    style->setParent(this);
    setStyle(style);
    resize(200, sizeHint().height());
    setMaxVisibleItems(8);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FItemHeight = std::max(18, fontMetrics().height() + 2);
    setItemDelegate(new TComboDelegate(this));
    connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int index) { Change(index); });
    BuildList();
    setCurrentIndex(0);
}

TComboView::~TComboView() {
    if (FFolderView && FFolderView->FComboView == this) FFolderView->FComboView = nullptr;
    ClearEntries();
}

void TComboView::SetItemHeight(int height) {
    FItemHeight = std::max(1, height);
    update();
}

void TComboView::SetFolderView(TFolderView* view) {
    if (view == FFolderView) return;
    if (FFolderView && FFolderView->FComboView == this) FFolderView->FComboView = nullptr;
    FFolderView = view;
    if (!view) return;
    if (view->FComboView && view->FComboView != this) view->FComboView->FFolderView = nullptr;
    view->FComboView = this;
    QTreeWidgetItem* sel = view->currentItem();
    if (sel && sel->isSelected()) {
        TPidl full(view->NodePidl(sel));
        SyncToPidl(full.get());
    }
}

const TComboData* TComboView::Entry(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return reinterpret_cast<const TComboData*>(itemData(index).value<quintptr>());
}

int TComboView::IndexOf(const TComboData* entry) const {
    for (int i = 0; i < count(); ++i)
        if (Entry(i) == entry) return i;
    return -1;
}

int TComboView::EntryIndent(int index) const {
    const TComboData* e = Entry(index);
    return e ? e->Level * 10 : 0;
}

// An entry names itself as its parent folder names it.
std::string TComboView::EntryName(int index) const {
    const TComboData* e = Entry(index);
    if (!e || !e->Pidl) return std::string();
    ShellFolderPtr desktop = SHGetDesktopFolder();
    std::string name;
    if (PidlIsEmpty(e->Pidl.get())) {
        GetDisplayName(desktop, e->Pidl.get(), SHGDN_INFOLDER, name);
        return name;
    }
    TPidl parent(ParentPidl(e->Pidl.get()));
    ShellFolderPtr folder = parent ? BindAbsolute(parent.get()) : nullptr;
    if (!folder) folder = desktop;
    TPidl last(LastItemCopy(e->Pidl.get()));
    GetDisplayName(folder, last.get(), SHGDN_INFOLDER, name);
    return name;
}

void TComboView::AddEntry(int position, int level, LPCITEMIDLIST list) {
    auto entry = std::make_unique<TComboData>();
    entry->Pidl.reset(CopyPidl(list));
    entry->Level = level;
    entry->Position = position;
    insertItem(position, QString(), QVariant::fromValue(reinterpret_cast<quintptr>(entry.get())));
    (FBuilt ? FPathEntries : FFixedEntries).push_back(std::move(entry));
}

void TComboView::ClearEntries() {
    clear();
    FPathEntries.clear();
    FFixedEntries.clear();
}

// The desktop, every folder on it (hidden ones too) and every volume of
// the computer.
void TComboView::BuildList() {
    FBuilt = false;
    ClearEntries();
    LPITEMIDLIST raw = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_DESKTOP, raw))) {
        TPidl desktopList(raw);
        AddEntry(0, 0, desktopList.get());
    }
    ShellFolderPtr desktop = SHGetDesktopFolder();
    std::unique_ptr<IEnumIDList> items;
    if (SUCCEEDED(desktop->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, items)) && items) {
        while (items->Next(raw) == S_OK) {
            TPidl child(raw);
            InsertPath(child.get());
        }
    }
    ShellFolderPtr computer;
    raw = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_DRIVES, raw))) {
        TPidl computerList(raw);
        items.reset();
        if (SUCCEEDED(desktop->BindToObject(computerList.get(), computer)) && computer &&
            SUCCEEDED(computer->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, items)) && items) {
            while (items->Next(raw) == S_OK) {
                TPidl full(ConcatPidlsFree(CopyPidl(computerList.get()), raw));
                InsertPath(full.get());
            }
        }
    }
    FBuilt = true;
}

// Finds or adds the entry of every level of a full list, each right after
// its parent's entry and among its siblings in the desktop's order, and
// returns the index of the last level's entry.
int TComboView::InsertPath(LPCITEMIDLIST list) {
    ShellFolderPtr desktop = SHGetDesktopFolder();
    int a = 1, s = 1;
    unsigned levels = PidlItemCount(list);
    TPidl prefix(AllocPidl(2));
    LPCITEMIDLIST p = list;
    for (unsigned k = 1; k <= levels && p; ++k, p = NextItem(p)) {
        TPidl item(CopyFirstItem(p));
        prefix.reset(ConcatPidlsFree(prefix.release(), item.release()));
        if (!prefix) return a - 1;
        bool found = false;
        bool afterSmaller = false;  // a lies after a sibling that comes first
        for (int i = s; i < count(); ++i) {
            const TComboData* e = Entry(i);
            if (!e) continue;
            if (e->Level < static_cast<int>(k)) break;  // past the parent's entries
            if (e->Level > static_cast<int>(k)) {
                if (afterSmaller) a = i + 1;  // below that sibling
                continue;
            }
            int c = ComparePidls(desktop, prefix.get(), e->Pidl.get());
            if (c == 0) {
                a = i + 1;
                found = true;
                break;
            }
            afterSmaller = c > 0;
            if (afterSmaller) a = i + 1;
        }
        if (!found) {
            AddEntry(a, static_cast<int>(k), prefix.get());
            ++a;
        }
        s = a;
    }
    return a - 1;
}

void TComboView::SyncToPidl(LPCITEMIDLIST list) {
    if (!list) return;
    while (!FPathEntries.empty()) {
        int i = IndexOf(FPathEntries.back().get());
        if (i >= 0) removeItem(i);
        FPathEntries.pop_back();
    }
    LPITEMIDLIST raw = nullptr;
    TPidl desktopList;
    if (SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_DESKTOP, raw))) desktopList.reset(raw);
    if (ComparePidls(SHGetDesktopFolder(), list, desktopList.get()) == 0) {
        setCurrentIndex(0);
    } else {
        setCurrentIndex(InsertPath(list));
    }
    update();
}

void TComboView::Change(int index) {
    OnChange(this);
    const TComboData* e = Entry(index);
    if (!FFolderView || !e || !e->Pidl) return;
    TPidl list(CopyPidl(e->Pidl.get()));  // the entry may go when the tree moves
    FFolderView->SelectPidl(list.get());
}

void TComboView::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool inList) const {
    const TComboData* e = Entry(index);
    if (!e) {
        painter.fillRect(rect, palette().brush(QPalette::Base));
        return;
    }
    painter.save();
    int x = inList ? rect.left() + e->Level * 10 : rect.left() + 1;
    QColor text = palette().color(QPalette::Text);
    if (inList) {
        painter.fillRect(rect, palette().brush(selected ? QPalette::Highlight : QPalette::Base));
        if (selected) text = palette().color(QPalette::HighlightedText);
    }
    int side = std::min(FItemHeight, rect.height());
    QRect iconBox(x, rect.top() + (rect.height() - side) / 2, side, side);
    QIcon icon = ShellIcon(e->Pidl.get(), selected);
    icon.paint(&painter, iconBox.adjusted(1, 1, -1, -1), Qt::AlignCenter,
               selected && inList ? QIcon::Selected : QIcon::Normal);
    painter.setPen(text);
    painter.setFont(font());
    QRect textBox(x + side + 3, rect.top(), std::max(0, rect.right() - (x + side + 3)), rect.height());
    painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     ShellText(EntryName(index)));
    painter.restore();
}

void TComboView::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    if (currentIndex() >= 0) DrawItem(painter, currentIndex(), field, hasFocus(), false);
}
