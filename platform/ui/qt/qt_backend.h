// The Qt backend: forms, message boxes, pointer, clipboard, program start and end.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <memory>
#include <vector>

#include "ui/backend.h"
#include "ui/form_registry.h"

namespace qm::qt {

class QtForm;

class QtBackend : public Backend {
 public:
  // Uses the running QApplication, or makes one from the arguments.
  QtBackend(int& argc, char** argv, std::string appTitle);
  ~QtBackend() override;

  std::unique_ptr<Form> createForm(const FormLayout& layout) override;
  int messageBox(std::string_view text, int style, std::string_view title) override;
  void setMousePointer(int pointer) override;
  void setClipboardText(std::string_view text) override;
  void run() override;

  bool busy() const { return busy_; }
  // The forms made, which add and remove themselves.
  FormRegistry<QtForm>& forms() { return forms_; }
  std::vector<QtForm*> openForms() const { return forms_.open(); }
  // A closed form may leave the program with no window, which then ends once the running
  // handler has returned.
  void formClosed();
  // The window in front: the active one, else the newest visible one; or nullptr.
  QtForm* frontForm() const;
  void showOutcome(const CopyOutcome& outcome) override;
  // The line of the last copy's outcome, while a window shows it; or nullptr.
  QLabel* outcomeLine() const { return outcome_.data(); }

 protected:
  void quit() override;
  void sound() override;
  std::unique_ptr<BusyLoop> busyLoop() override;

 private:
  std::unique_ptr<QApplication> ownApp_;
  QObject guard_;  // ends queued checks with the backend
  FormRegistry<QtForm> forms_;
  bool busy_ = false;
  bool running_ = false;
  QPointer<QLabel> outcome_;  // owned by its window, which may close first
};

}  // namespace qm::qt
