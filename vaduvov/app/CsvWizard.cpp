#include "CsvWizard.h"

#include "CmbGrid.h"
#include "gridfunc.h"
#include "qtext.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {

const QColor kLime(0, 255, 0);

}  // namespace

TfCsvWizard::TfCsvWizard(QWidget* parent, TMeiboGrid& roster) : QDialog(parent), Roster(roster) {
    setObjectName("fCsvWizard");
    setWindowTitle(QL("CSV ファイル読込ウイザード"));
    setWindowFlags((windowFlags() & ~(Qt::WindowContextHelpButtonHint | Qt::WindowMaximizeButtonHint)) |
                   Qt::WindowMinimizeButtonHint);
    QFont f("IPAPGothic");
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(392, 264);
    if (parent) {
        // Centred on the program's main window, kept on its screen.
        QWidget* main = parent->window();
        while (main->parentWidget()) main = main->parentWidget()->window();
        QPoint at = main->geometry().center() - QPoint(392 / 2, 264 / 2);
        if (QScreen* screen = main->screen()) {
            const QRect avail = screen->availableGeometry();
            at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - 392)));
            at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - 264)));
        }
        move(at);
    }

    Label1 = new QLabel(QL("読込ファイル名"), this);
    QFont bold = f;
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->move(8, 8);
    Label1->adjustSize();
    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(94, 4, 285, 20);
    Label2 = new QLabel(this);
    QFont name = f;
    name.setPixelSize(13);
    Label2->setFont(name);
    Label2->setGeometry(96, 6, 281, 16);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    CheckBox1 = new QCheckBox(QL("先頭行をヘッダー行とする"), this);
    CheckBox1->move(64, 32);
    CheckBox1->adjustSize();

    CsvGrid = new TComboGrid(this);
    CsvGrid->setObjectName("CsvGrid");
    CsvGrid->setGeometry(8, 56, 369, 129);
    CsvGrid->SetColCount(1);
    CsvGrid->SetRowCount(2);
    CsvGrid->SetFixedCols(0);
    CsvGrid->SetFixedRows(1);
    CsvGrid->SetFixedColor(kLime);
    CsvGrid->SetCanvasFont(f);
    CsvGrid->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goColSizing |
                        goThumbTracking);
    CsvGrid->OnDrawCell = [this](QObject*, int col, int row, QPainter& p, const QRect& rect, unsigned) {
        CsvGridDrawCell(col, row, p, rect);
    };
    CsvGrid->OnMouseDown = [this](QObject*, Qt::MouseButton, int x, int y) { CsvGridMouseDown(x, y); };

    const char* hints[4] = {
        "", "このボタンを押した後、User IDとして読み込みたい列をクリックしてください。",
        "このボタンを押した後、User Nameとしたい列をクリックしてください。",
        "このボタンを押した後、PassWordとしたい列をクリックしてください。"};
    const int lefts[4] = {0, 51, 155, 259};
    for (int tag = 1; tag <= 3; ++tag) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString("SpeedButton%1").arg(tag));
        b->setText(Q(TCsvWizardModel::TargetCaption(tag)));
        b->setToolTip(QL(hints[tag]));
        b->setCheckable(true);
        b->setGeometry(lefts[tag], 192, 81, 22);
        b->setFocusPolicy(Qt::NoFocus);
        // One group: at most one down, all may be up.
        connect(b, &QToolButton::clicked, this, [this, tag] { SpeedButtonClick(tag); });
        Buttons[tag] = b;
    }
    SpeedButton1 = Buttons[1];
    SpeedButton2 = Buttons[2];
    SpeedButton3 = Buttons[3];

    Panel1 = new QFrame(this);
    static_cast<QFrame*>(Panel1)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(0, 264 - 41, 392, 41);
    auto* buttons = new QHBoxLayout(Panel1);
    buttons->setContentsMargins(8, 6, 8, 6);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QL("読込開始"), Panel1);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QL("キャンセル"), Panel1);
    for (QPushButton* b : {BitBtn1, BitBtn2}) b->setFixedSize(96, 27);
    BitBtn1->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(24);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { reject(); });
}

