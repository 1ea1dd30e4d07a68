#include "InplaceEdit.h"

#include "sjis.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QValidator>

namespace {
QString Q(const std::string& sjisText) { return QString::fromStdString(sjis::ToUtf8(sjisText)); }
}  // namespace

// Refuses a text that has no Shift-JIS form or is longer than the limit
// in bytes, and one that holds a control character (a cell is one line of
// text; TAB, CR, LF and 0x1A would break the files cells are saved to) or
// a character the grid refuses (its property "RefusedEditChars", a string).
class TSjisValidator : public QValidator {
public:
    TSjisValidator(QObject* parent, const QObject* grid) : QValidator(parent), Grid(grid) {}
    int MaxBytes = 0;
    const QObject* Grid;
    bool Storable(const QString& input) const {
        const QString refused = Grid ? Grid->property("RefusedEditChars").toString() : QString();
        for (const QChar ch : input)
            if (ch.unicode() < 0x20 || ch.unicode() == 0x7F || refused.contains(ch)) return false;
        return true;
    }
    State validate(QString& input, int&) const override {
        if (!Storable(input)) return Invalid;
        std::string s;
        if (!sjis::FromUtf8(input.toStdString(), s)) return Invalid;
        if (MaxBytes > 0 && static_cast<int>(s.size()) > MaxBytes) return Invalid;
        return Acceptable;
    }
};

// ---------------------------------------------------------------- editor

TComboInplaceEdit::TComboInplaceEdit(TComboGrid* grid) : QLineEdit(grid->viewport()), FGrid(grid), FHost(grid) {
    setFrame(false);
    hide();
    FValidator = new TSjisValidator(this, grid);
    setValidator(FValidator);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { TextChanged(t); });
}

TComboInplaceEdit::~TComboInplaceEdit() = default;

void TComboInplaceEdit::SetCellKind(const TCellKind* kind) {
    if (!kind) {
        FCellKind.Kind = ckText;
        setTextMargins(0, 0, 0, 0);
        update();
        return;
    }
    FCellKind.Assign(*kind);
    if (FCellKind.Kind != ckCombo) {
        if (FDropList) FDropList->hide();
        setTextMargins(0, 0, 0, 0);
        update();
        return;
    }
    if (!FDropList) FDropList = new TInplaceListBox(this);
    {
        // Refilling is the program's doing: no click for the user's pick.
        const QSignalBlocker quiet(FDropList);
        FDropList->clear();
        FDropList->resize(FCellKind.DropDownWidth, FDropList->height());
        for (const TKindItem& item : FCellKind.Items) FDropList->addItem(Q(item.Text));
    }
    AdjustEditRect();
}

void TComboInplaceEdit::SetEditMask(const std::string& mask) {
    if (mask == FEditMask) return;
    FEditMask = mask;
    FSaveLiterals = EditMaskSavesLiterals(mask);
    FLoading = true;
    setInputMask(EditMaskToInputMask(mask));
    FLoading = false;
}

void TComboInplaceEdit::SetMaxLength(int bytes) {
    FMaxLength = std::max(0, bytes);
    FValidator->MaxBytes = FMaxLength;
}

std::string TComboInplaceEdit::SjisText() const {
    std::string s;
    const QString t = FSaveLiterals || inputMask().isEmpty() ? text() : StripMaskLiterals(inputMask(), displayText());
    sjis::FromUtf8(t.toStdString(), s);
    return s;
}

void TComboInplaceEdit::SetSjisText(const std::string& t) {
    FLoading = true;
    setText(Q(t));
    FLoading = false;
}

void TComboInplaceEdit::TextChanged(const QString& t) {
    if (FLoading) return;
    std::string s;
    if (!sjis::FromUtf8(t.toStdString(), s)) return;
    FHost->EditorTextChanged(SjisText());
}

void TComboInplaceEdit::AdjustEditRect() {
    if (IsCombo())
        setTextMargins(0, 0, ComboButtonWidth, 0);
    else
        setTextMargins(0, 0, 0, 0);
    update();
}

bool TComboInplaceEdit::DroppedDown() const { return FDropList && FDropList->isVisible(); }

void TComboInplaceEdit::ToggleDropDown() {
    if (!FDropList) return;
    if (FDropList->isHidden()) {
        if (FDropList->count() > 0) {
            FDropList->SelectQuietly(0);
            int found = -1;
            std::string t = SjisText();
            for (size_t i = 0; i < FCellKind.Items.size() && found < 0; ++i)
                if (sjis::EqualsIgnoreCase(FCellKind.Items[i].Text, t)) found = static_cast<int>(i);
            FDropList->SelectQuietly(found);
        }
        int w = FCellKind.DropDownWidth >= width() ? FCellKind.DropDownWidth : width();
        FDropList->resize(w, FDropList->height());
        FDropList->move(mapToGlobal(QPoint(width() - w, height())));
        selectAll();
        FDropList->show();
    } else {
        FDropList->hide();
    }
    update();
}

void TComboInplaceEdit::ListClick() { FHost->EditorListClick(); }

void TComboInplaceEdit::StepList(int key) {
    if (!FDropList || FDropList->count() == 0) return;
    int row = FDropList->currentRow();
    if (key == Qt::Key_Down)
        row = row < 0 ? 0 : std::min(row + 1, FDropList->count() - 1);
    else
        row = row < 0 ? 0 : std::max(row - 1, 0);
    if (row != FDropList->currentRow()) FDropList->SelectByUser(row);
}

