// The in-memory backend: controls, scripted message boxes and recorded effects.
#include "headless.h"

#include <algorithm>

#include "errors.h"
#include "filesystem.h"
#include "utf8.h"

namespace qm::headless {

// ---- text box -------------------------------------------------------------------------

void HTextBox::setText(std::string_view text) {
  const std::string kept(text.substr(0, text.find('\0')));
  if (kept == text_) return;
  text_ = kept;
  selStart_ = 0;
  selLength_ = 0;
  if (Change) Change();
}

void HTextBox::setSelStart(int start) {
  selStart_ = std::clamp(start, 0, utf8Length(text_));
  selLength_ = 0;
}

void HTextBox::setSelLength(int length) {
  selLength_ = std::clamp(length, 0, utf8Length(text_) - selStart_);
}

std::string HTextBox::selectedText() const { return utf8Substr(text_, selStart_, selLength_); }

// ---- drive and folder lists -----------------------------------------------------------

HDriveList::HDriveList(HeadlessBackend& backend) : backend_(backend) {
  if (!backend_.drives.empty()) drive_ = backend_.drives.front().spec;
}

void HDriveList::setDrive(std::string_view spec) {
  const Drive* d = backend_.findDrive(spec);
  if (!d) throw RuntimeError(err::kDeviceUnavailable, spec);
  if (d->spec == drive_) return;
  drive_ = d->spec;
  if (Change) Change();
}

HDirList::HDirList(HeadlessBackend& backend) : backend_(backend) {
  if (!backend_.drives.empty()) path_ = backend_.drives.front().currentFolder;
}

void HDirList::setPath(std::string_view path) {
  std::string target(path);
  if (const Drive* d = backend_.findDrive(path)) {
    if (!d->ready) throw RuntimeError(err::kDeviceUnavailable, path);
    target = d->currentFolder;
  }
  if (target == path_) return;
  path_ = target;
  if (Change) Change();
}

// ---- form -----------------------------------------------------------------------------

HForm::HForm(HeadlessBackend& backend, const FormLayout& layout)
    : backend_(backend), layout_(layout) {
  for (const ControlRow& row : layout.controls) {
    const std::string name(row.name);
    switch (row.type) {
      case ControlType::Label:
        labels_[name] = std::make_unique<HLabel>();
        labels_[name]->setCaption(row.caption);
        break;
      case ControlType::CommandButton: buttons_[name] = std::make_unique<HButton>(); break;
      case ControlType::TextBox: textBoxes_[name] = std::make_unique<HTextBox>(); break;
      case ControlType::DriveListBox: drives_[name] = std::make_unique<HDriveList>(backend); break;
      case ControlType::DirListBox: dirs_[name] = std::make_unique<HDirList>(backend); break;
    }
  }
  backend_.forms_.push_back(this);
}

HForm::~HForm() { std::erase(backend_.forms_, this); }

template <class Map>
static auto& lookup(Map& map, std::string_view name) {
  auto it = map.find(name);
  if (it == map.end()) throw RuntimeError(err::kInvalidCall, name);
  return *it->second;
}

Label& HForm::label(std::string_view name) { return lookup(labels_, name); }
CommandButton& HForm::button(std::string_view name) { return lookup(buttons_, name); }
TextBox& HForm::textBox(std::string_view name) { return lookup(textBoxes_, name); }
DriveListBox& HForm::driveList(std::string_view name) { return lookup(drives_, name); }
DirListBox& HForm::dirList(std::string_view name) { return lookup(dirs_, name); }

void HForm::show() {
  ++showCount_;
  if (shown_) return;
  shown_ = true;
  // The control first in tab order that can take the focus receives it.
  const ControlRow* first = nullptr;
  for (const ControlRow& row : layout_.controls) {
    if (row.type == ControlType::Label) continue;
    if (!first || row.tabIndex < first->tabIndex) first = &row;
  }
  if (first) setFocus(first->name);
}

void HForm::close() {
  open_ = false;
  shown_ = false;
}

void HForm::setFocus(std::string_view name) {
  if (focused_ == name) return;
  focused_ = name;
  if (auto it = textBoxes_.find(name); it != textBoxes_.end() && it->second->GotFocus)
    it->second->GotFocus();
}

void HForm::click(std::string_view name) {
  CommandButton& b = button(name);
  backend_.dispatch([&] {
    if (b.Click) b.Click();
  });
}

void HForm::pressEnter() {
  for (const ControlRow& row : layout_.controls)
    if (row.other & kDefault) return click(row.name);
}

void HForm::mouseMoveOverSurface() {
  backend_.dispatch([&] {
    if (MouseMove) MouseMove(0, 0, 10.0f, 10.0f);
  });
}

void HForm::mouseMoveOverControl(std::string_view name) {
  (void)findControl(layout_, name);  // the control takes the move; the window sees nothing
}

void HForm::type(std::string_view name, std::string_view value) {
  TextBox& box = textBox(name);
  backend_.dispatch([&] { box.setText(value); });
}

void HForm::focus(std::string_view name) {
  backend_.dispatch([&] { setFocus(name); });
}

void HForm::pickDrive(std::string_view spec) {
  DriveListBox& list = driveList("Drive1");
  backend_.dispatch([&] { list.setDrive(spec); });
}

void HForm::openFolder(std::string_view path) {
  DirListBox& list = dirList("Dir1");
  backend_.dispatch([&] { list.setPath(path); });
}

void HForm::closeByFrame() {
  backend_.dispatch([&] {
    close();
    if (Closed) Closed();
  });
}

// ---- backend --------------------------------------------------------------------------

HeadlessBackend::HeadlessBackend(std::string appTitle) : Backend(std::move(appTitle)) {
  drives = {{"C:", "C:\\", true}, {"A:", "A:\\", true}};
}

HeadlessBackend::~HeadlessBackend() = default;

std::unique_ptr<Form> HeadlessBackend::createForm(const FormLayout& layout) {
  return std::make_unique<HForm>(*this, layout);
}

int HeadlessBackend::messageBox(std::string_view text, int style, std::string_view title) {
  BoxRecord box{std::string(text), style, std::string(title)};
  boxes.push_back(box);
  if (onBox) onBox(box);
  if (answers_.empty()) {
    unexpectedBoxes.push_back(box);
    return mb::kAnswerOk;
  }
  const int code = answers_.front();
  answers_.pop_front();
  return code;
}

void HeadlessBackend::setMousePointer(int value) {
  pointer = value;
  pointerHistory.push_back(value);
}

void HeadlessBackend::setClipboardText(std::string_view text) { clipboard = text; }

void HeadlessBackend::startProgram(std::string_view fileName, int windowStyle) {
  auto it = programs.find(fileName);
  if (it == programs.end()) throw RuntimeError(err::kFileNotFound, fileName);
  if (it->second != 0) throw RuntimeError(it->second, fileName);
  started.push_back({std::string(fileName), windowStyle});
}

std::unique_ptr<FileSystemObject> HeadlessBackend::createObject(std::string_view progId) {
  if (progId != kFileSystemObjectId) throw RuntimeError(err::kCannotCreateObject, progId);
  if (!objectFactory) throw RuntimeError(err::kCannotCreateObject, progId);
  return objectFactory();
}

HForm* HeadlessBackend::form(std::string_view name) const {
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
    if ((*it)->layout().name == name && (*it)->isOpen()) return *it;
  return nullptr;
}

const Drive* HeadlessBackend::findDrive(std::string_view spec) const {
  for (const Drive& d : drives)
    if (d.spec == spec) return &d;
  return nullptr;
}

void HeadlessBackend::quit() {
  for (HForm* f : forms_) f->close();
}

}  // namespace qm::headless
