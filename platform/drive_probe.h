// Which drives a folder tree shows: those whose medium answers, found without letting
// one slow drive (an offline share, an empty optical drive) hold up the window.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "platform/threads.h"

namespace tandrel::platform {

struct DriveCandidate {
  std::string name;   // "C:"
  bool slow = false;  // network, removable, optical or of unknown kind
};

// True when the drive's medium can be read now; may block for a long time.
using DriveProbe = std::function<bool(const std::string& name)>;

// Asks drives whether they are ready, and owns the threads that ask the slow ones. A
// probe may hang far longer than a window may wait, so its thread lives on after the
// answer was due; the prober keeps it and joins it, never leaving a thread to itself.
// Keep it for as long as the program may ask again: its destruction waits for every
// probe still running.
class DriveProber {
 public:
  DriveProber() = default;
  ~DriveProber();
  DriveProber(const DriveProber&) = delete;
  DriveProber& operator=(const DriveProber&) = delete;

  // The ready drives in the order given. Fast drives are probed here, one after the
  // other; slow ones all at once on threads of their own, waited for at most
  // `budget_ms` in all. A slow drive still unanswered then counts as not ready. A drive
  // whose probe from an earlier call still runs is not probed again: that probe's
  // answer, if it comes within the budget, is the one that counts. One caller at a time.
  std::vector<std::string> ReadyDrives(const std::vector<DriveCandidate>& drives, const DriveProbe& probe,
                                       std::uint32_t budget_ms);

 private:
  enum class Answer { kPending, kReady, kNotReady };
  struct SlowProbe {
    std::string name;
    Answer answer = Answer::kPending;  // under lock_
    Thread thread;
  };

  // The probe of `name` that is still running or newly started; null when the system
  // gives no thread for it.
  SlowProbe* ProbeOf(const std::string& name, const DriveProbe& probe);
  // Joins and forgets the probes that have answered.
  void ForgetAnswered();

  Mutex lock_;
  ConditionVariable answered_;
  std::list<SlowProbe> probes_;  // a list: a running probe's entry never moves
};

}  // namespace tandrel::platform
