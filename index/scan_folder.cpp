// The folder scanner: a recursive depth-first walk in pre-order that streams every
// entry to the walk file as the listing yields it. Nothing is collected: memory grows
// with the depth of the tree (one open listing per level), never with its size.
#include <optional>
#include <type_traits>
#include <vector>

#include "index/indexing.h"

namespace tandrel::index {
namespace {

// Guards against folder links that lead back to a folder on the walk's own path, which
// would otherwise make the walk endless. Each folder on the current path keeps its
// identity; where identities are costly (Windows) they are taken only once a link is
// entered, and then for every folder on the path that does not have one yet.
template <class Sink>
class Walker {
 public:
  explicit Walker(Sink& run) : run_(run) {}

  // False when the folder could not be listed.
  bool Walk(const std::string& folder) {
    platform::FolderListing listing(folder);
    return Walk(listing, folder, false);
  }

 private:
  struct Level {
    const platform::FolderListing* listing;  // lives in the caller's frame while the level is walked
    std::optional<platform::FolderIdentity> identity;
    bool identity_known;
  };

  bool Walk(platform::FolderListing& listing, const std::string& folder, bool via_link) {
    if (!listing.IsOpen()) return false;
    Level level{&listing, std::nullopt, false};
    if (platform::kCheapFolderIdentity || via_link) {
      level.identity = listing.Identity();
      level.identity_known = true;
      if (level.identity && IsOnPath(*level.identity)) return true;
    }
    path_.push_back(level);
    platform::FolderEntry entry;
    std::string sub;
    while (listing.Next(entry)) {
      if constexpr (std::is_base_of_v<ScanSink, Sink>) {
        if (run_.Stopped()) break;
      }
      if (entry.name == "." || entry.name == "..") continue;
      // A CR or LF would end the name's text in the record and shift every record after it.
      if (entry.name.find_first_of("\r\n") != std::string::npos) continue;
      if (!entry.is_folder) {
        run_.Add(entry.name, folder, kEntryFile);
        continue;
      }
      run_.Add(entry.name, folder, kEntryFolder);
      sub.reserve(folder.size() + 1 + entry.name.size());
      sub.assign(folder).push_back(platform::kPathSeparator);
      sub.append(entry.name);
      // Entered by the name the listing holds, not by the text: a stored name is not
      // always the folder's real one (and never a way out of `folder`).
      platform::FolderListing inner(listing, sub);
      Walk(inner, sub, entry.is_link);
    }
    path_.pop_back();
    return true;
  }

  bool IsOnPath(const platform::FolderIdentity& identity) {
    for (Level& level : path_) {
      if (!level.identity_known) {
        level.identity = level.listing->Identity();
        level.identity_known = true;
      }
      if (level.identity == identity) return true;
    }
    return false;
  }

  Sink& run_;
  std::vector<Level> path_;  // outermost first
};

}  // namespace

bool ScanFolder(const std::string& folder, IndexRunState& run) {
  Walker<IndexRunState> walker(run);
  return walker.Walk(folder);
}

bool ScanFolder(const std::string& folder, ScanSink& sink) {
  Walker<ScanSink> walker(sink);
  return walker.Walk(folder);
}

bool ScanFolder(const std::string& folder) { return ScanFolder(folder, ProcessIndexRun); }

}  // namespace tandrel::index
