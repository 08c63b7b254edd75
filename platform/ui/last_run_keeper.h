// What a program keeps of the last copy run of its job: the file it goes to, the line shown.
#pragma once

#include <string>
#include <string_view>

namespace qm {

class Backend;
struct LastRun;

// Each backend holds one. The window that shows a job hands it the last-run file and the job
// on every load and refresh; each copy run that ends is written to that file.
class LastRunKeeper {
 public:
  explicit LastRunKeeper(Backend& ui) : ui_(ui) {}

  // Shows the last run kept in `file` where a copy's outcome stands on the window in front,
  // when it is a run of the job `source` → `destination`; takes it off again when the file
  // or the job changes to hold none. Once a copy has run in this program, that copy's
  // outcome stands instead and this shows nothing. The window is touched only when the
  // line changes; while the program's first window is still loading, the line waits for it
  // to be shown, so that it is placed among the controls as they are shown.
  void show(std::string file, std::string_view source, std::string_view destination);

  // The program's first window has been shown: a line that waited for it shows now.
  void windowShown();

  // After a copy run that ended (complete or failed): writes it to the file last handed
  // to show(), where there is one. A file that cannot be written is passed over.
  void record(const LastRun& run);

 private:
  Backend& ui_;
  std::string file_;
  // The line and the list behind it as shown (or waiting to be); empty while none is.
  std::string line_, details_;
  bool windowShown_ = false;
  bool copied_ = false;
};

}  // namespace qm
