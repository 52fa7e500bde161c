#include "ui/window_font.h"

#include <QFontDatabase>

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
  // Tahoma stays out of the list: fontconfig would "find" it as an alias of a
  // much wider face, and the captions would run under their fields.
  QStringList families;
  const QString latin = FirstInstalled(
      installed, {"Liberation Sans", "Arial", "Nimbus Sans", "Noto Sans", "DejaVu Sans"});
  const QString persian = FirstInstalled(
      installed, {"Noto Sans Arabic UI", "Noto Sans Arabic", "Vazirmatn", "DejaVu Sans"});
  if (!latin.isEmpty()) families << latin;
  if (!persian.isEmpty() && persian != latin) families << persian;
  font.setFamilies(families);
  return font;
}

QFont WindowFont() { return WindowFont(QFontDatabase::families()); }

}  // namespace pcpos::ui
