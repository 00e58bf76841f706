// Type-ahead in lists: the row that a typed text selects.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/window/values.h"

namespace tandrel::ui {

// From row `start` on (and from row 0 again when `wrap`), the first row whose column 0
// starts with `typed`, each byte of both looked up in `fold` first; -1 when none does.
// A start outside the rows counts as row 0.
std::int32_t FindRowByPrefix(const RowSource& rows, std::string_view typed, std::int32_t start,
                             bool wrap, const std::array<std::uint8_t, 256>& fold);

}  // namespace tandrel::ui
