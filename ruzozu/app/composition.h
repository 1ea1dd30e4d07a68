// What the learner is composing through an input method belongs to the
// answer: it is confirmed before anything takes the answer or the keys.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Watches the whole application.  Every click, every key that opens a
// menu or runs a command, every dialog, menu or message box that opens and
// every move of the keyboard inside the window first confirms the
// composition in progress: the input method is asked to confirm it (fcitx5
// does so at once, ibus answers a moment later and is waited for, bounded);
// an input method that never answers leaves the text as the learner saw
// it.  A window that loses the keyboard is left to the input method, which
// confirms then by itself.
// While a menu is open the focused window takes no composition, so the
// menu's keys reach the menu and not the box behind it.
class TComposition : public QObject {
    Q_OBJECT
public:
    explicit TComposition(QObject* parent = nullptr);
    ~TComposition() override;

    // Confirms the composition in progress now (nothing when none).
    void Commit();
    bool Composing() const { return !Preedit.isEmpty(); }
    // True while a popup (a menu) of the application is open.
    bool PopupOpen() const;
    // How long the input method's answer is waited for, in ms.
    int AnswerWait = 2000;

    static TComposition* Instance();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool CommitBefore(QObject* receiver);
    void PopupsChanged();
    void Trace(const QString& preedit);
    const QString TracePath;
    QString Preedit;            // the composition as the input method shows it
    QPointer<QObject> Holder;   // the box it is shown in
    bool Committing = false;
    bool Guarded = false;       // an object answers a query asked through the filter
    QList<QPointer<QWidget>> Popups;
};
