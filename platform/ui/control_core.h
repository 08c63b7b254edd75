// The control values every toolkit keeps alike; a toolkit adds only how it shows them.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "backend.h"
#include "controls.h"

namespace qm {

// A label's caption, cut at the first NUL.
class LabelCore : public Label {
 public:
  std::string caption() const final { return caption_; }
  void setCaption(std::string_view caption) final;

 protected:
  explicit LabelCore(const ControlRow& row) : caption_(row.caption), design_(row) {}
  // Shows the caption (the toolkit's own drawing and sizing).
  virtual void showCaption(const std::string& caption) = 0;
  // Shows a new tooltip (see labelToolTip), for a label designed with one.
  virtual void showToolTip(const std::string& tip) = 0;

 private:
  std::string caption_;
  ControlRow design_;  // as the table gives it
};

// A text box's text and selection. The text is kept here, so that Change fires only on a
// real change, whoever made it; selections are counted in characters here and in UTF-16
// positions by the toolkit.
class TextBoxCore : public TextBox {
 public:
  std::string text() const final { return text_; }
  // A program change: Change is raised directly, so that its errors reach the caller.
  void setText(std::string_view text) final;
  int selStart() const final;
  int selLength() const final;
  void setSelStart(int start) final;
  void setSelLength(int length) final;

 protected:
  explicit TextBoxCore(Backend& backend) : backend_(backend) {}
  // The user edited the box to `now`: Change through the dispatcher, on a real change.
  void userEdited(std::string now);
  // Puts the text into the toolkit's control without its own change notice.
  virtual void showText(const std::string& text) = 0;
  // The selection in UTF-16 positions, start first; a caret alone is an empty selection.
  virtual std::pair<int, int> selectionUnits() const = 0;
  virtual void selectUnits(int from, int to) = 0;

 private:
  Backend& backend_;
  std::string text_;
};

// The drive of a drive list; Change only when the drive really changes.
class DriveListCore : public DriveListBox {
 public:
  std::string drive() const final { return drive_; }
  void setDrive(std::string_view spec) final;

 protected:
  explicit DriveListCore(Backend& backend) : backend_(backend) {}
  void startOn(std::string drive) { drive_ = std::move(drive); }
  // The user picked a drive: the change goes through the dispatcher.
  void userPicked(std::string spec);
  // Selects the drive of `spec` in the toolkit's list and returns its spec as the list
  // names it; a drive that cannot be selected throws RuntimeError 68.
  virtual std::string selectDrive(std::string_view spec) = 0;

 private:
  Backend& backend_;
  std::string drive_;
};

// The folder of a folder list; Change only when the folder really changes.
class DirListCore : public DirListBox {
 public:
  std::string path() const final { return path_; }
  void setPath(std::string_view path) final;

 protected:
  explicit DirListCore(Backend& backend) : backend_(backend) {}
  void startAt(std::string path) { path_ = std::move(path); }
  // The user opened a folder: the change goes through the dispatcher; one that cannot be
  // listed beeps and leaves the list as it was.
  void userOpened(std::string folder);
  // Lists and shows the folder that `path` names (a drive spec: that drive's current
  // folder) and returns its path; a folder that cannot be listed throws RuntimeError and
  // leaves the list as it was.
  virtual std::string openFolder(std::string_view path) = 0;
  // The same for a folder the user opened in the list: that folder itself, even where a
  // drive is named by a folder path (a volume's mount path).
  virtual std::string openListedFolder(const std::string& folder) { return openFolder(folder); }

 private:
  // Takes the folder now shown; Change when it differs.
  void take(std::string now);

  Backend& backend_;
  std::string path_;
};

}  // namespace qm
