#include "platform/window/type_ahead.h"

namespace tandrel::ui {
namespace {

bool StartsWithFolded(std::string_view text, std::string_view typed,
                      const std::array<std::uint8_t, 256>& fold) {
  if (text.size() < typed.size()) return false;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (fold[static_cast<std::uint8_t>(text[i])] != fold[static_cast<std::uint8_t>(typed[i])]) return false;
  }
  return true;
}

}  // namespace

std::int32_t FindRowByPrefix(const RowSource& rows, std::string_view typed, std::int32_t start,
                             bool wrap, const std::array<std::uint8_t, 256>& fold) {
  const std::int32_t count = rows.RowCount();
  if (count <= 0 || typed.empty()) return -1;
  if (start < 0 || start >= count) start = 0;
  for (std::int32_t row = start; row < count; ++row) {
    if (StartsWithFolded(rows.Cell(row, 0), typed, fold)) return row;
  }
  if (!wrap) return -1;
  for (std::int32_t row = 0; row < start; ++row) {
    if (StartsWithFolded(rows.Cell(row, 0), typed, fold)) return row;
  }
  return -1;
}

}  // namespace tandrel::ui
