// Folder watches on Windows: not built yet. Every root reports itself as not live, so
// its owner keeps it current by rescanning; no change is ever made up.
#include "platform/folder_watch.h"

namespace tandrel::platform {

struct FolderWatch::State {};

FolderWatch::FolderWatch() = default;
FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Start(const std::vector<std::string>& /*roots*/, Receiver /*receive*/) {
  return true;
}

bool FolderWatch::IsLive(std::size_t /*root*/) const { return false; }

void FolderWatch::Stop() { state_.reset(); }

}  // namespace tandrel::platform
