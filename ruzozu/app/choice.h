// The folder chooser of the settings dialog.
#pragma once

#include <QDialog>
#include <string>

class QPushButton;
class TFolderTreeViewEx;

class TfChoice : public QDialog {
    Q_OBJECT
public:
    // Opens right of beside (the settings dialog) with start selected.
    TfChoice(QWidget* beside, const std::string& start);
    TFolderTreeViewEx* FolderTreeViewEx1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    // The folder last reported by the tree; kept from one use to the next.
    static std::string ChosenFolder;

    // OK: the chosen folder must exist now.
    void accept() override;

protected:
    void resizeEvent(QResizeEvent* e) override;
};
