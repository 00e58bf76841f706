// tdl search: the window's search, answered on standard output.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "index/live_keeper.h"
#include "platform/platform.h"
#include "search/search.h"
#include "tools/tdl/commands.h"
#include "tools/tdl/options.h"

namespace tandrel::tdl {

const char kSearchUsage[] =
    "usage: tdl search [--db FILE] [--files | --folders] [--tsv] [--count] [--no-snapshot]\n"
    "                  QUERY\n"
    "\n"
    "Lists the entries of the index whose names match QUERY, in index order, exactly as\n"
    "the query field of Tandrel does: every space-separated word must occur in the name,\n"
    "case ignored; \"*\" separates pieces that must occur in order.\n"
    "\n"
    "  --db FILE   the index file (default: db.db beside tdl)\n"
    "  --files     list files only\n"
    "  --folders   list folders only\n"
    "  --tsv       name, TAB, folder, TAB, kind (0 file, 1 folder) per line\n"
    "  --count     print only the number of hits\n"
    "  --no-snapshot  read the index file itself, not its snapshot (FILE's name with\n"
    "              .snap for .db), and write none\n"
    "\n"
    "Exit status: 0 hits found, 1 no hits, 2 usage error, unreadable index, refused query\n"
    "or standard output that could not be written.\n";

namespace {

struct SearchArgs {
  std::string db;
  search::KindFilter filter = search::KindFilter::kFilesAndFolders;
  bool tsv = false;
  bool count = false;
  bool snapshot = true;
  bool help = false;
  std::optional<std::string> query;
};

bool SearchUsageError(std::string_view what) {
  std::fprintf(stderr, "tdl search: %.*s\n\n%s", static_cast<int>(what.size()), what.data(), kSearchUsage);
  return false;
}

bool ParseSearchArgs(std::span<const std::string_view> args, SearchArgs& out) {
  bool files = false;
  bool folders = false;
  bool no_snapshot = false;
  const ParsedOptions parsed = ParseOptions(
      args, {.values = {{"--db", &out.db}},
             .flags = {{"--files", &files}, {"--folders", &folders}, {"--tsv", &out.tsv},
                       {"--count", &out.count}, {"--no-snapshot", &no_snapshot}},
             .short_help = true,
             .double_dash_ends_options = true,
             .max_operands = 1});
  switch (parsed.fault) {
    case OptionFault::kNone: break;
    case OptionFault::kMissingValue: return SearchUsageError("--db needs a file");
    case OptionFault::kUnknownOption: return SearchUsageError(UnknownOptionText(parsed.culprit));
    case OptionFault::kTooManyOperands: return SearchUsageError("the query must be one argument (quote it)");
    case OptionFault::kEmptyOperand: break;
  }
  if (parsed.help) {
    out.help = true;
    return true;
  }
  out.snapshot = !no_snapshot;
  if (files && folders) return SearchUsageError("--files and --folders exclude each other");
  if (parsed.operands.empty()) return SearchUsageError("no query");
  out.query = std::string(parsed.operands[0]);
  if (files) out.filter = search::KindFilter::kFilesOnly;
  if (folders) out.filter = search::KindFilter::kFoldersOnly;
  if (out.db.empty()) out.db = platform::ProgramFolder() + "db.db";
  return true;
}

// A hit at or above the table's count is an entry the journal added.
void PrintHits(const index::IndexTable& base, const index::IndexTable* added, const std::vector<std::int32_t>& hits,
               bool tsv) {
  std::string out;
  out.reserve(1 << 16);
  for (const std::int32_t hit : hits) {
    const index::IndexTable& from = hit < base.EntryCount() ? base : *added;
    const std::int32_t i = hit < base.EntryCount() ? hit : hit - base.EntryCount();
    if (tsv) {
      out.append(from.Name(i)).push_back('\t');
      out.append(from.Folder(i)).push_back('\t');
      out.push_back(from.Kind(i) == index::kEntryFolder ? '1' : '0');
    } else {
      out.append(from.Folder(i)).push_back(platform::kPathSeparator);
      out.append(from.Name(i));
    }
    out.push_back('\n');
    if (out.size() >= (1 << 16) - 512) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

bool JournalHasRecords(const std::string& db) {
  const platform::File journal(index::JournalPathFor(db), platform::OpenMode::kRead, 16);
  const std::optional<platform::FileStamp> stamp = journal.Stamp();
  return stamp && stamp->size > index::kJournalHeaderBytes;
}

int SearchLive(const SearchArgs& parsed, index::LoadOptions options) {
  options.search_only = false;
  options.required_pieces.clear();
  const index::LoadedLiveIndex loaded = index::LoadLiveIndex(parsed.db, options);
  if (!loaded.index_read) {
    std::fprintf(stderr, "tdl search: cannot read the index file %s\n", parsed.db.c_str());
    return kExitUsage;
  }
  const index::LiveIndexVersion version = loaded.live->Publish();
  std::vector<std::int32_t> hits;
  search::ScanOptions scan;
  scan.filter = parsed.filter;
  search::ScanLiveIndex(version, *parsed.query, scan, hits);
  platform::UseBinaryStandardOutput();
  if (parsed.count) {
    std::printf("%zu\n", hits.size());
  } else {
    PrintHits(*version.table, version.added.get(), hits, parsed.tsv);
  }
  if (!FinishStandardOutput("tdl search")) return kExitUsage;
  return hits.empty() ? 1 : 0;
}

}  // namespace

int RunSearchCommand(std::span<const std::string_view> args) {
  SearchArgs parsed;
  if (!ParseSearchArgs(args, parsed)) return kExitUsage;
  if (parsed.help) {
    std::fputs(kSearchUsage, stdout);
    return FinishStandardOutput("tdl search") ? 0 : kExitUsage;
  }
  if (!search::QueryLongEnough(*parsed.query)) {
    std::fputs("Mindestens 3 Zeichen\n", stderr);
    return kExitUsage;
  }
  // This process lives for one search: the snapshot is mapped, and for a count only
  // what the search reads is fetched and checked.
  index::LoadOptions options;
  options.use_snapshot = parsed.snapshot;
  options.map_snapshot = true;
  options.search_only = parsed.count;
  // A count can be answered from the snapshot's runs, or from the few blocks they leave.
  if (parsed.count) options.required_pieces = search::QueryPieces(*parsed.query);
  // Changes journaled by tdl watch: the table is then needed whole, entry numbers and all.
  if (JournalHasRecords(parsed.db)) return SearchLive(parsed, options);
  index::LoadedIndex loaded = index::LoadIndexFile(parsed.db, options);
  const std::shared_ptr<const index::IndexTable> table = loaded.table;
  if (!table) {
    std::fprintf(stderr, "tdl search: cannot read the index file %s\n", parsed.db.c_str());
    return kExitUsage;
  }
  std::vector<std::int32_t> hits;
  search::ScanOptions scan;
  scan.filter = parsed.filter;
  search::ScanIndex(*table, *parsed.query, scan, hits);
  platform::UseBinaryStandardOutput();
  if (parsed.count) {
    std::printf("%zu\n", hits.size());
  } else {
    PrintHits(*table, nullptr, hits, parsed.tsv);
  }
  if (!FinishStandardOutput("tdl search")) return kExitUsage;
  // After the answer: the next search of this index reads the snapshot instead. A
  // snapshot that cannot be written changes nothing but speed.
  if (parsed.snapshot && loaded.renew_snapshot) loaded.renew_snapshot();
  return hits.empty() ? 1 : 0;
}

}  // namespace tandrel::tdl
