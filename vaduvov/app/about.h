// The controller's version box: a picture with the version over it; a
// click anywhere closes it.
#pragma once

#include <QDialog>

class QLabel;

class TfAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfAbout(QWidget* owner);
    QLabel* Label1 = nullptr;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};
