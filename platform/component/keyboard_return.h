// Where the keyboard goes when a window of the program shows or goes: one
// rule for the whole program, so that no dialog or message box gives the
// keyboard back by hand.  Without a window manager (a kiosk) nobody else
// hands it on: a window that goes leaves the keyboard nowhere, and a main
// window shown is not given it.
//
// Once the event loop has settled after a window of the program went (a
// dialog, a message box, a menu) or the main window showed, and while no
// menu is open:
//  - the modal dialog on top, when one stands, has the keyboard;
//  - else, unless a window shown meanwhile has the keyboard coming, the
//    window the gone one stood over has it when no window of the program
//    has it; that is the main window when the gone one stood over nothing
//    (or over a window that has gone too);
//  - the main window, when it is the one, takes the keyboard its own way
//    when it names one (the drill also puts the focus back where the
//    learner was).
#pragma once

#include <QWidget>
#include <functional>

namespace keyboard_return {

// Installs the rule for the application: main is the program's main
// window, take (when given) how it takes the keyboard instead of being
// made the active window.  A later call names the main window anew; the
// rule is installed once.
void Install(QWidget* main, std::function<void()> take = {});

// Applies the rule once the event loop has settled, as after a window
// that stood over the main window went.
void Queue();

}  // namespace keyboard_return
