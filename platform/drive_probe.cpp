#include "platform/drive_probe.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tandrel::platform {
namespace {

enum class Answer { kPending, kReady, kNotReady };

// Shared with the probing threads, which may outlive the call that started them.
struct Answers {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<Answer> answers;
  std::size_t pending = 0;
};

}  // namespace

std::vector<std::string> ReadyDrives(const std::vector<DriveCandidate>& drives, const DriveProbe& probe,
                                     std::uint32_t budget_ms) {
  auto shared = std::make_shared<Answers>();
  shared->answers.assign(drives.size(), Answer::kPending);
  // Counted before the first thread starts: the threads lower it under the lock.
  for (const DriveCandidate& drive : drives) shared->pending += drive.slow ? 1 : 0;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (!drives[i].slow) continue;
    std::thread([shared, i, probe, name = drives[i].name] {
      const bool ready = probe(name);
      std::lock_guard<std::mutex> hold(shared->lock);
      shared->answers[i] = ready ? Answer::kReady : Answer::kNotReady;
      --shared->pending;
      shared->changed.notify_all();
    }).detach();
  }
  std::vector<bool> fast_ready(drives.size(), false);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (!drives[i].slow) fast_ready[i] = probe(drives[i].name);
  }
  std::vector<std::string> ready;
  std::unique_lock<std::mutex> hold(shared->lock);
  shared->changed.wait_for(hold, std::chrono::milliseconds(budget_ms), [&] { return shared->pending == 0; });
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (drives[i].slow ? shared->answers[i] == Answer::kReady : fast_ready[i]) ready.push_back(drives[i].name);
  }
  return ready;
}

}  // namespace tandrel::platform
