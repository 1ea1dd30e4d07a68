// Conversions between the program's Shift-JIS strings and Qt's strings.
#pragma once

#include "sjis.h"

#include <QColor>
#include <QString>

inline QString Q(const std::string& sjisText) { return QString::fromStdString(sjis::ToUtf8(sjisText)); }

// A UTF-8 literal of ours, as shown on screen.
inline QString QL(const char* utf8) { return QString::fromUtf8(utf8); }

// Text from a widget in Shift-JIS.  A text with characters that have no
// Shift-JIS form is refused: ok is false and the result empty.
inline std::string S(const QString& text, bool* ok = nullptr) {
    std::string out;
    bool good = sjis::FromUtf8(text.toStdString(), out);
    if (ok) *ok = good;
    return out;
}

// A file name on disk from a Shift-JIS path.
inline QString QPath(const std::string& sjisPath) { return Q(sjisPath); }

inline QColor RgbColor(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
