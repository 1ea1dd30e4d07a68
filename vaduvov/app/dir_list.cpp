#include "dir_list.h"

#include "ShView.h"
#include "qtext.h"

#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

TfDirList::TfDirList(QWidget* owner) : QDialog(owner, Qt::Tool | Qt::WindowCloseButtonHint) {
    setObjectName("fDirList");
    resize(250, 328);
    // Small enough to resize at will, large enough to keep both buttons.
    setMinimumSize(190, 160);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(1, 1, 1, 1);
    FolderView1 = new TFolderView(frame);
    FolderView1->setRootIsDecorated(false);
    FolderView1->setIndentation(19);
    inner->addWidget(FolderView1);
    column->addWidget(frame, 1);
    auto* bottom = new QWidget(this);
    bottom->setFixedHeight(36);
    column->addWidget(bottom);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), bottom);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QL("キャンセル"), bottom);
    BitBtn2->setObjectName("BitBtn2");
    for (QPushButton* b : {BitBtn1, BitBtn2}) b->setGeometry(0, 6, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    if (owner) move(owner->geometry().center() - QPoint(125, 164));
}

// The two buttons stay 20 pixels apart around the middle.
void TfDirList::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    const int left = (width() - BitBtn1->width() - BitBtn2->width() - 20) / 2;
    BitBtn1->move(left, BitBtn1->y());
    BitBtn2->move(left + BitBtn1->width() + 20, BitBtn2->y());
}
