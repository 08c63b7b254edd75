// The in-memory backend: controls are values, message boxes answer from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/control_core.h"
#include "ui/form_core.h"
#include "ui/progress_view.h"

namespace qm::headless {

class HeadlessBackend;

struct BoxRecord {
  std::string text;
  int style;
  std::string title;
};

struct StartRecord {
  std::string fileName;
  int windowStyle;
};

// A drive (root) as the headless drive list knows it.
struct Drive {
  std::string spec;           // "C:", "A:", ...
  std::string currentFolder;  // what the folder list shows when set to the drive
  bool ready = true;          // false: the folder list cannot list it
};

class HLabel : public LabelCore {
 public:
  explicit HLabel(const ControlRow& row) : LabelCore(row), toolTip_(row.toolTip) {}
  // The tooltip as the user would see it.
  const std::string& toolTip() const { return toolTip_; }

 protected:
  void showCaption(const std::string&) override {}
  void showToolTip(const std::string& tip) override { toolTip_ = tip; }

 private:
  std::string toolTip_;
};

class HButton : public CommandButton {};

// The selection is kept in UTF-16 positions, as the toolkits keep it.
class HTextBox : public TextBoxCore {
 public:
  explicit HTextBox(Backend& backend) : TextBoxCore(backend) {}
  // The selected characters.
  std::string selectedText() const;
  // What the user does: replaces the whole text; types one character over the selection.
  void edit(std::string text) { userEdited(std::move(text)); }
  void typeCharacter(char c);

 protected:
  void showText(const std::string&) override {}
  std::pair<int, int> selectionUnits() const override { return selection_; }
  void selectUnits(int from, int to) override { selection_ = {from, to}; }

 private:
  std::pair<int, int> selection_{0, 0};
};

class HDriveList : public DriveListCore {
 public:
  explicit HDriveList(HeadlessBackend& backend);
  void pick(std::string spec) { userPicked(std::move(spec)); }

 protected:
  std::string selectDrive(std::string_view spec) override;

 private:
  HeadlessBackend& backend_;
};

class HDirList : public DirListCore {
 public:
  explicit HDirList(HeadlessBackend& backend);
  void open(std::string folder) { userOpened(std::move(folder)); }
  // The subfolders shown below the folder.
  const std::vector<std::string>& subfolders() const { return subfolders_; }

 protected:
  std::string openFolder(std::string_view path) override;

 private:
  HeadlessBackend& backend_;
  std::vector<std::string> subfolders_;
};

class HForm : public FormCore {
 public:
  HForm(HeadlessBackend& backend, const FormLayout& layout);
  ~HForm() override;

  void close() override { markClosed(); }

  // What a user does, each entered through the dispatcher as a toolkit event would be.
  void click(std::string_view button);
  void pressEnter();              // presses the focused button, else the default button
  void pressKey(char letter);     // a plain letter: typed into a focused text box only
  void pressAltKey(char letter);  // an access key
  // The pointer moves to a point of the client area (twips): the window's MouseMove
  // fires only when no control lies there; a control takes the move itself.
  void mouseMoveTo(int x, int y);
  void mouseMoveOverSurface();
  void mouseMoveOverControl(std::string_view name);
  void type(std::string_view textBox, std::string_view text);
  void focus(std::string_view control);
  void pickDrive(std::string_view driveList, std::string_view spec);
  void openFolder(std::string_view dirList, std::string_view path);
  void closeByFrame();

  HTextBox& text(std::string_view name) { return control<HTextBox>(name); }
  int showCount() const { return showCount_; }

 protected:
  void showWindow(bool) override { ++showCount_; }
  void moveFocus(std::string_view) override {}

 private:
  // The topmost control whose design rectangle holds the point, or nullptr.
  const ControlRow* controlAt(int x, int y) const;

  HeadlessBackend& backend_;
  int showCount_ = 0;
};

class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(std::string appTitle);
  ~HeadlessBackend() override;

  std::unique_ptr<Form> createForm(const FormLayout& layout) override;
  int messageBox(std::string_view text, int style, std::string_view title) override;
  void setMousePointer(int pointer) override;
  void setClipboardText(std::string_view text) override;
  // Records the start instead of starting anything.
  void startProgram(std::string_view fileName, int windowStyle) override;
  void run() override {}

  // Script: the answers to the next message boxes, in order. A box shown with no answer
  // left, or scripted with a button it does not have, is recorded in unexpectedBoxes and
  // answered with its first button.
  void answer(int code) { answers_.push_back(code); }
  // Script: the user presses Esc on the next box (a box that ignores Esc takes the
  // answer scripted after it).
  void answerByEscape() { answers_.push_back(kEscape); }
  std::size_t answersLeft() const { return answers_.size(); }

  // The most recently created open window of that name, or nullptr.
  HForm* form(std::string_view name) const;

  // Recorded effects.
  std::vector<BoxRecord> boxes;
  std::vector<BoxRecord> unexpectedBoxes;
  std::vector<int> pointerHistory;  // every pointer value set, in order
  int pointer = kPointerDefault;
  std::string clipboard;
  std::vector<StartRecord> started;
  // Called for each box before it is answered (a test looks at the state then).
  std::function<void(const BoxRecord&)> onBox;

  // Programs that can be started, by bare file name; any other gives 53. A program
  // mapped to a non-zero number fails with that error instead.
  std::map<std::string, int, std::less<>> programs;

  // How the scripting object is made; a test sets it (without one, creating it fails
  // with error 429, as when the component is missing).
  std::function<std::unique_ptr<FileSystemObject>()> objectFactory;

  // Drives for the drive and folder lists; the first entry's is the current drive.
  std::vector<Drive> drives;
  // The drive that a spec names ("c:" and "C:\x" name "C:"), or nullptr.
  const Drive* findDrive(std::string_view spec) const;

  // The folders the folder list can open, each with its subfolders' names. Left empty,
  // every folder opens and has no subfolders; once filled, any other gives error 76.
  std::map<std::string, std::vector<std::string>, std::less<>> folders;

  // Busy runs run their work inline. While one goes on, the front window shows its
  // progress in progressArea() (twips) as progressLine(); both are empty otherwise.
  int busyRuns = 0;
  std::string busyForm;  // the window that showed the last run's progress
  // What the window in front shows of the last copy once it ended, and which window.
  CopyOutcome outcome;
  std::string outcomeForm;
  void showOutcome(const CopyOutcome& shown) override;
  Rect progressArea() const;
  std::string progressLine() const;

 protected:
  void quit() override;
  void runBusy(const std::function<void()>& work, const CopyProgress& progress) override;
  std::unique_ptr<FileSystemObject> makeFileSystemObject() override;

 private:
  friend class HForm;
  static constexpr int kEscape = -1;
  int nextAnswer(const BoxRecord& box);

  std::deque<int> answers_;
  std::vector<HForm*> forms_;
  const CopyProgress* shownProgress_ = nullptr;
  Rect shownArea_;
};

}  // namespace qm::headless
