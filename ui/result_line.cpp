#include "ui/result_line.h"

namespace pcpos::ui {

QString ResultLineDisplayText(const QString& text) {
  qsizetype end = 0;
  while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
  if (end == 0) return {};
  return kFirstStrongIsolate + text.left(end) + kPopDirectionalIsolate;
}

QString StripIsolates(QString shown) {
  shown.remove(kFirstStrongIsolate);
  shown.remove(kPopDirectionalIsolate);
  return shown;
}

QColor ResultLineColour(Colour colour) {
  const auto& rgb = colour == Colour::Green ? kGreenRgb : kRedRgb;
  return QColor(rgb[0], rgb[1], rgb[2]);
}

}  // namespace pcpos::ui
