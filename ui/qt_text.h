// The screen layer speaks UTF-8; Qt speaks QString.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace pcpos::ui {

inline QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace pcpos::ui
