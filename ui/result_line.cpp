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
  switch (colour) {
    case Colour::Green:
      return QColor(0, 128, 0);
    case Colour::Red:
      return QColor(255, 0, 0);
    case Colour::Amber:
      break;
  }
  // Dark enough to read on the button face, far enough from red to tell apart.
  return QColor(160, 82, 0);
}

}  // namespace pcpos::ui
