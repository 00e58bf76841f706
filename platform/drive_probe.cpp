#include "platform/drive_probe.h"

#include <algorithm>

namespace tandrel::platform {

DriveProber::~DriveProber() {
  // A probe that still hangs is waited for here: its thread writes into this prober.
  for (SlowProbe& probe : probes_) probe.thread.Wait();
}

void DriveProber::ForgetAnswered() {
  std::list<SlowProbe> answered;
  {
    LockGuard hold(lock_);
    for (auto it = probes_.begin(); it != probes_.end();) {
      const auto next = std::next(it);
      if (it->answer != Answer::kPending) answered.splice(answered.end(), probes_, it);
      it = next;
    }
  }
  // Their threads have done their last write under the lock; the list's end joins them.
}

DriveProber::SlowProbe* DriveProber::ProbeOf(const std::string& name, const DriveProbe& probe) {
  {
    LockGuard hold(lock_);
    for (SlowProbe& running : probes_) {
      if (running.name == name) return &running;
    }
  }
  // Only this thread adds and removes entries, so the new one may be filled unlocked.
  SlowProbe& started = probes_.emplace_back();
  started.name = name;
  const bool ok = started.thread.Start([this, &started, probe](const StopToken&) {
    const bool ready = probe(started.name);
    LockGuard hold(lock_);
    started.answer = ready ? Answer::kReady : Answer::kNotReady;
    answered_.NotifyAll();
  });
  if (ok) return &started;
  probes_.pop_back();
  return nullptr;
}

std::vector<std::string> DriveProber::ReadyDrives(const std::vector<DriveCandidate>& drives,
                                                  const DriveProbe& probe, std::uint32_t budget_ms) {
  ForgetAnswered();
  std::vector<SlowProbe*> slow(drives.size(), nullptr);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (drives[i].slow) slow[i] = ProbeOf(drives[i].name, probe);
  }
  std::vector<bool> fast_ready(drives.size(), false);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (!drives[i].slow) fast_ready[i] = probe(drives[i].name);
  }
  std::vector<std::string> ready;
  LockGuard hold(lock_);
  const auto pending = [](const SlowProbe* p) { return p != nullptr && p->answer == Answer::kPending; };
  answered_.WaitFor(hold, budget_ms, [&] { return std::none_of(slow.begin(), slow.end(), pending); });
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const bool answered_ready = slow[i] != nullptr && slow[i]->answer == Answer::kReady;
    if (drives[i].slow ? answered_ready : fast_ready[i]) ready.push_back(drives[i].name);
  }
  return ready;
}

}  // namespace tandrel::platform
