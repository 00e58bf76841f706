// Substring search over the folded name arena.
#pragma once

#include <string_view>

namespace tandrel::search {

// The first occurrence of `needle` (not empty) that lies wholly inside [begin, end), or
// null. Bytes up to end + 15 must be readable: the arena's padding guarantees that.
const char* FindPiece(const char* begin, const char* end, std::string_view needle);

}  // namespace tandrel::search
