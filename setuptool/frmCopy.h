// The setup tool's settings window: the two path boxes, saving the job, the pickers.
#pragma once

#include <memory>
#include <string>

#include "ui/filesystem.h"
#include "frmPicker.h"
#include "ui/window.h"

namespace qm {

const FormLayout& frmCopyLayout();

class frmCopy : public Window {
 public:
  explicit frmCopy(Backend& ui);

  // Loads the window (its Form_Load) and shows it.
  void start();

  void Form_Load();
  void txtCopy1_GotFocus();
  void txtCopy2_GotFocus();
  void cmdSan1_Click();
  void cmdSun2_Click();
  void cmdOK_Click();
  void cmdCan_Click();

  // The job as the window holds it.
  std::string SourcePath;
  std::string DestinationPath;
  std::string BaseName;

  // The source and destination pickers; each exists once.
  frmPicker frmCopy1;
  frmPicker frmCopy2;

 private:
  // Looks up the Windows directory into txtWinDir; the settings file's path in it.
  std::string lookUpSettingsPath();
  // Shows the error box and the box that says the address was copied, then puts the author's
  // address on the clipboard.
  void reportError();

  std::unique_ptr<FileSystemObject> fso_;
  std::string settingsPath_;
};

}  // namespace qm
