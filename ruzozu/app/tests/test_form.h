// The drill's real main window for window tests: its message boxes are the
// real ones, answered by keys as a person answers them, and their texts are
// recorded; problem files are written as the authoring tool writes them.
#pragma once

#include "box_answerer.h"
#include "main.h"
#include "qtext.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

#include <algorithm>
#include <string>
#include <utility>

class TestForm : public TForm1 {
public:
    using TForm1::TForm1;
    QStringList Messages;
    bool Answer = true;  // what a yes/no or OK/abort question is answered
    TBoxAnswerer Boxes{this, &Answer};
    void ShowMessage(const std::string& t) override {
        Messages << Q(t);
        TForm1::ShowMessage(t);
    }
    void ShowInformation(const std::string& t) override {
        Messages << Q(t);
        TForm1::ShowInformation(t);
    }
    bool AskYesNo(const std::string& t) override {
        Messages << Q(t);
        return TForm1::AskYesNo(t);
    }
    bool WarnOkAbort(const std::string& t) override {
        Messages << Q(t);
        return TForm1::WarnOkAbort(t);
    }
};

// "p.qzb" in dir from UTF-8 lines: Shift-JIS, each line ended by CR LF.
inline std::string WriteProblem(const TempDir& dir, const char* utf8Lines) {
    std::string out;
    for (char c : sjis::L(utf8Lines)) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    textfile::WriteFileAtomic(dir / "p.qzb", out);
    return dir / "p.qzb";
}

// Writes each status text the drill shows into its panel (the problem
// file's caption, the mode words, counts up to the largest number of
// questions) and tells the first that does not fit, as "" when all do.
inline QString StatusTextCut(TestForm& f) {
    const std::pair<int, const char*> texts[] = {{0, "【問題ファイル】"}, {1, "テスト"}, {2, "ランダム"},
                                                 {3, "0/101"},          {3, "100/100"}, {3, "101/101"}};
    QString cut;
    for (const auto& [panel, text] : texts) {
        f.SetStatusText(panel, sjis::L(text));
        QLabel* l = f.StatusPanels[panel];
        const int room = l->contentsRect().width() - std::max(0, l->indent());
        const int needed = QFontMetrics(l->font()).horizontalAdvance(l->text());
        if (cut.isEmpty() && needed > room)
            cut = QStringLiteral("%1: %2 > %3").arg(l->text()).arg(needed).arg(room);
    }
    return cut;
}
