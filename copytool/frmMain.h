// The copy tool's main window: the stored job, its refresh, and the copy run.
#pragma once

#include <memory>
#include <string>

#include "ui/filesystem.h"
#include "ui/window.h"

namespace qm {

const FormLayout& frmMainLayout();

class frmMain : public Window {
 public:
  explicit frmMain(Backend& ui);

  // Loads the window (its Form_Load) and shows it unless the load ended the program.
  void start();

  // The refresh: reads the settings file afresh and shows it.
  void Load();

  void Form_Load();
  void Form_MouseMove(int button, int shift, float x, float y);
  void cmdCopy_Click();
  void cmdHenkou_Click();
  void Command2_Click();

  // The job as the window holds it; DestinationPath is the effective destination.
  std::string SourcePath;
  std::string DestinationPath;
  std::string BaseName;

 private:
  // Looks up the Windows directory into txtWinDir; the settings file's path in it.
  std::string lookUpSettingsPath();
  // Reads the settings and shows them; throws on failure, changing nothing then.
  void readAndShow();

  std::unique_ptr<FileSystemObject> fso_;
};

}  // namespace qm
