// The splash shown while the drill program starts, and the version box.
#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;

// The 300 x 100 artwork of both.
QPixmap RuzozuArtwork();

class Tstart : public QWidget {
    Q_OBJECT
public:
    Tstart();
    QLabel* Label1 = nullptr;

protected:
    bool event(QEvent* e) override;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner);
    QLabel* Label1 = nullptr;

protected:
    void mousePressEvent(QMouseEvent* e) override;
};
