// The services of a toolkit backend, and the dispatcher that runs event handlers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "controls.h"
#include "last_run_keeper.h"
#include "layout.h"

namespace qm {

class FileSystemObject;
struct CopyProgress;
struct CopyOutcome;

// Message box styles and answers (the Win32 values).
namespace mb {
inline constexpr int kOk = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kIconError = 16;
inline constexpr int kIconQuestion = 32;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerRetry = 4;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
}  // namespace mb

// The application-wide mouse pointer.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

// Window style for a started program: normal, with the focus.
inline constexpr int kNormalFocus = 1;

// A toolkit's side of a busy run: made as the run begins, and destroyed once it has
// ended. The run's work goes on on a thread of its own meanwhile.
class BusyLoop {
 public:
  virtual ~BusyLoop() = default;
  // From the work's thread, once the work has ended: wait() returns soon.
  virtual void wake() = 0;
  // Handles the window system's messages, input dropped, for up to `ms` or until wake().
  virtual void wait(int ms) = 0;
  // Shows how far `progress` is on the window in front: the first call puts it there
  // (after the delay), the later ones read the counters again.
  virtual void showProgress(const CopyProgress& progress) = 0;
  // After the work: input that came as it ended is dropped, the progress taken off.
  virtual void end() = 0;
};

class Backend {
 public:
  explicit Backend(std::string appTitle) : appTitle_(std::move(appTitle)) {}
  virtual ~Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // A hidden window with its controls at their design values.
  virtual std::unique_ptr<Form> createForm(const FormLayout& layout) = 0;
  // A modal box; returns the answer code.
  virtual int messageBox(std::string_view text, int style, std::string_view title) = 0;
  virtual void setMousePointer(int pointer) = 0;
  virtual void setClipboardText(std::string_view text) = 0;
  // Starts a program by its bare file name, not waiting for it; 53 when it is missing.
  // The window style asks for a normal window with the focus, which is what a newly
  // started program gets anyway.
  virtual void startProgram(std::string_view fileName, int windowStyle);
  // The scripting object by its programmatic identifier; 429 for any other, or when the
  // object cannot be made.
  std::unique_ptr<FileSystemObject> createObject(std::string_view progId);
  // Runs the event loop until the program ends.
  virtual void run() = 0;
  // The toolkit's warning sound, where the user asked for what cannot be done; counted.
  void beep() {
    ++beeps_;
    sound();
  }
  int beeps() const { return beeps_; }

  const std::string& appTitle() const { return appTitle_; }
  bool ended() const { return ended_; }

  // Runs an event handler entered from the toolkit. A ProgramEnd closes every window
  // and leaves the loop; an unhandled RuntimeError is reported first. After the end,
  // and while a busy run goes on, no handler runs.
  void dispatch(const std::function<void()>& handler);

  // Runs `work` to its end, returning only then and rethrowing what it threw. Meanwhile
  // the program's windows keep painting and answering the system, the window in front
  // shows how far `progress` is, and no input reaches them: clicks, keys and close
  // requests are dropped, not kept for later, and no handler is dispatched.
  void runWhileBusy(const std::function<void()>& work, const CopyProgress& progress);
  bool busyRunning() const { return busyRunning_; }

  // Shows what became of a copy where its progress was, on the window in front, until
  // the next copy begins; an empty outcome takes the last one off. The line can be read
  // by screen readers, and the whole list is a hover away.
  virtual void showOutcome(const CopyOutcome& outcome) = 0;

  // The last copy run of the job a window shows: shown where the outcome stands until a
  // copy runs, and written after each run (see last_run_keeper.h).
  LastRunKeeper& lastRun() { return lastRun_; }

 protected:
  // Closes every window and leaves the event loop.
  virtual void quit() = 0;
  // The warning sound of beep(); none here.
  virtual void sound() {}
  // The work of runWhileBusy: on a thread of its own, while the toolkit's loop turns on
  // this one, or on this thread when the toolkit has no loop for it.
  virtual void runBusy(const std::function<void()>& work, const CopyProgress& progress);
  // The toolkit's loop for a busy run; this one has none.
  virtual std::unique_ptr<BusyLoop> busyLoop() { return nullptr; }
  // The file-system object, or null when it cannot be made. This one copies on the
  // disk, each folder copy in a busy run.
  virtual std::unique_ptr<FileSystemObject> makeFileSystemObject();

 private:
  std::string appTitle_;
  bool ended_ = false;
  int beeps_ = 0;
  bool busyRunning_ = false;
  LastRunKeeper lastRun_{*this};
};

}  // namespace qm
