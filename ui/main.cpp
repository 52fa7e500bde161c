// pcpos-tester: the window program.
#include "ui/application.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
  pcpos::ui::Application app(argc, argv);
  return pcpos::ui::RunApplication(app, app.arguments());
}
