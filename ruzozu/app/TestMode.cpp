#include "TestMode.h"

#include "qtext.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

TfTestMode::TfTestMode(QWidget* owner, int& chosenMode) : QDialog(owner), ChosenMode(chosenMode) {
    setObjectName("fTestMode");
    setWindowTitle(QL("出題モード設定"));
    auto* group = new QGroupBox(QL("出題モード"), this);
    NormalMode = new QCheckBox(QL("ノーマル　モード"), group);
    TestMode = new QCheckBox(QL("テスト　モード"), group);
    RandomMode = new QCheckBox(QL("ランダム　モード"), group);
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(NormalMode);
    inner->addWidget(TestMode);
    inner->addWidget(RandomMode);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setDefault(true);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(220, 0)));

    Boxes = TModeBoxes::FromChosenMode(ChosenMode);
    Show(Boxes);
    connect(NormalMode, &QCheckBox::clicked, this, [this](bool c) { Boxes.NormalClicked(c); Show(Boxes); });
    connect(TestMode, &QCheckBox::clicked, this, [this](bool c) { Boxes.TestClicked(c); Show(Boxes); });
    connect(RandomMode, &QCheckBox::clicked, this, [this](bool c) { Boxes.RandomClicked(c); Show(Boxes); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        ChosenMode = Boxes.ChosenMode();
        accept();
    });
}

void TfTestMode::Show(const TModeBoxes& b) {
    NormalMode->setChecked(b.Normal);
    TestMode->setChecked(b.Test);
    RandomMode->setChecked(b.Random);
}
