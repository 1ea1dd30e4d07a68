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

#include <algorithm>

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
        bytes_ = done;
        bytesTotal_ = total;
        return Tick(done >= total);
    }
    bool Item(uint64_t done, uint64_t total) override {
        items_ = done;
        itemsTotal_ = total;
        return Tick(total != 0 && done >= total);
    }
    // A phase that cannot be stopped: the dialog shows busy, and once the
    // copy is cancelled the windows are still drawn, though they take no
    // input until the command is over.
    void Busy() override {
        const qint64 now = clock_.elapsed();
        if (now - last_ < 40) return;
        last_ = now;
        if (!stopped_) {
            if (!shown_ && now >= showAfter_) Show();
            if (dialog_ && shown_) dialog_->setRange(0, 0);
            QCoreApplication::processEvents();
            if (shown_ && (!dialog_ || dialog_->wasCanceled())) stopped_ = true;
            return;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    // Called as often as the copy reports, by blocks or by items: the
    // dialog shows once the copy has taken showAfter_, whatever it holds.
    bool Tick(bool last) {
        if (stopped_) return false;
        const qint64 now = clock_.elapsed();
        if (now - last_ < 40 && !last) return true;  // about 25 times a second
        last_ = now;
        if (!shown_ && now >= showAfter_) Show();
        if (!shown_) return true;
        if (dialog_) {
            if (itemsTotal_ == 0 && items_ > 0 && bytesTotal_ == 0) {
                dialog_->setRange(0, 0);  // still counting: busy
            } else {
                dialog_->setRange(0, 1000);
                dialog_->setValue(Permille());
            }
        }
        QCoreApplication::processEvents();
        // Cancelled, or gone with its window: the copy stops.
        if (shown_ && (!dialog_ || dialog_->wasCanceled())) stopped_ = true;
        return !stopped_;
    }
    // Bytes and items count alike: a tree of empty files moves by its
    // items, one large file by its bytes.
    int Permille() const {
        const double b = bytesTotal_ ? static_cast<double>(bytes_) / static_cast<double>(bytesTotal_) : -1;
        const double i = itemsTotal_ ? static_cast<double>(items_) / static_cast<double>(itemsTotal_) : -1;
        double f = b < 0 ? i : i < 0 ? b : (b + i) / 2;
        if (f < 0) f = 1;
        return static_cast<int>(std::min(1.0, f) * 1000);
    }

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
    uint64_t bytes_ = 0, bytesTotal_ = 0, items_ = 0, itemsTotal_ = 0;
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
    h.ReportKept = [](const std::vector<std::string>& kept) {
        QString text = QString::fromUtf8("別のファイルシステムがマウントされているため、次のものは削除しませんでした。\n");
        for (size_t i = 0; i < kept.size() && i < 10; ++i) text += "\n" + Utf8(kept[i]);
        if (kept.size() > 10) text += "\n...";
        InformationBox(QApplication::activeWindow(), QString::fromUtf8("削除"), text);
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
