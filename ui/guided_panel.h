// The guided run's panel, below the window's designed layout: the case to run,
// what the operator does on the reader, the last case's verdict, the skip
// button, and at the end the report's path with a button that opens it.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

#include "screen/guided_run.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace pcpos::ui {

class GuidedPanel : public QWidget, public screen::GuidedView {
  Q_OBJECT

 public:
  // The height the window grows by, at 96 dots per inch.
  static constexpr int kHeight = 150;

  // `amount` is the window's amount box; the panel's width is the window's.
  GuidedPanel(QWidget* parent, QLineEdit* amount, screen::GuidedRun& run);

  // Opens the report (the desktop's handler by default; the tests record it).
  void SetOpener(std::function<void(const QString&)> open) { open_ = std::move(open); }

  void SetAmountText(std::string_view amount) override;
  void ShowGuide(const screen::GuidePanel& panel) override;

  QLabel* Lbl_Case = nullptr;
  QLabel* Lbl_Prompt = nullptr;
  QLabel* Lbl_Verdict = nullptr;
  QLabel* Lbl_Report = nullptr;
  QPushButton* Btn_Skip = nullptr;
  QPushButton* Btn_OpenReport = nullptr;

 private:
  QLineEdit* amount_;
  QString report_path_;
  std::function<void(const QString&)> open_;
};

}  // namespace pcpos::ui