TfCsvWizard::~TfCsvWizard() = default;

void TfCsvWizard::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (FirstShow) {
        LoadCsvFile();
        FirstShow = false;
        if (!Model.LoadError.empty()) {
            // A file that cannot be taken whole is not taken at all: the
            // wizard says why and ends with the roster untouched.
            QTimer::singleShot(0, this, [this] {
                QString text = Q(Model.LoadError);
                text.replace(QLatin1String("\r"), QLatin1String("\n"));
                QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                                QMessageBox::Ok, this);
                box.exec();
                reject();
            });
        }
    }
}

void TfCsvWizard::LoadCsvFile() {
    Model.LoadCsvFile(CsvFileName);
    const int rows = static_cast<int>(Model.Preview.size());
    // The old rows go before the new shape is made; the mapping row stays
    // the fixed one.
    CsvGrid->SetRowCount(2);
    for (int r = 0; r < 2; ++r) CsvGrid->SetRowTexts(r, {});
    CsvGrid->SetColCount(Model.Columns);
    // The grid keeps one row below its fixed row even for a file that
    // could not be read; the model's preview has only the mapping row then.
    CsvGrid->SetRowCount(std::max(rows, 2));
    // Each line fills the cells it has; the rest of its row stays empty.
    for (int r = 0; r < rows; ++r) {
        const auto& fields = Model.Preview[static_cast<size_t>(r)];
        for (size_t c = 0; c < fields.size(); ++c) CsvGrid->SetCells(static_cast<int>(c), r, fields[c]);
    }
    FitColWidths(*CsvGrid);
}

void TfCsvWizard::SpeedButtonClick(int tag) {
    const bool down = Buttons[tag]->isChecked();
    Model.TargetButton(tag, down);
    ShowMapping();
}

void TfCsvWizard::CsvGridMouseDown(int x, int y) {
    if (Model.Target < 0) return;
    int col = -1, row = -1;
    CsvGrid->MouseToCell(x, y, col, row);
    Model.ColumnClick(col);
    ShowMapping();
}

void TfCsvWizard::ShowMapping() {
    for (int tag = 1; tag <= 3; ++tag) Buttons[tag]->setChecked(Model.Target == tag);
    // Only the mapping row's cells that hold or held a caption change.
    const int n = std::min(CsvGrid->ColCount(),
                           std::max(CsvGrid->CellsInRow(0), static_cast<int>(Model.Preview[0].size())));
    for (int c = 0; c < n; ++c) {
        const std::string& caption = Model.Cell(0, c);
        if (CsvGrid->Cells(c, 0) == caption) continue;
        CsvGrid->SetCells(c, 0, caption);
        // A column too narrow for the target it now carries widens to show it.
        const int w = 5 + std::max(10, CsvGrid->TextWidth(caption));
        if (w > CsvGrid->ColWidths(c)) CsvGrid->SetColWidths(c, w);
    }
}

void TfCsvWizard::CsvGridDrawCell(int col, int row, QPainter& p, const QRect& rect) {
    if (row != 0) return;
    p.save();
    p.fillRect(rect, kLime);
    p.setPen(palette().color(QPalette::WindowText));
    const QFont font = CsvGrid->CanvasFont();
    p.setFont(font);
    const QFontMetrics fm(font);
    const QString text = Q(CsvGrid->Cells(col, row));
    const int x = rect.left() + std::max(0, (CsvGrid->ColWidths(col) - fm.horizontalAdvance(text)) / 2);
    const int y = rect.top() + std::max(0, (CsvGrid->RowHeights(0) - fm.height()) / 2);
    p.drawText(x, y + fm.ascent(), text);
    p.restore();
}

void TfCsvWizard::BitBtn1Click() {
    if (!Model.Import(Roster, CheckBox1->isChecked())) {
        // A record the roster cannot store, or nothing mapped.
        QString text = Q(Model.ImportError.empty() ? TCsvWizardModel::NothingMappedMessage() : Model.ImportError);
        text.replace(QLatin1String("\r"), QLatin1String("\n"));
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        this);
        box.exec();
    }
    // The wizard ends in every case, the roster untouched after the message.
    accept();
}
