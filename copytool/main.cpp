// The copy tool: load its one window and wait for events.
#include "frmMain.h"
#include "ui/app.h"

int main(int argc, char** argv) {
  auto ui = qm::createBackend(argc, argv, "QM(Quillmar)");
  qm::frmMain window(*ui);
  window.start();
  ui->run();
  return 0;
}
