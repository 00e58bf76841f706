// What tests need of the copy worker beyond the product's calls: pacing it and waiting
// for its end.
#pragma once

#include <functional>
#include <string>

namespace tandrel::actions {

// Waits until the copy worker has ended (before a test's window layer goes away).
void WaitForCopyWorker();
// Called on the worker thread just before each copy with the name being copied; tests
// pace the worker with it. Set it only while no worker runs.
void SetCopyGate(std::function<void(const std::string& name)> gate);

}  // namespace tandrel::actions
