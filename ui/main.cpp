// pcpos-tester: the window program.
#include "ui/application.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
  // Before the application, which needs a display: --help does not.
  if (pcpos::ui::PrintHelpIfAsked(std::vector<std::string>(argv, argv + argc))) return 0;
  pcpos::ui::Application app(argc, argv);
  return pcpos::ui::RunApplication(app, app.arguments());
}
