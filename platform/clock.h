// The millisecond clock.
#pragma once

#include <cstdint>

namespace tandrel::platform {

// Milliseconds since an arbitrary start; wraps around after 49.7 days, so compare
// tick counts by unsigned subtraction.
std::uint32_t TickCount();
void Sleep(std::uint32_t milliseconds);

}  // namespace tandrel::platform
