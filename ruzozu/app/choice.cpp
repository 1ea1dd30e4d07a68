#include "choice.h"

#include "FolderTree.h"
#include "qtext.h"

#include <QPushButton>
#include <QResizeEvent>

std::string TfChoice::ChosenFolder;

TfChoice::TfChoice(QWidget* beside, const std::string& start) : QDialog(beside) {
    setObjectName("fChoice");
    setWindowTitle(QL("フォルダー選択"));
    setMinimumSize(250, 340);
    resize(268, 378);
    if (beside) move(beside->x() + beside->frameGeometry().width(), beside->y());
    FolderTreeViewEx1 = new TFolderTreeViewEx(this);
    FolderTreeViewEx1->SetDragAndDrop(false);
    FolderTreeViewEx1->SetShowIncludeHidden(false);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->resize(75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QL("キャンセル"), this);
    BitBtn2->resize(75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    FolderTreeViewEx1->OnChange = [](QObject*, const std::string& folder) {
        ChosenFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    };
    FolderTreeViewEx1->SelectFolder(start);
}

void TfChoice::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    const int w = width(), h = height();
    FolderTreeViewEx1->setGeometry(0, 0, w, h - 43);
    // The two buttons 20 pixels apart, centred.
    const int left = (w - (BitBtn1->width() + BitBtn2->width() + 20)) / 2;
    BitBtn1->move(left, h - 43 + 9);
    BitBtn2->move(left + BitBtn1->width() + 20, h - 43 + 9);
}
