// Control arrays: one set of event handlers for many controls of one
// class, each event reaching the handler with the element's index.
#pragma once

#include "component.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QTimer>

class TArCntrl : public QObject {
    Q_OBJECT
public:
    // owner holds the array; designPos is where it stands on its form (the
    // cascade of created elements starts from it); elementClass is the
    // class every element must be (or be a base of).
    TArCntrl(QWidget* owner, const QString& name, const QMetaObject* elementClass, QPoint designPos = {});
    ~TArCntrl() override;

    int NumOfArry() const { return Num; }
    void SetNumOfArry(int value);
    QWidget* ArryParent() const { return Parent; }
    void SetArryParent(QWidget* value);

    QWidget* Cntrls(int index) const;
    int IndexOf(const QWidget* c) const;
    int AddCntrl(QWidget* c);
    void Delete(int index);
    bool CanAccept(const QWidget* c) const;

    TEvent<QObject*, int> OnClick, OnDblClick;
    TEvent<QObject*, int, Qt::MouseButton, Qt::KeyboardModifiers, int, int> OnMouseDown, OnMouseUp;
    TEvent<QObject*, int, Qt::KeyboardModifiers, int, int> OnMouseMove;
    TEvent<QObject*, int> OnEnter, OnExit, OnChange;
    TEvent<QObject*, int, int&, Qt::KeyboardModifiers> OnKeyDown, OnKeyUp;
    TEvent<QObject*, int, QString&> OnKeyPress;
    TEvent<QObject*, int, QPoint, bool&> OnContextPopup;

protected:
    virtual QWidget* CreateCntrl(int number, QWidget* owner) = 0;
    // Hooks the element's events to the array; false for no control.
    virtual bool SetCntrlEvents(QWidget* c);
    virtual void ClearCntrlEvents(QWidget* c);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* Owner;
    QPointer<QWidget> Parent;
    const QMetaObject* CntrlClass;
    QPoint DesignPos;
    QList<QPointer<QWidget>> Items;
    // The focus watcher this array gave each hooked control (one per
    // control, however often it stands in the array); another array's
    // watcher on the same control is never touched.
    QHash<QWidget*, QPointer<TFocusEvents>> Watchers;
    int Num = 0;
    bool Resending = false;
    QPointer<QWidget> DoubleClicked;  // its next release ends a double click
};

// An array of controls of class C: the elements it makes are C, width x
// height when both are given, and it takes any control of C or of a base
// of C; Cntrls gives them as View.
template <class C, class View = C, int width = 0, int height = 0>
class TArrayOf : public TArCntrl {
public:
    TArrayOf(QWidget* owner, const QString& name, QPoint designPos = {})
        : TArCntrl(owner, name, &C::staticMetaObject, designPos) {}
    View* Cntrls(int index) const { return qobject_cast<View*>(TArCntrl::Cntrls(index)); }

protected:
    QWidget* CreateCntrl(int, QWidget* owner) override {
        auto* c = new C(owner);
        if (width > 0 && height > 0) c->resize(width, height);
        return c;
    }
};

// An element that was not there yet is hooked up later, on the
// user-interface thread, by a timer; never by a busy loop.
class TEventSetThread : public QObject {
    Q_OBJECT
public:
    static TEventSetThread& Instance();
    // Retries hook until it returns true.
    void Add(std::function<bool()> hook);
    int Pending() const { return Hooks.size(); }

private:
    TEventSetThread();
    QTimer Timer;
    QList<std::function<bool()>> Hooks;
};
