// The engine's construction and the helpers its units share.
#include "main_engine.h"

#include "ini_text.h"
#include "messages.h"
#include "sjis.h"

#include <chrono>

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool LineBeginsWith(const std::string& line, const std::string& word) {
    return StartsWith(sjis::LowerAscii(sjis::Trim(line)), word);
}

std::vector<std::string> SplitTokens(const std::string& line, size_t n, bool lower) {
    std::vector<std::string> tokens;
    std::string rest = sjis::Trim(line);
    while (tokens.size() < n && !rest.empty()) {
        size_t sp = rest.find(' ');
        if (sp == std::string::npos) {
            tokens.push_back(rest);
            break;
        }
        tokens.push_back(rest.substr(0, sp));
        rest = sjis::Trim(rest.substr(sp + 1));
    }
    if (lower)
        for (auto& t : tokens) t = sjis::LowerAscii(t);
    return tokens;
}

TDrillEngine::TDrillEngine(IDrillView& view)
    : View(view),
      Rng(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
    Button1Caption_ = msg::CaptionAnswer();
}

int TDrillEngine::Random(int n) {
    return n <= 0 ? 0 : static_cast<int>(Rng() % static_cast<uint32_t>(n));
}

std::string TDrillEngine::LowerTrimmed(int line) const {
    return sjis::LowerAscii(sjis::Trim(ProblemLines[static_cast<size_t>(line)]));
}

bool TDrillEngine::IsQuestionKind(const std::string& kind) const {
    return StartsWith(kind, msg::KindQuestion());
}

int TDrillEngine::QuestionNumber(const std::string& kind) const {
    int n = 0;
    TIniFile::ParseInteger(kind.substr(msg::KindQuestion().size()), n);
    return n;
}
