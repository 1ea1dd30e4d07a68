#include "ArrCtrl.h"

#include "ArrLayout.h"
#include "RetEdit.h"
#include "sjis.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

TArCntrl::TArCntrl(QWidget* owner, const QString& name, const QMetaObject* elementClass, QPoint designPos)
    : QObject(owner), Owner(owner), CntrlClass(elementClass), DesignPos(designPos) {
    setObjectName(name);
}

TArCntrl::~TArCntrl() {
    for (const auto& c : Items)
        if (c) ClearCntrlEvents(c);  // a control in twice is cleared once: the second call finds nothing hooked
}

QWidget* TArCntrl::Cntrls(int index) const {
    return index >= 0 && index < Num && index < Items.size() ? Items[index].data() : nullptr;
}

int TArCntrl::IndexOf(const QWidget* c) const {
    for (int i = 0; i < Items.size(); ++i)
        if (Items[i] == c) return i;
    return -1;
}

bool TArCntrl::CanAccept(const QWidget* c) const {
    if (!c) return false;
    const QMetaObject* m = c->metaObject();
    return m->inherits(CntrlClass) || CntrlClass->inherits(m);
}

int TArCntrl::AddCntrl(QWidget* c) {
    if (!CanAccept(c))
        throw EInvalidOperation(RefusalMessage(c ? c->metaObject()->className() : "nil"));
    SetCntrlEvents(c);
    Items.append(c);
    ++Num;
    return Items.size() - 1;
}

void TArCntrl::Delete(int index) {
    if (index < 0 || index >= Num || index >= Items.size()) return;
    QPointer<QWidget> c = Items[index];
    Items.removeAt(index);
    // A control that stands in the array once more keeps its hooks.
    if (c && !Items.contains(c)) ClearCntrlEvents(c);
    --Num;
}

void TArCntrl::SetNumOfArry(int value) {
    value = std::max(value, 0);  // a negative count means none
    if (value == Num) return;
    if (!Parent) Parent = Owner;
    if (value > Num) {
        int x = DesignPos.x() + 15, y = DesignPos.y() - 30;
        if (Num > 0 && Items.last()) {
            x = Items.last()->x();
            y = Items.last()->y();
        }
        for (int k = Num + 1; k <= value; ++k) {
            QWidget* c = CreateCntrl(k, Owner);
            std::string name = ElementName(objectName().toStdString(), k, [this](const std::string& n) {
                return NameTaken(Owner, QString::fromStdString(n));
            });
            c->setObjectName(QString::fromStdString(name));
            const QSize client = Parent->contentsRect().size();
            TArrPoint p = CascadePositions(x, y, 1, c->width(), c->height(), client.width(), client.height())[0];
            c->move(p.X, p.Y);
            x = p.X;
            y = p.Y;
            c->setParent(Parent);
            AddCntrl(c);
        }
        return;
    }
    // The places beyond value go, the last first.  A control that still
    // stands at a place that stays (added twice) is still an element and
    // is not freed; one freed here leaves every place it held.
    while (Num > value && Num <= Items.size()) {
        QPointer<QWidget> c = Items[Num - 1];
        Delete(Num - 1);
        if (c && !Items.contains(c)) delete c.data();
    }
}

void TArCntrl::SetArryParent(QWidget* value) {
    if (!value) value = Owner;
    if (value == Parent) return;
    for (const auto& c : Items)
        if (c && (c->parent() == value->parent() || c->parent() == Owner)) c->setParent(value);
    if (Parent) Parent->update();
    Parent = value;
    value->update();
}

