// The reader's documented approval: terminal 12345678, serial 000123, reference
// 123456789012, code 00, card 123456******7890, 1398/12/05 12:30. Tests that
// need another answer derive it from this one.
#pragma once

#include <string>

namespace pcpos::testing {

inline const std::string kAnswer =
    "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";

}  // namespace pcpos::testing
