// The answer line of a question, and judging an answer against it.  The
// input is the answer line, a line feed, then the learner's answer.
#include "fuzz_support.h"
#include "null_view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in = fuzz::Bytes(data, size);
    const size_t nl = in.find('\n');
    NullView view;
    TDrillEngine e(view);
    e.SetRandomSeed(1);
    e.ParseAnswerLine(in.substr(0, nl));
    e.Answering = true;
    view.Answer = nl == std::string::npos ? e.Answers[1] : in.substr(nl + 1);
    e.CheckAnswer();
    // Each answer button's caption, as pressing it would judge it.
    for (int i = 0; i < e.AnsBtnTag && i < kAnswerButtons; ++i) {
        view.Answer = e.AnsBtnCaptions[i];
        e.CheckAnswer();
    }
    SplitTokens(in, 6, true);
    return 0;
}
