// Which drives a folder tree shows: those whose medium answers, found without letting
// one slow drive (an offline share, an empty optical drive) hold up the window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tandrel::platform {

struct DriveCandidate {
  std::string name;   // "C:"
  bool slow = false;  // network, removable, optical or of unknown kind
};

// True when the drive's medium can be read now; may block for a long time.
using DriveProbe = std::function<bool(const std::string& name)>;

// The ready drives in the order given. Fast drives are probed here, one after the
// other; slow ones all at once on threads of their own, waited for at most `budget_ms`
// in all. A slow drive still unanswered then counts as not ready, and its thread ends
// on its own whenever its probe returns.
std::vector<std::string> ReadyDrives(const std::vector<DriveCandidate>& drives, const DriveProbe& probe,
                                     std::uint32_t budget_ms);

}  // namespace tandrel::platform
