#include "search/actions/copy_queue.h"

namespace tandrel::actions {

bool CopyJobQueue::Append(std::vector<CopyJob> batch) {
  if (batch.empty()) return false;
  platform::LockGuard hold(lock_);
  pending_ += static_cast<std::int32_t>(batch.size());
  for (CopyJob& job : batch) jobs_.push_back(std::move(job));
  if (worker_running_) return false;
  worker_running_ = true;
  return true;
}

std::optional<CopyJobQueue::Taken> CopyJobQueue::Take(const std::function<void()>& on_end) {
  platform::LockGuard hold(lock_);
  if (jobs_.empty()) {
    worker_running_ = false;
    if (on_end) on_end();
    return std::nullopt;
  }
  Taken taken{std::move(jobs_.front()), pending_};
  jobs_.pop_front();
  return taken;
}

std::int32_t CopyJobQueue::Finish() {
  platform::LockGuard hold(lock_);
  if (pending_ > 0) --pending_;
  return pending_;
}

void CopyJobQueue::DropQueued() {
  platform::LockGuard hold(lock_);
  pending_ -= static_cast<std::int32_t>(jobs_.size());
  jobs_.clear();
}

void CopyJobQueue::WorkerNotStarted() {
  platform::LockGuard hold(lock_);
  worker_running_ = false;
}

std::int32_t CopyJobQueue::Pending() const {
  platform::LockGuard hold(lock_);
  return pending_;
}

}  // namespace tandrel::actions
