// The copy jobs that the main thread queues and the one copy worker makes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/threads.h"

namespace tandrel::actions {

struct CopyJob {
  std::string source_folder;  // the hit's folder followed by the path separator
  std::string name;           // the hit's name
  std::string destination;    // the destination folder (with separator) and the name
};

// Every hand-off between the main thread and the worker goes through one short lock:
// a job, its count in the pending total and the worker's state change together, so no
// queued copy is lost and the worker ends exactly when nothing is pending. Jobs are made
// in the order they were queued; there is no limit on how many one run queues.
class CopyJobQueue {
 public:
  struct Taken {
    CopyJob job;
    std::int32_t pending = 0;  // the job itself included
  };

  // Appends a batch in its order; true when the caller must start a worker because
  // none is running (the queue then counts one as running).
  bool Append(std::vector<CopyJob> batch);
  // The worker's next job, which stays pending until Finish. None when nothing is left:
  // the worker then counts as ended, and `on_end` runs before any later Append can
  // start another, so what it reports comes before the next worker's reports.
  std::optional<Taken> Take(const std::function<void()>& on_end);
  // The job taken last is done; returns the copies still pending.
  std::int32_t Finish();
  // Drops every job not yet taken.
  void DropQueued();
  // The worker that Append asked for could not be started.
  void WorkerNotStarted();
  std::int32_t Pending() const;

 private:
  mutable platform::Mutex lock_;
  std::deque<CopyJob> jobs_;
  std::int32_t pending_ = 0;  // queued jobs and the one being made
  bool worker_running_ = false;
};

}  // namespace tandrel::actions
