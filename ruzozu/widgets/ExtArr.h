// Arrays of bitmap buttons and of pictures.
#pragma once

#include "ArrCtrl.h"

#include <QLabel>
#include <QPushButton>

// A picture control.
class TImage : public QLabel {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    bool AutoSize = true;
    bool Stretch = false;
};

class TArBitBtn : public TArrayOf<QPushButton, QPushButton, 75, 25> {
    Q_OBJECT
public:
    using TArrayOf::TArrayOf;
};

class TArImage : public TArrayOf<TImage, TImage, 105, 105> {
    Q_OBJECT
public:
    using TArrayOf::TArrayOf;
};
