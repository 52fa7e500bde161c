#include "ui/guided_panel.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QUrl>

#include "screen/layout.h"
#include "ui/application.h"
#include "ui/frm_selvarin.h"
#include "ui/qt_text.h"

namespace pcpos::ui {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  label->setTextFormat(Qt::PlainText);  // a prompt or a reason is never markup
  return label;
}

}  // namespace

GuidedPanel::GuidedPanel(QWidget* parent, QLineEdit* amount, screen::GuidedRun& run)
    : QWidget(parent),
      amount_(amount),
      open_([](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }) {
  setObjectName(QStringLiteral("Pnl_Guided"));
  const int w = screen::kClientWidth;
  setGeometry(0, screen::kClientHeight, w, kHeight);

  Lbl_Case = MakeLabel(this, "Lbl_Case", QRect(8, 4, w - 16, 20));
  QFont bold = Lbl_Case->font();
  bold.setBold(true);
  Lbl_Case->setFont(bold);
  Lbl_Case->setTextFormat(Qt::PlainText);
  // The prompt is Persian: right to left, as many lines as it takes.
  Lbl_Prompt = MakeLabel(this, "Lbl_Prompt", QRect(8, 26, w - 16, 52));
  Lbl_Prompt->setWordWrap(true);
  // Its paragraph direction comes from its first strong character; the
  // alignment is absolute, whatever the window's layout direction.
  Lbl_Prompt->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignTop);
  Lbl_Verdict = MakeLabel(this, "Lbl_Verdict", QRect(8, 80, w - 16, 34));
  Lbl_Verdict->setWordWrap(true);
  Lbl_Verdict->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  Btn_Skip = new QPushButton(Q(screen::kSkipCaption), this);
  Btn_Skip->setObjectName(QStringLiteral("Btn_Skip"));
  Btn_Skip->setGeometry(8, 118, 90, 26);
  Btn_Skip->setAutoDefault(false);
  Lbl_Report = MakeLabel(this, "Lbl_Report", QRect(104, 118, w - 104 - 106, 26));
  Lbl_Report->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Btn_OpenReport = new QPushButton(Q(screen::kOpenReportCaption), this);
  Btn_OpenReport->setObjectName(QStringLiteral("Btn_OpenReport"));
  Btn_OpenReport->setGeometry(w - 98, 118, 90, 26);
  Btn_OpenReport->setAutoDefault(false);
  Btn_OpenReport->setEnabled(false);

  connect(Btn_Skip, &QPushButton::clicked, this, Guarded([&run] { run.Skip(); }));
  connect(Btn_OpenReport, &QPushButton::clicked, this, Guarded([this] {
            if (!report_path_.isEmpty() && open_) open_(report_path_);
          }));
}

void GuidedPanel::SetAmountText(std::string_view amount) {
  amount_->setText(Q(amount));
  amount_->setCursorPosition(0);
}

void GuidedPanel::ShowGuide(const screen::GuidePanel& panel) {
  Lbl_Case->setText(Q(panel.heading));
  Lbl_Prompt->setText(Q(panel.prompt));
  Lbl_Verdict->setText(Q(panel.verdict));
  QColor colour = palette().color(QPalette::WindowText);
  if (const auto rgb = screen::ToneColour(panel.verdict_tone))
    colour = QColor(rgb->r, rgb->g, rgb->b);
  QPalette verdict = Lbl_Verdict->palette();
  verdict.setColor(QPalette::WindowText, colour);
  Lbl_Verdict->setPalette(verdict);
  Btn_Skip->setEnabled(panel.can_skip);
  report_path_ = Q(panel.report_path);
  Lbl_Report->setText(panel.report_error.empty() ? report_path_ : Q(panel.report_error));
  Lbl_Report->setToolTip(Lbl_Report->text());
  Btn_OpenReport->setEnabled(!report_path_.isEmpty());
}

void TFrm_Selvarin::StartGuidedRun(acceptance::Suite suite, const std::string& source) {
  Pnl_Guided = new GuidedPanel(this, txtAmount, guided_);
  // The designed layout stays where it is; the window grows by the panel only.
  setFixedSize(screen::kClientWidth, screen::kClientHeight + GuidedPanel::kHeight);
  Pnl_Guided->show();
  const PaymentInputs inputs{InputText(screen::Input::Host), InputText(screen::Input::Port),
                             InputText(screen::Input::Amount), InputText(screen::Input::LogFolder)};
  guided_.Begin(*Pnl_Guided, std::move(suite), source, inputs);
}

}  // namespace pcpos::ui
