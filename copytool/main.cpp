// The copy tool: load its one window and wait for events.
#include "app.h"
#include "frmMain.h"

int main(int argc, char** argv) {
  auto ui = qm::createBackend(argc, argv, "QM(Quillmar)");
  qm::frmMain window(*ui);
  window.start();
  ui->run();
  return 0;
}
