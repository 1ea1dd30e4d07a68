#include "shellmenu_qt.h"

#include "japanese.h"
#include "shellicons.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace shell {

namespace {

const char* const CopiedFilesMime = "x-special/gnome-copied-files";

void FillQMenu(QMenu* q, const TMenu& menu) {
    for (const TMenu::TEntry& e : menu.Entries) {
        if (e.separator) {
            q->addSeparator();
        } else if (e.sub) {
            QMenu* sub = q->addMenu(ShellText(e.text));
            FillQMenu(sub, *e.sub);
            sub->setEnabled(e.enabled);
        } else {
            QAction* a = q->addAction(ShellText(e.text));
            a->setData(e.id);
            a->setEnabled(e.enabled);
        }
    }
}

QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// The progress of a long copy in a dialog with a cancel button, shown once
// the copy has taken a moment.  From then on the application handles its
// events between the blocks, so its windows stay drawn, while the dialog's
// modality keeps every input, a window's close included, to itself: no
// window goes away under the command that copies.
class TCopyProgressDialog : public ICopyProgress {
public:
    explicit TCopyProgressDialog(int showAfterMs) : showAfter_(showAfterMs) { clock_.start(); }
    ~TCopyProgressDialog() override { delete dialog_.data(); }

    bool Step(uint64_t done, uint64_t total) override {
        if (stopped_) return false;
        const qint64 now = clock_.elapsed();
        if (now - last_ < 40 && done < total) return true;  // about 25 times a second
        last_ = now;
        if (!shown_ && now >= showAfter_) Show();
        if (!shown_) return true;
        if (dialog_) dialog_->setValue(total ? static_cast<int>(done * 1000 / total) : 1000);
        QCoreApplication::processEvents();
        // Cancelled, or gone with its window: the copy stops.
        if (shown_ && (!dialog_ || dialog_->wasCanceled())) stopped_ = true;
        return !stopped_;
    }

private:
    void Show() {
        shown_ = true;
        dialog_ = new QProgressDialog(QString::fromUtf8("ファイルをコピーしています..."), QString::fromUtf8("キャンセル"), 0,
                                      1000, QApplication::activeWindow());
        dialog_->setObjectName(QStringLiteral("CopyProgress"));
        dialog_->setWindowTitle(QString::fromUtf8("コピー"));
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setMinimumDuration(0);
        dialog_->show();
    }

    QPointer<QProgressDialog> dialog_;
    QElapsedTimer clock_;
    qint64 last_ = -1000;
    int showAfter_;
    bool shown_ = false;
    bool stopped_ = false;
};

}  // namespace

std::unique_ptr<ICopyProgress> NewCopyProgress(int showAfterMs) {
    return std::make_unique<TCopyProgressDialog>(showAfterMs);
}

void InstallDesktopShellHooks() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    TShellMenuHooks h;
    h.OpenDocument = [](const std::string& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(Utf8(path)));
    };
    h.StartProgram = [](const std::string& program, const std::vector<std::string>& args) {
        QStringList list;
        for (const std::string& a : args) list << Utf8(a);
        return QProcess::startDetached(Utf8(program), list);
    };
    h.SetClipboard = [](const TClipItems& items) {
        if (QClipboard* c = QGuiApplication::clipboard()) c->setMimeData(PathsMimeData(items.paths, items.cut));
    };
    h.GetClipboard = [](TClipItems& items) {
        items = TClipItems();
        QClipboard* c = QGuiApplication::clipboard();
        if (!c) return false;
        items.paths = MimeDataPaths(c->mimeData(), &items.cut);
        return true;
    };
    h.ConfirmDelete = [](const std::vector<std::string>& paths) {
        QString text = QString::fromUtf8("ごみ箱に移動できません。完全に削除しますか?\n");
        for (size_t i = 0; i < paths.size() && i < 10; ++i) text += "\n" + Utf8(paths[i]);
        if (paths.size() > 10) text += "\n...";
        QMessageBox box(QMessageBox::Question, QString::fromUtf8("削除"), text, QMessageBox::Yes | QMessageBox::No,
                        QApplication::activeWindow());
        box.setDefaultButton(QMessageBox::No);
        JapaneseButtons(box);
        return box.exec() == QMessageBox::Yes;
    };
    h.BeginCopy = [] { return NewCopyProgress(); };
    SetShellMenuHooks(h);
}

QMenu* BuildQMenu(const TMenu& menu, QWidget* parent) {
    QMenu* q = new QMenu(parent);
    FillQMenu(q, menu);
    return q;
}

unsigned ExecShellMenu(const TMenu& menu, QWidget* owner, const QPoint& screenPoint) {
    QMenu* q = BuildQMenu(menu, owner);
    QAction* a = q->exec(screenPoint);
    unsigned id = a ? a->data().toUInt() : 0;
    delete q;
    return id;
}

QMimeData* PathsMimeData(const std::vector<std::string>& paths, bool cut) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    QByteArray copied = cut ? "cut" : "copy";
    QString text;
    for (const std::string& p : paths) {
        QUrl u = QUrl::fromLocalFile(Utf8(p));
        urls << u;
        copied += "\n" + u.toEncoded();
        if (!text.isEmpty()) text += "\n";
        text += Utf8(p);
    }
    data->setUrls(urls);
    if (!paths.empty()) data->setData(CopiedFilesMime, copied);
    data->setText(text);
    return data;
}

std::vector<std::string> MimeDataPaths(const QMimeData* data, bool* cut) {
    std::vector<std::string> out;
    if (cut) *cut = false;
    if (!data || !data->hasUrls()) return out;
    for (const QUrl& u : data->urls()) {
        if (!u.isLocalFile()) continue;
        QString p = u.toLocalFile();
        if (!p.isEmpty()) out.push_back(p.toStdString());
    }
    if (cut && data->hasFormat(CopiedFilesMime))
        *cut = data->data(CopiedFilesMime).startsWith("cut\n");
    return out;
}

}  // namespace shell
