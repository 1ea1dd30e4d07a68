#include "choice.h"

#include "FolderTree.h"
#include "japanese.h"
#include "qtext.h"
#include "scaled_display.h"

#include "ini_text.h"
#include "sjis.h"

#include <QPushButton>
#include <QResizeEvent>

#include <sys/stat.h>

std::string TfChoice::ChosenFolder;

TfChoice::TfChoice(QWidget* beside, const std::string& start) : QDialog(beside) {
    setObjectName("fChoice");
    setWindowTitle(QL("フォルダー選択"));
    setMinimumSize(250, 340);
    resize(268, 378);
    if (beside) move(beside->x() + beside->frameGeometry().width(), beside->y());
    // Where dialogs are scaled it is placed once the settings dialog is.
    setProperty(kPlacedBeside, QVariant::fromValue(static_cast<QObject*>(beside)));
    FolderTreeViewEx1 = new TFolderTreeViewEx(this);
    FolderTreeViewEx1->SetDragAndDrop(false);
    FolderTreeViewEx1->SetShowIncludeHidden(false);
    FolderTreeViewEx1->setIndentation(19);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->resize(75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QL("キャンセル"), this);
    BitBtn2->resize(75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &TfChoice::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    FolderTreeViewEx1->OnChange = [](QObject*, const std::string& folder) {
        ChosenFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    };
    FolderTreeViewEx1->SelectFolder(start);
}

// OK: only a folder that is there now is handed back; otherwise the
// dialog says so and stays open.
void TfChoice::accept() {
    std::string chosen = ChosenFolder;
    bool selected = false;
    QTreeWidgetItem* node = FolderTreeViewEx1->currentItem();
    if (node && node->isSelected()) {
        // Asked again: the folder may have gone since it was chosen.
        selected = true;
        std::string folder = FolderTreeViewEx1->GetFolderName();
        chosen = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    }
    struct stat st;
    std::string path = sjis::ToUtf8(chosen);
    // A folder whose name the settings cannot hold (a line break in it) is
    // refused, though it is there.
    if (!chosen.empty() && ::stat(path.c_str(), &st) == 0 && !StorableFolder(chosen)) {
        QString text = Q(UnstorableFolderMessage());
        InformationBox(this, windowTitle(), text.replace(QLatin1Char('\r'), QLatin1Char('\n')));
        return;
    }
    if (chosen.empty() || path[0] != '/' || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        bool none = chosen.empty() && !selected;
        InformationBox(this, windowTitle(),
                       none ? QL("フォルダーを選択してください。") : QL("選択されたフォルダーは\n\n存在しません"));
        return;
    }
    ChosenFolder = chosen;
    QDialog::accept();
}

void TfChoice::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    const int w = width(), h = height();
    // The bottom panel of 43 and the buttons 9 below its top, 20 apart and
    // centred, in the buttons' scale (scaled dialogs have bigger buttons).
    const double s = BitBtn1->height() / 25.0;
    const int panel = int(43 * s + 0.5), gap = int(20 * s + 0.5);
    FolderTreeViewEx1->setGeometry(0, 0, w, h - panel);
    const int left = (w - (BitBtn1->width() + BitBtn2->width() + gap)) / 2;
    BitBtn1->move(left, h - panel + int(9 * s + 0.5));
    BitBtn2->move(left + BitBtn1->width() + gap, h - panel + int(9 * s + 0.5));
}
