#include "ui/window_font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>

#include <initializer_list>

namespace pcpos::ui {
namespace {

constexpr int kPixelSize = 11;

// The database lists a family once per foundry as "Nimbus Sans [urw]".
bool IsInstalled(const QStringList& installed, const QString& family) {
  for (const QString& listed : installed) {
    const QString base = listed.section(QStringLiteral(" ["), 0, 0);
    if (base.compare(family, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

QString FirstInstalled(const QStringList& installed, std::initializer_list<const char*> wanted) {
  for (const char* family : wanted) {
    const QString name = QString::fromLatin1(family);
    if (IsInstalled(installed, name)) return name;
  }
  return {};
}

bool CaptionFits(const QLabel& label, int field_left) {
  const QFontMetrics metrics(label.font(), &label);
  // Ink, not advance: a trailing blank may reach the field, a stroke may not.
  const int last_inked =
      label.x() + label.contentsRect().left() + metrics.tightBoundingRect(label.text()).right();
  return last_inked + kCaptionGap < field_left && label.geometry().right() < field_left;
}

}  // namespace

QFont WindowFont(const QStringList& installed) {
  QFont font;
  font.setPixelSize(kPixelSize);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  if (IsInstalled(installed, QStringLiteral("Tahoma"))) {
    font.setFamily(QStringLiteral("Tahoma"));
    return font;
  }
  // Narrowest first: DejaVu Sans Condensed, which the packages install, keeps every
  // caption at the designed size; the others need FitCaption for a few.
  // Tahoma stays out of the list: fontconfig would "find" it as an alias of a
  // much wider face.
  QStringList families;
  const QString latin =
      FirstInstalled(installed, {"DejaVu Sans Condensed", "Liberation Sans", "Arial", "Nimbus Sans",
                                 "Noto Sans", "DejaVu Sans"});
  const QString persian = FirstInstalled(
      installed, {"Noto Sans Arabic UI", "Noto Sans Arabic", "Vazirmatn", "DejaVu Sans"});
  if (!latin.isEmpty()) families << latin;
  if (!persian.isEmpty() && persian != latin) families << persian;
  font.setFamilies(families);
  return font;
}

QFont WindowFont() { return WindowFont(QFontDatabase::families()); }

QFont PersianWindowFont(const QStringList& installed) {
  QFont font = WindowFont(installed);
  QStringList families = font.families();
  if (families.size() == 2) {
    families.swapItemsAt(0, 1);
    font.setFamilies(families);
  }
  return font;
}

QFont PersianWindowFont() { return PersianWindowFont(QFontDatabase::families()); }

void FitCaption(QLabel* label, int field_left) {
  label->adjustSize();
  QFont font = label->font();
  int pixels = QFontInfo(font).pixelSize();
  while (!CaptionFits(*label, field_left) && pixels > kSmallestCaptionPixels) {
    font.setPixelSize(--pixels);
    label->setFont(font);
    label->adjustSize();
  }
}

}  // namespace pcpos::ui
