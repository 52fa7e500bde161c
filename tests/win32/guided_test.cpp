// The guided run in the native window, under Wine: the built-in installation
// check pressed through against the program's own simulated reader, the panel
// below the designed client area, and the report offered at the end.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>

#include "acceptance/suite.h"
#include "screen/layout.h"
#include "tests/support/scratch_dir.h"
#include "win32/application.h"
#include "win32/display.h"
#include "win32/guided_panel.h"
#include "win32/main_window.h"

namespace pcpos::win32 {
namespace {

using namespace std::chrono_literals;

TEST(GuidedWindow, DemoPressesThroughTheInstallationCheckAndOffersTheReport) {
#ifndef PCPOS_WIN32_DEMO
  GTEST_SKIP() << "built without the simulator";
#else
  testing::ScratchDir folder("pcpos-win32-guided-");
  MainWindow::Options options;
  options.quit_when_closed = false;
  options.double_click = 0ms;
  Session session =
      OpenSession(startup::ParseCommandLine({"pcpos-tester.exe", "--demo", "--suite", "install",
                                             "--log-dir", folder.folder()}),
                  options);
  MainWindow& window = *session.window;
  window.Open(SW_HIDE);
  GuidedPanel* panel = window.guided_panel();
  ASSERT_NE(panel, nullptr);
  RECT client{};
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.bottom,
            screen::Scaled(screen::kClientHeight + GuidedPanel::kHeight, window.dpi()));
  RECT heading{};
  GetWindowRect(panel->Find(GuidedPanel::kCase).hwnd(), &heading);
  MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&heading), 2);
  EXPECT_GE(heading.top, screen::Scaled(screen::kClientHeight, window.dpi()));

  const std::size_t count = acceptance::InstallSuite().cases.size();
  EXPECT_EQ(panel->Find(GuidedPanel::kCase).Text().rfind("case 1 of " + std::to_string(count), 0),
            0u);
  EXPECT_EQ(window.InputText(screen::Input::Amount), "1000");
  const auto& run = *window.guided_run().run();
  for (std::size_t i = 0; i < count && !run.Over(); ++i) {
    SendMessageW(window.Find("Btn_Payment")->hwnd(), BM_CLICK, 0, 0);
    const auto end = std::chrono::steady_clock::now() + 30s;
    do {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) window.Process(msg);
      if (run.Position() > i) break;
    } while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT) != WAIT_FAILED &&
             std::chrono::steady_clock::now() < end);
    ASSERT_GT(run.Position(), i) << "case " << i + 1 << " did not end";
  }
  EXPECT_TRUE(run.Over());
  EXPECT_TRUE(run.Passed()) << "every case passes against the demo reader";
  EXPECT_FALSE(IsWindowEnabled(panel->Find(GuidedPanel::kSkip).hwnd()));

  std::string opened;
  panel->SetOpener([&](const std::string& path) { opened = path; });
  SendMessageW(panel->Find(GuidedPanel::kOpen).hwnd(), BM_CLICK, 0, 0);
  const std::string shown = panel->Find(GuidedPanel::kReport).Text();
  EXPECT_EQ(opened, shown);
  std::filesystem::path html = std::filesystem::u8path(shown);
  EXPECT_EQ(html.extension(), ".html");
  EXPECT_TRUE(std::filesystem::exists(html));
  EXPECT_TRUE(std::filesystem::exists(html.replace_extension(".csv")));
  EXPECT_TRUE(std::filesystem::exists(html.replace_extension(".json")));
  session.window.reset();
#endif
}

TEST(GuidedWindow, ASuiteThatCannotBeReadStopsBeforeTheWindow) {
  EXPECT_THROW(OpenSession(startup::ParseCommandLine({"p", "--suite", "Z:\\no\\suite.json"})),
               startup::UsageError);
}

}  // namespace
}  // namespace pcpos::win32
