// The in-memory backend: controls are values, message boxes answer from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backend.h"
#include "controls.h"

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

class HLabel : public Label {
 public:
  std::string caption() const override { return caption_; }
  void setCaption(std::string_view caption) override { caption_ = caption; }

 private:
  std::string caption_;
};

class HButton : public CommandButton {};

class HTextBox : public TextBox {
 public:
  std::string text() const override { return text_; }
  void setText(std::string_view text) override;
  int selStart() const override { return selStart_; }
  int selLength() const override { return selLength_; }
  void setSelStart(int start) override;
  void setSelLength(int length) override;
  // The selected characters.
  std::string selectedText() const;

 private:
  std::string text_;
  int selStart_ = 0;
  int selLength_ = 0;
};

class HDriveList : public DriveListBox {
 public:
  explicit HDriveList(HeadlessBackend& backend);
  std::string drive() const override { return drive_; }
  void setDrive(std::string_view spec) override;

 private:
  HeadlessBackend& backend_;
  std::string drive_;
};

class HDirList : public DirListBox {
 public:
  explicit HDirList(HeadlessBackend& backend);
  std::string path() const override { return path_; }
  void setPath(std::string_view path) override;

 private:
  HeadlessBackend& backend_;
  std::string path_;
};

class HForm : public Form {
 public:
  HForm(HeadlessBackend& backend, const FormLayout& layout);
  ~HForm() override;

  Label& label(std::string_view name) override;
  CommandButton& button(std::string_view name) override;
  TextBox& textBox(std::string_view name) override;
  DriveListBox& driveList(std::string_view name) override;
  DirListBox& dirList(std::string_view name) override;
  void show() override;
  void close() override;
  bool isOpen() const override { return open_; }
  void setFocus(std::string_view name) override;

  // What a user does, each entered through the dispatcher as a toolkit event would be.
  void click(std::string_view button);
  void pressEnter();  // presses the default button, if the window has one
  void mouseMoveOverSurface();
  void mouseMoveOverControl(std::string_view name);  // controls take the move: no event
  void type(std::string_view textBox, std::string_view text);
  void focus(std::string_view control);
  void pickDrive(std::string_view spec);
  void openFolder(std::string_view path);
  void closeByFrame();

  const FormLayout& layout() const { return layout_; }
  HTextBox& text(std::string_view name) { return *textBoxes_.at(std::string(name)); }
  bool shown() const { return shown_; }
  int showCount() const { return showCount_; }
  const std::string& focused() const { return focused_; }

 private:
  HeadlessBackend& backend_;
  const FormLayout& layout_;
  std::map<std::string, std::unique_ptr<HLabel>, std::less<>> labels_;
  std::map<std::string, std::unique_ptr<HButton>, std::less<>> buttons_;
  std::map<std::string, std::unique_ptr<HTextBox>, std::less<>> textBoxes_;
  std::map<std::string, std::unique_ptr<HDriveList>, std::less<>> drives_;
  std::map<std::string, std::unique_ptr<HDirList>, std::less<>> dirs_;
  bool open_ = true;
  bool shown_ = false;
  int showCount_ = 0;
  std::string focused_;
};

class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(std::string appTitle);
  ~HeadlessBackend() override;

  std::unique_ptr<Form> createForm(const FormLayout& layout) override;
  int messageBox(std::string_view text, int style, std::string_view title) override;
  void setMousePointer(int pointer) override;
  void setClipboardText(std::string_view text) override;
  void startProgram(std::string_view fileName, int windowStyle) override;
  std::unique_ptr<FileSystemObject> createObject(std::string_view progId) override;
  void run() override {}

  // Script: the answers to the next message boxes, in order. A box shown with no
  // answer left is recorded in unexpectedBoxes and answered with OK.
  void answer(int code) { answers_.push_back(code); }
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
  const Drive* findDrive(std::string_view spec) const;

 protected:
  void quit() override;

 private:
  friend class HForm;
  std::deque<int> answers_;
  std::vector<HForm*> forms_;
};

}  // namespace qm::headless
