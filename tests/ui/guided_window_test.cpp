// The guided run in the Qt window: the panel below the designed layout, the
// built-in suite pressed through end to end against the window's own simulated
// reader, and a suite file that cannot be used stopping the start with 2.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include "acceptance/suite.h"
#include "screen/layout.h"
#include "tests/support/scratch_dir.h"
#include "tests/ui/ui_test_support.h"
#include "ui/guided_panel.h"
#include "ui/startup.h"

namespace pcpos::ui::testing {
namespace {

TFrm_Selvarin* TheWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "Frm_Selvarin") return static_cast<TFrm_Selvarin*>(w);
  }
  return nullptr;
}

TEST(GuidedWindow, DemoPressesThroughTheInstallationCheckAndOffersTheReport) {
  const pcpos::testing::ScratchDir scratch("pcpos-guided-");
  const std::size_t count = acceptance::InstallSuite().cases.size();
  std::vector<QString> headings, amounts;
  QRect panel_geometry, result_line;
  QSize size;
  QString report_shown, opened;
  bool passed = false, skip_enabled_at_end = true;
  QTimer::singleShot(0, [&] {
    TFrm_Selvarin* window = TheWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->Pnl_Guided, nullptr);
    size = window->size();
    panel_geometry = window->Pnl_Guided->geometry();
    result_line = window->Lbl_ResponseMsg->geometry();
    window->Pnl_Guided->SetOpener([&](const QString& path) { opened = path; });
    for (std::size_t i = 0; i < count && !window->guided_run().run()->Over(); ++i) {
      headings.push_back(window->Pnl_Guided->Lbl_Case->text());
      amounts.push_back(window->txtAmount->text());
      WaitOutPressGuard();
      QTest::mouseClick(window->Btn_Payment, Qt::LeftButton);
      QTest::qWait(50);
      WaitForPaymentEnd(*window);
    }
    passed = window->guided_run().run()->Passed();
    skip_enabled_at_end = window->Pnl_Guided->Btn_Skip->isEnabled();
    report_shown = window->Pnl_Guided->Lbl_Report->text();
    QTest::mouseClick(window->Pnl_Guided->Btn_OpenReport, Qt::LeftButton);
    window->close();
  });
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(60000);
  const int code = RunApplication(App(),
                                  {"pcpos-tester", "--demo", "--suite", "install", "--log-dir",
                                   QString::fromStdString(scratch.folder())},
                                  {});
  watchdog.stop();

  EXPECT_EQ(code, 0);
  EXPECT_EQ(size, QSize(screen::kClientWidth, screen::kClientHeight + GuidedPanel::kHeight));
  EXPECT_EQ(panel_geometry.top(), screen::kClientHeight);
  EXPECT_LE(result_line.bottom(), screen::kClientHeight);
  ASSERT_EQ(headings.size(), count);
  EXPECT_TRUE(headings[0].startsWith("case 1 of " + QString::number(count) + ": "));
  EXPECT_EQ(amounts[0], "1000");
  EXPECT_TRUE(passed) << "every case of the installation check passes against the demo reader";
  EXPECT_FALSE(skip_enabled_at_end);
  EXPECT_TRUE(report_shown.endsWith(".html")) << report_shown.toStdString();
  EXPECT_EQ(opened, report_shown);
  const std::filesystem::path html = report_shown.toStdString();
  EXPECT_TRUE(std::filesystem::exists(html));
  for (const char* ext : {".csv", ".json"}) {
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(html).replace_extension(ext)));
  }
}

TEST(GuidedWindow, ASuiteFileThatCannotBeUsedStopsTheStartWithTwo) {
  const pcpos::testing::ScratchDir scratch("pcpos-guided-");
  const std::string bad = scratch.folder() + "bad.json";
  std::ofstream(bad) << R"({"cases": [{"id": "a", "amount": "1000", "expect": {}}]})";
  for (const std::string& file : {bad, scratch.folder() + "missing.json"}) {
    SCOPED_TRACE(file);
    BoxRecorder recorder;
    EXPECT_EQ(RunApplication(App(), {"pcpos-tester", "--suite", QString::fromStdString(file)}, {}),
              2);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_TRUE(recorder.boxes[0].text.contains(QString::fromStdString(file)) ||
                recorder.boxes[0].text.contains("outcome"))
        << recorder.boxes[0].text.toStdString();
    EXPECT_EQ(TheWindow(), nullptr);
  }
}

}  // namespace
}  // namespace pcpos::ui::testing
