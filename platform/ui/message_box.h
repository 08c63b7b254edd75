// The buttons of the message box styles and the answers they give, on every toolkit.
#pragma once

#include <vector>

namespace qm::mb {

// The answers of the Abort/Retry/Ignore set beside those the windows compare (backend.h).
inline constexpr int kAnswerAbort = 3;
inline constexpr int kAnswerIgnore = 5;

// The answers of a style's buttons, left to right (the Win32 sets); the first button is
// the box's default.
std::vector<int> boxAnswers(int style);

// The answer that Esc and the box's close button give, or 0 when the box ignores both:
// Cancel where the box has it, OK in a box with OK alone.
int boxEscapeAnswer(int style);

}  // namespace qm::mb
