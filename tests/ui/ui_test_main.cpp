// The widget tests run inside the program's own application class, so errors
// escaping event handlers go the way they go in the program.
#include <gtest/gtest.h>

#include "ui/application.h"

// Qt is not built with ThreadSanitizer: its own pooled threads (image scaling)
// free memory behind atomics the tool cannot see. Ignoring the allocator calls
// made from inside Qt keeps every access of this program's own code checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n";
}

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