void TComboInplaceEdit::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (IsCombo()) {
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepList(key);
            return;
        }
        if (key == Qt::Key_Escape) {
            if (FDropList) FDropList->hide();
            update();
            return;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && DroppedDown()) {
            FDropList->CopySelection();
            FDropList->hide();
            update();
            return;
        }
    }
    if (e->matches(QKeySequence::Paste)) {
        PasteFirstLine();
        return;
    }
    const bool noSel = !hasSelectedText();
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        FHost->EditorPassKey(e);
        return;
    case Qt::Key_Left:
        if (noSel && cursorPosition() == 0 && !(e->modifiers() & Qt::ShiftModifier)) {
            FHost->EditorPassKey(e);
            return;
        }
        break;
    case Qt::Key_Right:
        if (noSel && cursorPosition() == text().size() && !(e->modifiers() & Qt::ShiftModifier)) {
            FHost->EditorPassKey(e);
            return;
        }
        break;
    case Qt::Key_Escape:
        FHost->EditorCancel();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FHost->EditorEnter(e);
        return;
    default: break;
    }
    QLineEdit::keyPressEvent(e);
}

void TComboInplaceEdit::PasteFirstLine() {
    if (isReadOnly()) return;
    QString clip = QGuiApplication::clipboard()->text();
    // One line: the paste stops at the first line break.
    const qsizetype end = clip.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (end >= 0) clip.truncate(end);
    if (clip.isEmpty()) return;
    if (!FValidator->Storable(clip)) {
        QApplication::beep();  // a TAB or another character the cell cannot hold
        return;
    }
    insert(clip);  // the validator still holds the whole text to the limits
}

void TComboInplaceEdit::contextMenuEvent(QContextMenuEvent* e) {
    QMenu* menu = createStandardContextMenu();
    // The menu's paste pastes as the keys do.
    if (QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        paste->disconnect();
        connect(paste, &QAction::triggered, this, [this] { PasteFirstLine(); });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void TComboInplaceEdit::keyReleaseEvent(QKeyEvent* e) {
    if (IsCombo() && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) {
        if (FDropList && !e->isAutoRepeat()) FDropList->CopySelection();
        return;
    }
    QLineEdit::keyReleaseEvent(e);
}

void TComboInplaceEdit::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    if (!IsCombo()) return;
    QPainter p(this);
    if (FButtonDownX >= 0)
        DrawComboButtonDown(p, width(), height(), palette());
    else
        DrawComboButton(p, width(), height(), palette());
}

void TComboInplaceEdit::mousePressEvent(QMouseEvent* e) {
    FButtonDownX = -1;
    int x = static_cast<int>(e->position().x());
    if (IsCombo() && x > width() - ComboButtonWidth) {
        FButtonDownX = x;
        update();
        return;  // the caret stays where it is
    }
    QLineEdit::mousePressEvent(e);
}

void TComboInplaceEdit::mouseMoveEvent(QMouseEvent* e) {
    if (IsCombo() && e->position().x() > width() - ComboButtonWidth)
        setCursor(Qt::ArrowCursor);
    else
        setCursor(Qt::IBeamCursor);
    QLineEdit::mouseMoveEvent(e);
}

void TComboInplaceEdit::mouseReleaseEvent(QMouseEvent* e) {
    bool click = e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    if (FButtonDownX < 0) QLineEdit::mouseReleaseEvent(e);
    if (click && FButtonDownX >= 0 && IsCombo()) ToggleDropDown();
    FButtonDownX = -1;
    update();
}

void TComboInplaceEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    if (IsCombo()) AdjustEditRect();
}

void TComboInplaceEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (IsCombo() && FDropList) FDropList->hide();
}

void TComboInplaceEdit::hideEvent(QHideEvent* e) {
    if (FDropList) FDropList->hide();
    QLineEdit::hideEvent(e);
}

// ---------------------------------------------------------------- list

TInplaceListBox::TInplaceListBox(TComboInplaceEdit* editor)
    : QListWidget(editor), FEditor(editor) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setSelectionMode(QAbstractItemView::SingleSelection);
    resize(width(), 97);
    hide();
    connect(this, &QListWidget::currentRowChanged, this, [this](int) {
        if (!FQuiet) FEditor->ListClick();
    });
}

void TInplaceListBox::SelectQuietly(int row) {
    FQuiet = true;
    if (row < 0) {
        setCurrentRow(-1);
        clearSelection();
    } else {
        setCurrentRow(row);
    }
    FQuiet = false;
}

void TInplaceListBox::SelectByUser(int row) { setCurrentRow(row); }

void TInplaceListBox::CopySelection() {
    QListWidgetItem* item = currentItem();
    if (!item || !item->isSelected()) return;
    std::string s;
    if (!sjis::FromUtf8(item->text().toStdString(), s)) return;
    FEditor->setText(item->text());  // reaches the cell as typing does
    FEditor->selectAll();
}

void TInplaceListBox::mouseReleaseEvent(QMouseEvent* e) {
    QListWidget::mouseReleaseEvent(e);
    CopySelection();
    hide();
    FEditor->update();
}

void TInplaceListBox::keyReleaseEvent(QKeyEvent* e) {
    QListWidget::keyReleaseEvent(e);
    CopySelection();
}

void TInplaceListBox::showEvent(QShowEvent* e) {
    QListWidget::showEvent(e);
    qApp->installEventFilter(this);
}

void TInplaceListBox::hideEvent(QHideEvent* e) {
    qApp->removeEventFilter(this);
    QListWidget::hideEvent(e);
}

bool TInplaceListBox::eventFilter(QObject* watched, QEvent* event) {
    // A press anywhere but on the list or the editor closes the list.
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
        QWidget* w = static_cast<QWidget*>(watched);
        if (w != FEditor && w != this && !isAncestorOf(w)) {
            hide();
            FEditor->update();
        }
    }
    return false;
}
