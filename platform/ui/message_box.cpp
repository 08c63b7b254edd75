// The buttons of the message box styles and the answers they give.
#include "message_box.h"

#include "backend.h"

namespace qm::mb {

namespace {
constexpr int kButtonSetMask = 0xF;
constexpr int kOkCancel = 1;
constexpr int kAbortRetryIgnore = 2;
constexpr int kYesNoCancel = 3;
}  // namespace

std::vector<int> boxAnswers(int style) {
  switch (style & kButtonSetMask) {
    case kOkCancel: return {kAnswerOk, kAnswerCancel};
    case kAbortRetryIgnore: return {kAnswerAbort, kAnswerRetry, kAnswerIgnore};
    case kYesNoCancel: return {kAnswerYes, kAnswerNo, kAnswerCancel};
    case kYesNo: return {kAnswerYes, kAnswerNo};
    case kRetryCancel: return {kAnswerRetry, kAnswerCancel};
    default: return {kAnswerOk};
  }
}

int boxEscapeAnswer(int style) {
  const std::vector<int> answers = boxAnswers(style);
  for (int answer : answers)
    if (answer == kAnswerCancel) return answer;
  return answers.size() == 1 ? answers.front() : 0;
}

}  // namespace qm::mb