bool TArCntrl::SetCntrlEvents(QWidget* c) {
    if (!c) return false;
    if (Watchers.contains(c)) return true;  // hooked already: its events come once
    c->installEventFilter(this);
    // The element's own click handlers are replaced by the array's.
    if (auto* b = qobject_cast<QAbstractButton*>(c)) {
        QObject::disconnect(b, &QAbstractButton::clicked, nullptr, nullptr);
        connect(b, &QAbstractButton::clicked, this, [this, b] { OnClick(b, IndexOf(b)); });
    }
    if (auto* e = qobject_cast<QLineEdit*>(c))
        connect(e, &QLineEdit::textChanged, this, [this, e] { OnChange(e, IndexOf(e)); });
    auto* focus = new TFocusEvents(c);
    focus->setObjectName(QStringLiteral("ArrayFocus"));
    focus->OnEnter = [this](QWidget* w) { OnEnter(w, IndexOf(w)); };
    focus->OnExit = [this](QWidget* w) { OnExit(w, IndexOf(w)); };
    Watchers.insert(c, focus);
    // An element freed elsewhere leaves the array (every place it held);
    // later ones move down.
    connect(c, &QObject::destroyed, this, [this](QObject* o) {
        for (auto it = Watchers.begin(); it != Watchers.end();)
            it = static_cast<QObject*>(it.key()) == o ? Watchers.erase(it) : std::next(it);
        for (int i = 0; i < Items.size();)
            if (Items[i].isNull() || Items[i] == o) {
                Items.removeAt(i);
                --Num;
            } else {
                ++i;
            }
    });
    return true;
}

void TArCntrl::ClearCntrlEvents(QWidget* c) {
    if (!c) return;
    c->removeEventFilter(this);
    QObject::disconnect(c, nullptr, this, nullptr);
    delete Watchers.take(c).data();
}

bool TArCntrl::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    const int index = IndexOf(w);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(event);
            OnMouseDown(w, index, m->button(), m->modifiers(), int(m->position().x()), int(m->position().y()));
            break;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(event);
            OnMouseUp(w, index, m->button(), m->modifiers(), int(m->position().x()), int(m->position().y()));
            // Controls that are no buttons are clicked by a release inside
            // them, except the release that ends a double click.
            const bool endsDouble = DoubleClicked == w;
            DoubleClicked = nullptr;
            if (!qobject_cast<QAbstractButton*>(w) && m->button() == Qt::LeftButton && !endsDouble &&
                w->rect().contains(m->position().toPoint()))
                OnClick(w, index);
            break;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) DoubleClicked = w;
            OnDblClick(w, index);
            break;
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(event);
            OnMouseMove(w, index, m->modifiers(), int(m->position().x()), int(m->position().y()));
            break;
        }
        case QEvent::KeyPress: {
            if (Resending) break;  // our own delivery of a key a handler changed
            auto* k = static_cast<QKeyEvent*>(event);
            int key = k->key();
            OnKeyDown(w, index, key, k->modifiers());
            QString text = k->text();
            // A return-key edit swallows Enter before its key-press handlers see it.
            auto* ret = qobject_cast<TRetEdit*>(w);
            const bool swallowed =
                ret && ret->ReturnNext && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter);
            if (!text.isEmpty() && !swallowed) OnKeyPress(w, index, text);
            if (key == 0 || (!k->text().isEmpty() && text.isEmpty())) return true;  // the handler ate it
            if (key != k->key() || text != k->text()) {
                // The element gets the key as the handlers left it, not the original.
                QKeyEvent changed(QEvent::KeyPress, key, k->modifiers(), text, k->isAutoRepeat(),
                                  static_cast<quint16>(k->count()));
                Resending = true;
                QCoreApplication::sendEvent(w, &changed);
                Resending = false;
                return true;
            }
            break;
        }
        case QEvent::KeyRelease: {
            auto* k = static_cast<QKeyEvent*>(event);
            int key = k->key();
            OnKeyUp(w, index, key, k->modifiers());
            break;
        }
        case QEvent::ContextMenu: {
            bool handled = false;
            OnContextPopup(this, index, static_cast<QContextMenuEvent*>(event)->pos(), handled);
            if (handled) return true;
            break;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

TEventSetThread& TEventSetThread::Instance() {
    static TEventSetThread worker;
    return worker;
}

TEventSetThread::TEventSetThread() {
    Timer.setInterval(50);
    connect(&Timer, &QTimer::timeout, this, [this] {
        for (int i = 0; i < Hooks.size();) {
            if (Hooks[i]())
                Hooks.removeAt(i);
            else
                ++i;
        }
        if (Hooks.isEmpty()) Timer.stop();
    });
}

void TEventSetThread::Add(std::function<bool()> hook) {
    Hooks.append(std::move(hook));
    if (!Timer.isActive()) Timer.start();
}
