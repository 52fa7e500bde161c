// The widget tests run inside the program's own application class, so errors
// escaping event handlers go the way they go in the program.
#include <gtest/gtest.h>

#include "ui/application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest's discovery) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  pcpos::ui::Application app(argc, argv);
  // A real modal box would block the run: any box a test did not ask for fails.
  app.SetMessageBox([](const QString& caption, const QString& text) {
    ADD_FAILURE() << "unexpected message box: " << caption.toStdString() << ": "
                  << text.toStdString();
  });
  return RUN_ALL_TESTS();
}
