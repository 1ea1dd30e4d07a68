// Arrays of labels and of return-key edits.
#pragma once

#include "ArrCtrl.h"
#include "RetEdit.h"

#include <QLabel>

class TArLabel : public TArrayOf<QLabel> {
    Q_OBJECT
public:
    using TArrayOf::TArrayOf;
};

// Plain line edits are taken as well (their class is a base of ours).
class TArEdit : public TArrayOf<TRetEdit, QLineEdit> {
    Q_OBJECT
public:
    using TArrayOf::TArrayOf;
};
