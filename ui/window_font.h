// The window's font: "Tahoma" 11 pixels, or the closest installed stand-in.
#pragma once

#include <QFont>
#include <QStringList>

namespace pcpos::ui {

// Tahoma when installed. Otherwise a Latin face of similar width, followed by
// a face with Persian glyphs, so that every text has a glyph for each character
// without widening the Latin captions past the fields next to them.
// `installed_families` is what QFontDatabase::families() lists.
QFont WindowFont(const QStringList& installed_families);
QFont WindowFont();

}  // namespace pcpos::ui
