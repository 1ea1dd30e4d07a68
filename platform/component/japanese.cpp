#include "japanese.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodQueryEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QTimer>
#include <QTranslator>

namespace {

// Answers the input method's questions for a box that takes no
// composition: not enabled, Latin only, no prediction.  The box answers
// the rest itself.
class TInputMethodOff : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::FocusIn) {
            // The input method may still hold the answer of the box that had
            // the focus before (ibus asks only when the window's focus object
            // changes): it is told again, now and once the focus has settled.
            QGuiApplication::inputMethod()->update(Qt::ImEnabled | Qt::ImHints);
            QTimer::singleShot(0, this, [] { QGuiApplication::inputMethod()->update(Qt::ImEnabled | Qt::ImHints); });
            return false;
        }
        if (e->type() != QEvent::InputMethodQuery || Answering) return false;
        auto* query = static_cast<QInputMethodQueryEvent*>(e);
        Answering = true;
        watched->event(e);
        Answering = false;
        if (query->queries() & Qt::ImEnabled) query->setValue(Qt::ImEnabled, false);
        if (query->queries() & Qt::ImHints) {
            const auto hints = Qt::InputMethodHints(query->value(Qt::ImHints).toInt());
            query->setValue(Qt::ImHints, int(hints | Qt::ImhLatinOnly | Qt::ImhPreferLatin |
                                             Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase));
        }
        query->accept();
        return true;
    }

private:
    bool Answering = false;
};

// The application's style with "*" as the password character.
class TPasswordStarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Qt's Japanese catalogue.  The file dialog's type names ("Folder",
// "File") are asked for under a context that Qt 6 renamed; the catalogue
// still holds them under the file dialog's own.
class TQtJapanese : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
        QString t = QTranslator::translate(context, source, disambiguation, n);
        if (t.isEmpty() && qstrcmp(context, "QAbstractFileIconProvider") == 0)
            t = QTranslator::translate("QFileDialog", source, disambiguation, n);
        return t;
    }
};

}  // namespace

bool LoadQtJapanese() {
    static QPointer<QTranslator> loaded;
    if (loaded) return true;
    auto* t = new TQtJapanese(QCoreApplication::instance());
    if (!t->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    loaded = t;
    return true;
}

QString JapaneseButtonText(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok: return QStringLiteral("OK");
        case QMessageBox::Cancel: return QString::fromUtf8("キャンセル");
        case QMessageBox::Abort: return QString::fromUtf8("中止(&A)");
        case QMessageBox::Retry: return QString::fromUtf8("再試行(&R)");
        case QMessageBox::Ignore: return QString::fromUtf8("無視(&I)");
        case QMessageBox::Yes: return QString::fromUtf8("はい(&Y)");
        case QMessageBox::No: return QString::fromUtf8("いいえ(&N)");
        case QMessageBox::Close: return QString::fromUtf8("閉じる(&C)");
        case QMessageBox::Help: return QString::fromUtf8("ヘルプ(&H)");
        default: return QString();
    }
}

void JapaneseButtons(QMessageBox& box) {
    for (QAbstractButton* b : box.buttons()) {
        const QString text = JapaneseButtonText(box.standardButton(b));
        if (!text.isEmpty()) b->setText(text);
    }
}

void ShowPasswordStars(QLineEdit* edit) {
    // One style for every password box of the run, owned by the application.
    static QPointer<QStyle> stars;
    if (!stars) {
        stars = new TPasswordStarStyle;
        stars->setParent(QCoreApplication::instance());
    }
    edit->setStyle(stars);
    edit->setEchoMode(QLineEdit::Password);
}

void InformationBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

void InputMethodOff(QWidget* box) {
    if (box->property("inputMethodOff").toBool()) return;  // once a box
    box->setProperty("inputMethodOff", true);
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->setInputMethodHints(box->inputMethodHints() | Qt::ImhLatinOnly | Qt::ImhPreferLatin |
                             Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    box->installEventFilter(new TInputMethodOff(box));
    if (box->hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImEnabled | Qt::ImHints);
}
