// The control contract on the headless backend, with its scratch tree in memory.
#include "contract_suite_windows.h"
#include "ui/form_rules.h"
#include "ui/headless/headless.h"

namespace qm::contract {
namespace {

using headless::HeadlessBackend;
using headless::HForm;

class HeadlessDriver {
 public:
  HeadlessDriver() {
    ui_.folders = {{"C:\\", {"scratch"}},       {"C:\\scratch", {"a", "b", "日本語"}},
                   {"C:\\scratch\\a", {}},      {"C:\\scratch\\b", {}},
                   {"C:\\scratch\\日本語", {}}, {"A:\\", {}}};
  }
  Backend& ui() { return ui_; }
  Form& make(const FormLayout& layout) { return forms_.make(ui_, layout); }
  Form& show(const FormLayout& layout) {
    Form& f = make(layout);
    f.show();
    return f;
  }
  void type(Form& f, std::string_view box, std::string_view text) { h(f).type(box, text); }
  void tab(Form& f) {
    const std::vector<const ControlRow*> order = tabOrder(h(f).layout());
    for (std::size_t i = 0; i < order.size(); ++i)
      if (order[i]->name == h(f).focused()) return h(f).focus(order[(i + 1) % order.size()]->name);
  }
  void enter(Form& f) { h(f).pressEnter(); }
  void key(Form& f, char c) { h(f).pressKey(c); }
  void altKey(Form& f, char c) { h(f).pressAltKey(c); }
  void click(Form& f, std::string_view button) { h(f).click(button); }
  void closeByFrame(Form& f) { h(f).closeByFrame(); }
  void moveMouse(Form& f, int x, int y) { h(f).mouseMoveTo(x, y); }
  std::string focused(Form& f) { return h(f).focused(); }
  std::string shownCaption(Form& f, std::string_view label) {
    return qm::shownCaption(f.label(label).caption(),
                            showsAccessKey(*findControl(h(f).layout(), label)));
  }
  void onNextBox(const std::vector<int>& keys) {
    for (int k : keys) k == kEscape ? ui_.answerByEscape() : ui_.answer(k);
  }
  std::string startDrive() { return "C:"; }
  std::string otherDrive() { return "A:"; }
  std::string missingDrive() { return "Q:"; }
  std::string driveFolder(const std::string& spec) { return ui_.findDrive(spec)->currentFolder; }
  std::string scratch() { return "C:\\scratch"; }
  std::string child(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
  }
  std::vector<std::string> subfolders(Form& f, std::string_view list) {
    return h(f).control<headless::HDirList>(list).subfolders();
  }
  void open(Form& f, std::string_view list, std::string_view name) {
    h(f).openFolder(list, child(f.dirList(list).path(), std::string(name)));
  }
  void pick(Form& f, std::string_view list, std::string_view spec) { h(f).pickDrive(list, spec); }
  void vanish(const std::string& folder) { ui_.folders.erase(folder); }

 private:
  static HForm& h(Form& f) { return static_cast<HForm&>(f); }
  HeadlessBackend ui_{"QM(Quillmar)"};
  DriverForms forms_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Headless, ControlContract, HeadlessDriver);

}  // namespace
}  // namespace qm::contract
