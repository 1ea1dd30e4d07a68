// The drill's real main window for window tests, with its message boxes
// recorded instead of shown, and problem files written as the authoring
// tool writes them.
#pragma once

#include "main.h"
#include "qtext.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <QStringList>

#include <string>

class TestForm : public TForm1 {
public:
    using TForm1::TForm1;
    QStringList Messages;
    bool Answer = true;  // what a yes/no or OK/abort question is answered
    void ShowMessage(const std::string& t) override { Messages << Q(t); }
    void ShowInformation(const std::string& t) override { Messages << Q(t); }
    bool AskYesNo(const std::string& t) override {
        Messages << Q(t);
        return Answer;
    }
    bool WarnOkAbort(const std::string& t) override {
        Messages << Q(t);
        return Answer;
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
