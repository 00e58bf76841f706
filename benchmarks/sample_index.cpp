#include "sample_index.h"

#include <array>
#include <cctype>
#include <map>
#include <random>
#include <vector>

#include "index/index.h"
#include "platform/platform.h"

namespace tandrel::bench {
namespace {

const char* const kWords[] = {
    "Daten", "Projekt", "Bericht", "Rechnung", "Urlaub", "Fotos", "Musik", "Vorlage",
    "Backup", "Archiv", "Kunden", "Angebot", "Steuer", "Vertrag", "Notizen", "Bilder",
    "config", "resources", "assets", "include", "source", "library", "plugins", "cache",
    "Microsoft", "Mozilla", "Adobe", "Common Files", "System32", "WinSxS", "Temp", "Fonts",
    "\xC4nderungen", "M\xFCller", "Gr\xF6\xDF" "e", "\xDC" "bersicht", "Stra\xDF" "e", "Pr\xFC" "fung",
    "amd64_microsoft-windows", "x86_netfx4", "en-US", "de-DE", "2019", "2020", "2021", "final"};
const char* const kExtensions[] = {".txt", ".doc", ".pdf", ".jpg", ".png", ".dll", ".exe",
                                   ".xml", ".ini", ".mp3", ".h", ".cpp", ".manifest", ".cat"};

struct Walker {
  std::mt19937 random{20091213};
  std::vector<index::IndexEntry> walk;
  std::int64_t wanted = 0;

  std::string Word() { return kWords[random() % std::size(kWords)]; }

  std::string FileName() {
    std::string name = Word();
    if (random() % 3 != 0) name += (random() % 2 ? "_" : " ") + std::to_string(random() % 2000);
    return name + kExtensions[random() % std::size(kExtensions)];
  }

  // Depth-first, pre-order, like the folder scanner.
  void Folder(const std::string& path, int depth) {
    const int files = static_cast<int>(random() % (depth < 2 ? 4 : 40));
    const int folders = depth >= 9 ? 0 : static_cast<int>(random() % (depth < 3 ? 9 : 4));
    for (int i = 0; i < files + folders; ++i) {
      if (static_cast<std::int64_t>(walk.size()) >= wanted) return;
      if (i % 3 == 1 && i / 3 < folders) {
        std::string name = Word();
        if (random() % 2) name += " " + std::to_string(random() % 100);
        walk.push_back({name, path, index::kEntryFolder});
        Folder(path + "\\" + name, depth + 1);
      } else {
        walk.push_back({FileName(), path, index::kEntryFile});
      }
    }
  }
};

int Bucket(const std::string& name) {
  const unsigned char c = name.empty() ? 0 : static_cast<unsigned char>(name[0]);
  if (c < 0x80 && std::isalpha(c)) return std::tolower(c) - 'a';
  return 26;
}

}  // namespace

SampleIndex WriteSampleIndex(std::int64_t records, const std::string& path) {
  Walker walker;
  walker.wanted = records;
  const std::array<std::string, 4> roots = {"C:\\Users\\Anna", "C:\\Program Files",
                                            "C:\\Windows", "D:"};
  while (static_cast<std::int64_t>(walker.walk.size()) < records) {
    for (const std::string& root : roots) walker.Folder(root, 0);
  }
  std::array<std::vector<const index::IndexEntry*>, 27> buckets;
  for (const index::IndexEntry& e : walker.walk) buckets[Bucket(e.name)].push_back(&e);

  SampleIndex sample;
  sample.path = path;
  sample.records = records;
  platform::File file(sample.path, platform::OpenMode::kCreate, 1 << 16);
  for (const auto& bucket : buckets) {
    for (const index::IndexEntry* e : bucket) {
      index::WriteIndexRecord(file, e->name, e->folder, e->kind);
      sample.bytes += static_cast<std::int64_t>(e->name.size() + e->folder.size() + 5);
    }
  }
  if (!file.Close()) sample.bytes = 0;
  return sample;
}

const SampleIndex& SampleIndexFile(std::int64_t records) {
  static std::map<std::int64_t, SampleIndex> made;
  auto found = made.find(records);
  if (found != made.end()) return found->second;
  const std::string path =
      platform::TemporaryFolder() + "tandrel-bench-" + std::to_string(records) + ".db";
  return made.emplace(records, WriteSampleIndex(records, path)).first->second;
}

}  // namespace tandrel::bench
