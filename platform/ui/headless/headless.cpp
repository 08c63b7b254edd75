// The in-memory backend: controls, scripted message boxes and recorded effects.
#include "headless.h"

#include <algorithm>

#include "ui/filesystem.h"
#include "errors.h"
#include "ui/form_rules.h"
#include "ui/message_box.h"
#include "utf8.h"

namespace qm::headless {

// ---- text box -------------------------------------------------------------------------

std::string HTextBox::selectedText() const {
  return utf8Substr(text(), selStart(), selLength());
}

void HTextBox::typeCharacter(char c) {
  const std::string now = text();
  const int start = selStart();
  edit(utf8Substr(now, 0, start) + c + utf8Substr(now, start + selLength(), utf8Length(now)));
  setSelStart(start + 1);
}

// ---- drive and folder lists -----------------------------------------------------------

HDriveList::HDriveList(HeadlessBackend& backend) : DriveListCore(backend), backend_(backend) {
  if (!backend_.drives.empty()) startOn(backend_.drives.front().spec);
}

std::string HDriveList::selectDrive(std::string_view spec) {
  const Drive* d = backend_.findDrive(spec);
  if (!d) throw RuntimeError(err::kDeviceUnavailable, spec);
  return d->spec;
}

HDirList::HDirList(HeadlessBackend& backend) : DirListCore(backend), backend_(backend) {
  if (!backend_.drives.empty()) startAt(backend_.drives.front().currentFolder);
}

namespace {

// A folder path without a trailing separator, except a root's ("C:\", "/").
std::string withoutTrailingSeparator(std::string_view path) {
  std::string out(path);
  const auto isRoot = [](const std::string& p) {
    return p.size() == 1 || (p.size() == 3 && p[1] == ':');
  };
  while (!out.empty() && (out.back() == '\\' || out.back() == '/') && !isRoot(out)) out.pop_back();
  return out;
}

}  // namespace

std::string HDirList::openFolder(std::string_view path) {
  std::string target = withoutTrailingSeparator(path);
  if (driveSpecOf(path).size() == path.size()) {
    if (const Drive* d = backend_.findDrive(path)) {
      if (!d->ready) throw RuntimeError(err::kDeviceUnavailable, path);
      target = d->currentFolder;
    }
  }
  if (backend_.folders.empty()) {
    subfolders_.clear();
    return target;
  }
  auto it = backend_.folders.find(target);
  if (it == backend_.folders.end()) throw RuntimeError(err::kPathNotFound, path);
  subfolders_ = it->second;
  return target;
}

// ---- form -----------------------------------------------------------------------------

HForm::HForm(HeadlessBackend& backend, const FormLayout& layout)
    : FormCore(backend, layout), backend_(backend) {
  buildControls([&backend](const ControlRow& row) -> std::unique_ptr<Control> {
    switch (row.type) {
      case ControlType::Label: return std::make_unique<HLabel>(row);
      case ControlType::CommandButton: return std::make_unique<HButton>();
      case ControlType::TextBox: return std::make_unique<HTextBox>(backend);
      case ControlType::DriveListBox: return std::make_unique<HDriveList>(backend);
      case ControlType::DirListBox: return std::make_unique<HDirList>(backend);
    }
    return nullptr;
  });
  backend_.forms_.push_back(this);
}

HForm::~HForm() {
  std::erase(backend_.forms_, this);
}

void HForm::click(std::string_view name) {
  CommandButton& b = button(name);
  backend_.dispatch([&] {
    if (b.Click) b.Click();
  });
}

void HForm::pressEnter() {
  if (const ControlRow* target = enterTarget(layout(), focused())) click(target->name);
}

void HForm::pressKey(char letter) {
  if (const ControlRow* row = findControl(layout(), focused());
      row && row->type == ControlType::TextBox)
    text(row->name).typeCharacter(letter);
}

void HForm::pressAltKey(char letter) {
  const ControlRow* row = accessKeyControl(layout(), letter);
  if (!row) return;
  if (row->type == ControlType::CommandButton)
    click(row->name);
  else
    focus(row->name);
}

const ControlRow* HForm::controlAt(int x, int y) const {
  for (const ControlRow& row : layout().controls)
    if (x >= row.left && x < row.left + row.width && y >= row.top && y < row.top + row.height)
      return &row;
  return nullptr;
}

void HForm::mouseMoveTo(int x, int y) {
  if (controlAt(x, y)) return;
  backend_.dispatch([&] {
    if (MouseMove) MouseMove(0, 0, static_cast<float>(x), static_cast<float>(y));
  });
}

// The first point of a 15-twip grid, row by row, that no control covers.
void HForm::mouseMoveOverSurface() {
  for (int y = 0; y < layout().clientHeight; y += 15)
    for (int x = 0; x < layout().clientWidth; x += 15)
      if (!controlAt(x, y)) return mouseMoveTo(x, y);
}

void HForm::mouseMoveOverControl(std::string_view name) {
  const ControlRow* row = findControl(layout(), name);
  if (!row) throw RuntimeError(err::kInvalidCall, name);
  mouseMoveTo(row->left + row->width / 2, row->top + row->height / 2);
}

void HForm::type(std::string_view name, std::string_view value) {
  text(name).edit(std::string(value));
}

void HForm::focus(std::string_view name) {
  const ControlRow* row = findControl(layout(), name);
  if (!row || row->type == ControlType::Label) throw RuntimeError(err::kInvalidCall, name);
  focusArrived(name);
}

void HForm::pickDrive(std::string_view list, std::string_view spec) {
  control<HDriveList>(list).pick(std::string(spec));
}

void HForm::openFolder(std::string_view list, std::string_view path) {
  control<HDirList>(list).open(std::string(path));
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
  return nextAnswer(box);
}

// Esc gives the box's escape answer, or is ignored; an answer the box cannot give is a
// fault of the script.
int HeadlessBackend::nextAnswer(const BoxRecord& box) {
  const std::vector<int> offered = mb::boxAnswers(box.style);
  while (!answers_.empty() && answers_.front() == kEscape) {
    answers_.pop_front();
    if (const int escape = mb::boxEscapeAnswer(box.style)) return escape;
  }
  if (answers_.empty()) {
    unexpectedBoxes.push_back(box);
    return offered.front();
  }
  const int code = answers_.front();
  answers_.pop_front();
  if (std::find(offered.begin(), offered.end(), code) == offered.end()) {
    unexpectedBoxes.push_back(box);
    return offered.front();
  }
  return code;
}

void HeadlessBackend::setMousePointer(int value) {
  pointer = value;
  pointerHistory.push_back(value);
}

void HeadlessBackend::setClipboardText(std::string_view text) {
  clipboard = text;
}

void HeadlessBackend::startProgram(std::string_view fileName, int windowStyle) {
  auto it = programs.find(fileName);
  if (it == programs.end()) throw RuntimeError(err::kFileNotFound, fileName);
  if (it->second != 0) throw RuntimeError(it->second, fileName);
  started.push_back({std::string(fileName), windowStyle});
}

std::unique_ptr<FileSystemObject> HeadlessBackend::makeFileSystemObject() {
  return objectFactory ? objectFactory() : nullptr;
}

HForm* HeadlessBackend::form(std::string_view name) const {
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
    if ((*it)->layout().name == name && (*it)->isOpen()) return *it;
  return nullptr;
}

const Drive* HeadlessBackend::findDrive(std::string_view spec) const {
  const std::string wanted = driveSpecOf(spec);
  for (const Drive& d : drives)
    if (d.spec == wanted) return &d;
  return nullptr;
}

void HeadlessBackend::quit() {
  for (HForm* f : forms_) f->close();
}

// The newest shown window takes the progress, in the free band of its layout.
void HeadlessBackend::runBusy(const std::function<void()>& work, const CopyProgress& progress) {
  ++busyRuns;
  busyForm.clear();
  shownArea_ = {};
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) {
    if (!(*it)->shown() || !(*it)->isOpen()) continue;
    const FormLayout& layout = (*it)->layout();
    std::vector<Rect> controls;
    for (const ControlRow& row : layout.controls)
      controls.push_back({row.left, row.top, row.width, row.height});
    busyForm = layout.name;
    shownArea_ = qm::progressArea(controls, layout.clientWidth, layout.clientHeight, 30, 330);
    break;
  }
  shownProgress_ = &progress;
  struct Hide {
    HeadlessBackend& b;
    ~Hide() {
      b.shownProgress_ = nullptr;
      b.shownArea_ = {};
    }
  } hide{*this};
  work();
}

void HeadlessBackend::showOutcome(const CopyOutcome& shown) {
  outcome = shown;
  outcomeForm.clear();
  for (auto it = forms_.rbegin(); it != forms_.rend() && !shown.empty(); ++it) {
    if (!(*it)->shown() || !(*it)->isOpen()) continue;
    outcomeForm = (*it)->layout().name;
    break;
  }
}

Rect HeadlessBackend::progressArea() const {
  return shownArea_;
}

std::string HeadlessBackend::progressLine() const {
  return shownProgress_ ? progressText(readProgress(*shownProgress_)) : std::string();
}

}  // namespace qm::headless
