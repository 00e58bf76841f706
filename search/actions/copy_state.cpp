// Process-wide state of the copies. Each value names the threads that touch it.
#include "search/actions/result_actions_internal.h"

namespace tandrel::actions {

// Filled by the main thread (QueueCopies), emptied by the copy worker and by
// CancelCopies (main thread); its own lock guards every hand-off.
CopyJobQueue CopyQueue;
// Started by the main thread only, never waited for by the quit sequence: a worker still
// copying ends with the process.
platform::Thread CopyThread;

}  // namespace tandrel::actions
