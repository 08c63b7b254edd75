// The setup tool: load its settings window and wait for events.
#include "frmCopy.h"
#include "ui/app.h"

int main(int argc, char** argv) {
  auto ui = qm::createBackend(argc, argv, "QMS(QuillmarSetter)");
  qm::frmCopy window(*ui);
  window.start();
  ui->run();
  return 0;
}
