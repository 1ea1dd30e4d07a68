// What a person reads in a window, for tests: the texts of its buttons,
// labels, group boxes and list headers, and the English words among them.
// Also a catcher that takes every modal window as it opens, reads it and
// closes it.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <functional>

// The visible texts of the window and its children; "&" accelerators
// dropped.
inline QStringList ShownTexts(QWidget* top) {
    QStringList out;
    auto add = [&](QString t) {
        t.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
        t.remove('&');
        if (!t.trimmed().isEmpty()) out << t;
    };
    QList<QWidget*> all = top->findChildren<QWidget*>();
    all.prepend(top);
    for (QWidget* w : all) {
        if (!w->isVisibleTo(top) && w != top) continue;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) add(b->text());
        if (auto* l = qobject_cast<QLabel*>(w)) add(l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w)) add(g->title());
        if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
            auto* h = qobject_cast<QHeaderView*>(v->findChild<QHeaderView*>());
            if (h && !h->isHidden())
                for (int i = 0; i < v->model()->columnCount(); ++i)
                    add(v->model()->headerData(i, Qt::Horizontal).toString());
        }
    }
    return out;
}

// The words of ASCII letters (two or more) in the texts that are not among
// the system's own names.  File paths in a text are names, not words.
inline QStringList EnglishWords(const QStringList& texts, QStringList own = {}) {
    own << "OK" << "Ruzozu" << "SendTo";
    QStringList out;
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    static const QRegularExpression path(QStringLiteral("(/[^\\s/]+)+/?"));
    for (const QString& text : texts) {
        const QString t = QString(text).remove(path);
        for (auto it = word.globalMatch(t); it.hasNext();) {
            const QString w = it.next().captured();
            if (!own.contains(w)) out << w + " (in \"" + text + "\")";
        }
    }
    return out;
}

// Takes every modal window that opens while it lives: hands it to Read,
// then closes it (Escape for a dialog, close otherwise).
struct ModalCatcher {
    std::function<void(QWidget*)> Read;
    int Count = 0;
    QTimer Timer;
    QPointer<QWidget> Last;
    explicit ModalCatcher(std::function<void(QWidget*)> read) : Read(std::move(read)) {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w == Last || !w->isVisible()) return;
            Last = w;
            ++Count;
            if (Read) Read(w);
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            else w->close();
        });
        Timer.start(30);
    }
};
