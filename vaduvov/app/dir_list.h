// The folder dialog of the main window: the folder tree from the desktop
// down, with OK and Cancel centred below it.
#pragma once

#include <QDialog>

class QPushButton;
class TFolderView;

class TfDirList : public QDialog {
    Q_OBJECT
public:
    explicit TfDirList(QWidget* owner);
    TFolderView* FolderView1 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // OK
    QPushButton* BitBtn2 = nullptr;  // Cancel

protected:
    void resizeEvent(QResizeEvent* e) override;
};
