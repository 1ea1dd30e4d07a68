#include "ExtArr.h"

TImage::TImage(QWidget* parent) : QLabel(parent) {}
