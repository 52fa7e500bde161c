// How the window shows a result line: one line of right-to-left text in a colour.
#pragma once

#include <QColor>
#include <QString>

#include "payment/message_format.h"

namespace pcpos::ui {

inline constexpr QChar kFirstStrongIsolate{0x2068};
inline constexpr QChar kPopDirectionalIsolate{0x2069};

// The first line of `text`, isolated so that its own first strong character sets
// its direction: a Latin message ("Canceled by operator.") keeps its full stop at
// its end inside the right-to-left line, a Persian one reads as Persian.
QString ResultLineDisplayText(const QString& text);

// The inverse for readers of the label (tests, accessibility): the text without
// the isolate marks.
QString StripIsolates(QString shown);

QColor ResultLineColour(Colour colour);

}  // namespace pcpos::ui
