#include "hint_form.h"

#include "StdArr.h"
#include "qtext.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {
const int kOuterWidth = 331, kOuterHeight = 167;
}

TOKBottomDlg::TOKBottomDlg(QWidget* mainWindow) : QDialog(mainWindow), MainWindow(mainWindow) {
    setObjectName("OKBottomDlg");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint);
    setAutoFillBackground(true);
    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(0, 0, 323, 105);
    QFont labelFont(QStringLiteral("IPAGothic"));
    labelFont.setPointSize(12);
    ArLabel1 = new TArLabel(this, "ArLabel1");
    for (int i = 0; i < 5; ++i) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("ArLabel1_%1").arg(i + 1));
        l->setFont(labelFont);
        l->setGeometry(5, 2 + 20 * i, 316, 20);
        l->setAttribute(Qt::WA_TranslucentBackground);
        ArLabel1->AddCntrl(l);
    }
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(5, 24, 316, 33);
    QFont answerFont(QStringLiteral("IPAPGothic"));
    answerFont.setPixelSize(16);
    Label1->setFont(answerFont);
    Label1->setStyleSheet("color: #FFFF00;");
    // Made after the texts, so a picture lies over them where they meet.
    Image1_ = new QLabel(this);
    Image1_->setObjectName("Image1");
    Image1_->setGeometry(184, 0, 129, 105);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(126, 112, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TOKBottomDlg::BitBtn1Click() {
    Image1_->clear();
    accept();
}

void TOKBottomDlg::FormShow() {
    // Centred over the main window by the full size, whatever size is shown.
    const QRect main = MainWindow->frameGeometry();
    move(main.left() + (main.width() - kOuterWidth) / 2, main.top() + (main.height() - kOuterHeight) / 2);
}

void TOKBottomDlg::ShowContent(const TOKBottomContent& c) {
    setWindowTitle(Q(c.Caption));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, RgbColor(c.Color));
    setPalette(pal);
    for (int i = 0; i < 5; ++i) {
        ArLabel1->Cntrls(i)->setText(Q(c.Labels[i]));
        ArLabel1->Cntrls(i)->setStyleSheet(QStringLiteral("color: %1;").arg(RgbColor(c.LabelColors[i]).name()));
    }
    Label1->setText(Q(c.Answer));
    // A dialog with nothing to read is shown at no size: Enter closes it.
    if (c.Width <= 0 || c.Height <= 0)
        setFixedSize(1, 1);
    else
        setFixedSize(323, 140);
    FormShow();
    BitBtn1->setFocus();
    exec();
}
