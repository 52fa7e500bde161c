// The window's font: "Tahoma" 11 pixels, or the closest installed stand-in, and
// the fitting of captions whose face turns out wider than the designed one.
#pragma once

#include <QFont>
#include <QStringList>

class QLabel;

namespace pcpos::ui {

// Tahoma when installed. Otherwise a Latin face no wider than needed, followed by
// a face with Persian glyphs, so that every text has a glyph for each character.
// `installed_families` is what QFontDatabase::families() lists.
QFont WindowFont(const QStringList& installed_families);
QFont WindowFont();

// The same font with the Persian face first, for the controls whose text is
// Persian: a Latin stand-in that carries Arabic letters of its own would draw them
// smaller and less legibly than the face made for them.
QFont PersianWindowFont(const QStringList& installed_families);
QFont PersianWindowFont();

// Empty pixel columns a caption keeps before its field.
inline constexpr int kCaptionGap = 2;
// Below this a caption is no longer readable; it is not shrunk further.
inline constexpr int kSmallestCaptionPixels = 8;

// Positions never change, so a face wider than the designed one would run a
// caption under its field. Shrinks the label's font a pixel at a time, only as
// far as it must, until the caption's last inked column ends kCaptionGap pixels
// before `field_left` (in the label's parent) and the label itself ends before
// it. The label stays sized to its text.
void FitCaption(QLabel* label, int field_left);

}  // namespace pcpos::ui
