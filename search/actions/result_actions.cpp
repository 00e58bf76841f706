// The actions on the hits that happen at once on the main thread: opening them, opening
// their folders, dragging them out and putting them on the clipboard.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/process.h"
#include "platform/stored_names.h"
#include "search/actions/result_actions_internal.h"

namespace tandrel::actions {
namespace {

constexpr std::size_t kFoldersWithoutQuestion = 10;
constexpr char kManyFoldersText[] =
    "Das gleichzeitige \xF6" "ffnen vieler Ordner kann dazu f\xFChren dass Ihr System nicht mehr reagiert!\n"
    "Fortfahren?";

std::string WithSeparator(const std::string& folder) { return folder + platform::kPathSeparator; }

std::vector<std::string> FullPaths(const std::vector<Hit>& hits) {
  std::vector<std::string> paths;
  paths.reserve(hits.size());
  for (const Hit& hit : hits) paths.push_back(WithSeparator(hit.folder) + hit.name);
  return paths;
}

struct FolderHits {
  std::string folder;  // with the separator
  std::vector<std::string> names;
};

// The hits grouped by folder, folders in the order of their first hit: one file browser
// window per folder shows all of its hits selected.
std::vector<FolderHits> GroupByFolder(const std::vector<Hit>& hits) {
  std::vector<FolderHits> groups;
  std::map<std::string, std::size_t> index;
  for (const Hit& hit : hits) {
    if (hit.name.empty()) continue;
    const auto [at, added] = index.try_emplace(hit.folder, groups.size());
    if (added) groups.push_back({WithSeparator(hit.folder), {}});
    groups[at->second].names.push_back(hit.name);
  }
  return groups;
}

// False, with the reason in the state field, when the hit's path does not stand for
// exactly one file.
bool FindsOneFile(ui::Ui& ui, const ResultControls& c, const Hit& hit) {
  const platform::StoredPathMatch match = platform::MatchStoredPath(WithSeparator(hit.folder) + hit.name);
  if (match == platform::StoredPathMatch::kOne) return true;
  const char* why = match == platform::StoredPathMatch::kNone ? kHitNotFoundText : kHitAmbiguousText;
  ui.PostStatusText(c.state_field, ui::Centred(why + hit.name));
  return false;
}

}  // namespace

std::vector<Hit> SelectedHits(ui::Ui& ui, const ResultControls& c) {
  const std::shared_ptr<const ui::RowSource> rows = ui.Rows(c.window, c.result_list);
  std::vector<Hit> hits;
  if (!rows) return hits;
  const std::int32_t count = rows->RowCount();
  for (const std::int32_t row : ui.SelectedRows(c.window, c.result_list)) {
    if (row < 0 || row >= count) continue;
    Hit hit{std::string(rows->Cell(row, 0)), std::string(rows->Cell(row, 1))};
    if (FindsOneFile(ui, c, hit)) hits.push_back(std::move(hit));
  }
  return hits;
}

void OpenHits(ui::Ui& ui, const ResultControls& c) {
  for (const Hit& hit : SelectedHits(ui, c)) {
    if (hit.name.empty()) continue;
    const std::string folder = WithSeparator(hit.folder);
    platform::StartOrOpen(ui, folder + hit.name, "", folder);
  }
}

void OpenFirstHit(ui::Ui& ui, const ResultControls& c) {
  const std::shared_ptr<const ui::RowSource> rows = ui.Rows(c.window, c.result_list);
  const std::int32_t row = ui.SelectedRow(c.window, c.result_list);
  if (!rows || row < 0 || row >= rows->RowCount()) return;
  const Hit hit{std::string(rows->Cell(row, 0)), std::string(rows->Cell(row, 1))};
  if (!FindsOneFile(ui, c, hit)) return;
  const std::string folder = WithSeparator(hit.folder);
  platform::StartOrOpen(ui, folder + hit.name, "", folder);
}

void OpenHitFolders(ui::Ui& ui, const ResultControls& c) {
  const std::vector<Hit> hits = SelectedHits(ui, c);
  if (hits.size() > kFoldersWithoutQuestion && !ui.AskYesNo("Warnung", kManyFoldersText)) return;
  for (const FolderHits& group : GroupByFolder(hits)) {
    if (ui.ShowInFolder(group.folder, group.names)) continue;
    // The file browser's own command line selects one item: the folder's first hit, when
    // its ANSI path is its real one and stays inside its quotes.
    const std::string first = group.folder + group.names.front();
    const std::optional<std::string> quoted = platform::QuotedWord(std::string_view(first));
    if (quoted && !platform::IsLossyStoredForm(first) &&
        ui.StartCommandLine("explorer.exe /select," + *quoted, group.folder)) {
      continue;
    }
    ui.OpenWithShell(group.folder, "", group.folder);
  }
}

void DragHits(ui::Ui& ui, const ResultControls& c) {
  const std::vector<Hit> hits = SelectedHits(ui, c);
  if (hits.empty()) return;
  ui.DragFiles(FullPaths(hits));
}

void CopyHitsToClipboard(ui::Ui& ui, const ResultControls& c) {
  const std::vector<Hit> hits = SelectedHits(ui, c);
  if (hits.empty()) return;
  ui.PutFilesOnClipboard(FullPaths(hits));
}

void ShowShellMenuForHits(ui::Ui& ui, const ResultControls& c) {
  const std::vector<Hit> hits = SelectedHits(ui, c);
  if (hits.empty()) return;
  ui.ShowShellMenu(FullPaths(hits));
}

}  // namespace tandrel::actions
