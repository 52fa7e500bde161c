#include "ui/window_font.h"

#include <QFontDatabase>

#include <initializer_list>

namespace pcpos::ui {
namespace {

constexpr int kPixelSize = 11;

QString FirstInstalled(const QStringList& installed, std::initializer_list<const char*> wanted) {
  for (const char* family : wanted) {
    const QString name = QString::fromLatin1(family);
    if (installed.contains(name, Qt::CaseInsensitive)) return name;
  }
  return {};
}

}  // namespace

QFont WindowFont(const QStringList& installed) {
  QFont font;
  font.setPixelSize(kPixelSize);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  if (installed.contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) {
    font.setFamily(QStringLiteral("Tahoma"));
    return font;
  }
  QStringList families{QStringLiteral("Tahoma")};
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
