#include "payment/answer_fields.h"

namespace pcpos {
namespace {

// Characters `from` (1-based) onwards, at most `count` of them; nothing when
// `from` lies beyond the end.
std::string Copy(std::string_view text, std::size_t from, std::size_t count) {
  if (from < 1 || from > text.size()) return {};
  return std::string(text.substr(from - 1, count));
}

}  // namespace

namespace derive {

std::string FirstSix(std::string_view card_no) { return Copy(card_no, 1, 6); }

std::string FromThirteenth(std::string_view card_no) {
  return Copy(card_no, 13, std::string_view::npos);
}

// The separators are always there, so an empty stamp gives "//" and ":".
std::string DateOfStamp(std::string_view stamp) {
  return Copy(stamp, 1, 4) + "/" + Copy(stamp, 5, 2) + "/" + Copy(stamp, 7, 2);
}

std::string TimeOfStamp(std::string_view stamp) {
  return Copy(stamp, 9, 2) + ":" + Copy(stamp, 11, 2);
}

}  // namespace derive

std::optional<AnswerField> AnswerFieldNamed(std::string_view name) {
  for (const AnswerFieldInfo& info : kAnswerFields) {
    if (info.name == name) return info.field;
  }
  return std::nullopt;
}

ResponseFields FieldsFromReceived(std::span<const std::string> received) {
  ResponseFields fields;
  for (const AnswerFieldInfo& info : kAnswerFields) {
    const std::string_view value =
        info.received < received.size() ? std::string_view(received[info.received]) : "";
    fields.*info.member = info.derive != nullptr ? info.derive(value) : std::string(value);
  }
  return fields;
}

}  // namespace pcpos
