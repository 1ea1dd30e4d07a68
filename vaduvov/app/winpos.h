// Where the controller's windows stand.  Each keeps its place as the
// top-left corner of its frame (the title bar included), read from the
// frame and put back on the frame, so that a window opened again stands
// exactly where it was closed.
#pragma once

#include <QPoint>

class QWidget;

// The top-left corner of a top-level window's frame.
QPoint FramePosition(const QWidget* window);

// Puts the frame's top-left corner of a top-level window at framePos: at
// once, and again once the window manager has framed the shown window
// (before that, a window system places the client area there instead).
void PlaceFrame(QWidget* window, const QPoint& framePos);
