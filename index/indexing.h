// The indexing run: the folder scanner that walks folders into the walk file, the
// regrouping of the walk into a new index file by the first letter of each name, and
// the run that does both in the background and reloads the table.
//
// The run never writes the index file in place: it writes the new index beside it and
// puts it in the old one's place in one step, so db.db is at every moment either the
// previous complete index or the new complete one.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/index.h"
#include "platform/platform.h"

namespace tandrel::index {

inline constexpr char kWalkFileName[] = "dbtemp.db";
// The new index is written under this name beside the index file, then renamed over it.
inline constexpr char kNewIndexSuffix[] = ".new";
inline constexpr int kBucketCount = 27;  // a to z, then "!" for every other first byte

// ---------------------------------------------------------------------------------------
// State of a run

// The walk file of a run. Opened, written and closed by the run's thread; the quit
// sequence may abandon it from the main thread at any moment, so every use goes
// through one lock.
class WalkFile {
 public:
  // `merging` is the flag that closing for the merge raises.
  explicit WalkFile(std::atomic<int>& merging) : merging_(merging) {}
  WalkFile(const WalkFile&) = delete;
  WalkFile& operator=(const WalkFile&) = delete;

  // Creates (or empties) the file; false when it cannot be created.
  bool Create(const std::string& path);
  // Appends one record; does nothing once the file is closed or abandoned.
  void WriteRecord(std::string_view name, std::string_view folder, std::int8_t kind);
  // The walk is over: closes the file and, in the same step, raises the merge flag, so
  // that the quit sequence either finds the walk file open or sees the merge begun.
  // False, and the flag untouched, when the file was abandoned, was never created or
  // lost a write: its walk is not complete and must not become the index.
  bool CloseAndStartMerge();
  // Quit sequence: if the walk file is open, closes it and deletes it. True if it was
  // open.
  bool Abandon();
  bool IsOpen() const;

 private:
  std::atomic<int>& merging_;
  mutable platform::Mutex lock_;
  platform::File file_;
  std::string path_;
  bool write_failed_ = false;
  bool abandoned_ = false;
};

// Everything one run writes while it works besides its files: its flags, its file
// count and its walk file. Runs with states of their own (and index files and bucket
// folders of their own) may run at the same time in one process.
struct IndexRunState {
  // 1 from just before the run starts until its index file is final: set by the thread
  // that starts the run, cleared by the run's thread.
  std::atomic<int> active{0};
  // 1 while the run regroups the walk into the index; written by the run's thread only.
  std::atomic<int> merging{0};
  // Files (not folders) the scanner has written in this run. Set to 0 and raised on the
  // run's thread; read by its ticker and the caller.
  std::atomic<std::int32_t> file_count{0};
  WalkFile walk_file{merging};

