// Qt's own texts in Japanese, as the programs show them: Qt's translation
// for its dialogs, Japanese texts on the buttons of our message boxes and
// "*" in password boxes.
#pragma once

#include <QMessageBox>

class QLineEdit;

// Loads Qt's Japanese translation for the application (once); false when
// the translation is not installed, and Qt's texts then stay English.
bool LoadQtJapanese();

// The text of a standard button on a Japanese message box.
QString JapaneseButtonText(QMessageBox::StandardButton button);

// Gives every standard button of the box its Japanese text.
void JapaneseButtons(QMessageBox& box);

// A message with the information icon and one "OK" button, modal over parent.
void InformationBox(QWidget* parent, const QString& caption, const QString& text);

// The box shows "*" for each character typed.
void ShowPasswordStars(QLineEdit* edit);

// The box takes no composition from an input method, whatever state the
// input method is in: what is typed arrives as typed (IDs and passwords are
// ASCII).  Qt's own switch for this is not heard by a line edit, which
// answers the input method's question itself; the answer is given here.
void InputMethodOff(QWidget* box);