  // Where the scanner puts what it finds: the record goes to the walk file, and a file
  // is counted.
  void Add(std::string_view name, std::string_view folder, std::int8_t kind) {
    walk_file.WriteRecord(name, folder, kind);
    if (kind == kEntryFile) file_count.fetch_add(1, std::memory_order_relaxed);
  }
};

// The process-wide run that the program's window, the quit sequence and the tools use,
// known by the names below: IndexRunActive and IndexMerging (index.h), IndexFileCount
// and IndexTempFile.
extern IndexRunState ProcessIndexRun;
extern std::atomic<std::int32_t>& IndexFileCount;
extern WalkFile& IndexTempFile;

// ---------------------------------------------------------------------------------------
// The scanner and the merge

// Writes a record into `run` for every file and folder below `folder` (the folder
// itself gets none), depth first, each folder's record right before its contents,
// counting each file there. `folder` is used exactly as given; sub-folder paths
// are it, one separator and the name. A folder that cannot be listed contributes
// nothing; a folder link that leads back to a folder on the current path is recorded
// but not entered again. An entry whose name holds CR or LF (possible on POSIX file
// systems) is left out with everything below it: the record format ends texts there.
// False when `folder` itself could not be listed.
bool ScanFolder(const std::string& folder, IndexRunState& run);
// The same into the process-wide run: IndexTempFile and IndexFileCount.
bool ScanFolder(const std::string& folder);
// Where a walk that is not a run's puts what it finds (the live index's scans).
class ScanSink {
 public:
  virtual ~ScanSink() = default;
  virtual void Add(std::string_view name, std::string_view folder, std::int8_t kind) = 0;
  // True once the walk is to end early; asked before each entry.
  virtual bool Stopped() const { return false; }
};
// The same walk into `sink`.
bool ScanFolder(const std::string& folder, ScanSink& sink);

// The bucket a name goes to: 0 to 25 for a first byte a-z or A-Z, 26 otherwise.
int BucketOf(std::string_view name);
// The bucket's file name: "a.db" to "z.db", and "!.db".
std::string BucketFileName(int bucket);

// Regroups the records of `walk_file` through the 27 buckets in `bucket_folder` (a path
// ending in a separator) into `out`, letters a to z first, then the rest, each bucket in
// walk order; deletes the walk file and every bucket file whatever happens. True when
// every record reached `out` (which its owner still closes).
[[nodiscard]] bool MergeWalkFile(const std::string& walk_file, const std::string& bucket_folder,
                                 platform::File& out);

// ---------------------------------------------------------------------------------------
// The run

// What a run shows while it works. Texts come without any centring; every hook may be
// called from the run's thread or the ticker's thread and must return without waiting
// for anyone. Hooks a caller does not need do nothing.
class IndexRunObserver {
 public:
  virtual ~IndexRunObserver() = default;
  virtual void ShowProgress(std::string_view /*text*/) {}  // the run's status line
  virtual void ShowDone() {}                                  // "Fertig!" where states show
  virtual void ShowBusy(bool /*busy*/) {}                     // the tray image
  virtual void ShowTooltip(std::string_view /*text*/) {}
  virtual void EnableStartItems(bool /*enabled*/) {}         // the items that start runs
  virtual bool SearchRunning() { return false; }
  virtual void ClearLastQuery() {}
};

struct IndexRunPlan {
  // Walked in this order; empty texts are skipped, a text that appears twice is walked
  // twice.
  std::vector<std::string> folders;
  std::string index_file = kIndexFileName;
  std::string walk_file = kWalkFileName;
  // Ends in a separator; empty: a private folder that the run makes for itself in the
  // user's temporary folder and removes at its end.
  std::string bucket_folder;
  // Waits for the running search and reloads the table from the new index at the end.
  bool reload = true;
  // When another run holds the index folder or the bucket folder: wait for it (true) or
  // give up at once (false).
  bool wait_for_other_run = true;
  // Ends the run's waits (for another run, for a search) at once; a run stopped there
  // loads no table.
  platform::StopToken stop;
};

enum class IndexRunOutcome {
  kReplaced,          // the index file holds the new index
  kWalkFailed,        // the walk file could not be created or written: previous index kept
  kMergeFailed,       // a bucket or the new index could not be written: previous index kept
  kNotReplaced,       // the new index was complete but the old one could not be replaced
  kOtherRunBusy,      // another run held the folders and the plan said not to wait
  kNoFolderListed,    // folders were given but not one could be listed: previous index kept
};

struct IndexRunResult {
  IndexRunOutcome outcome = IndexRunOutcome::kWalkFailed;
  std::int32_t files = 0;    // the run's file count at the end
  std::int32_t seconds = 0;  // walk and merge, whole seconds, truncated
  std::vector<std::string> unlisted_folders;  // given folders that could not be listed
};

// The final status text: "Indexierung erfolgreich: N Dateien in T sek".
std::string IndexRunSuccessText(std::int32_t files, std::int32_t seconds);
// The final status text of a run that kept the previous index.
inline constexpr char kIndexRunFailedText[] =
    "Indexierung fehlgeschlagen, der bisherige Index bleibt erhalten";

// The whole run on the calling thread, with `state` as its flags, count and walk file.
// The caller sets `state.active` to 1 before; the run sets it to 0 once the index file
// is final (before waiting for a search). Two runs at the same time need two states;
// the tables they reload (`plan.reload`) are the one process-wide table all the same.
IndexRunResult RunIndexing(const IndexRunPlan& plan, IndexRunObserver& observer,
                           IndexRunState& state);
// The same with the process-wide state (IndexRunActive, IndexMerging, IndexFileCount,
// IndexTempFile).
IndexRunResult RunIndexing(const IndexRunPlan& plan, IndexRunObserver& observer);

// Shows "Indexieren (N Dateien)", N being `count`, every 250 ms as progress and tooltip
// until `stop` is requested; a stop never interrupts an update half-way.
void IndexTicker(IndexRunObserver& observer, const platform::StopToken& stop,
                 const std::atomic<std::int32_t>& count = IndexFileCount);

}  // namespace tandrel::index
