// Regrouping the walk by first letter: one pass over the walk file into 27 bucket
// files, one pass over the buckets into the new index. Two sequential passes and 27
// open files instead of sorting anything in memory.
#include <array>

#include "index/indexing.h"

namespace tandrel::index {
namespace {

constexpr std::size_t kMergeBufferSize = platform::File::kDefaultBufferSize;
constexpr int kOtherBucket = kBucketCount - 1;

struct Buckets {
  std::array<std::string, kBucketCount> paths;
  std::array<platform::File, kBucketCount> files;
};

// Each bucket starts empty, so a bucket left behind by an interrupted run adds nothing.
// Whatever has the name is removed and the bucket made anew, never opened through a link
// (in a shared folder another user could have put one there).
bool CreateBuckets(const std::string& folder, Buckets& buckets) {
  bool ok = true;
  for (int b = 0; b < kBucketCount; ++b) {
    buckets.paths[b] = folder + BucketFileName(b);
    platform::RemoveFile(buckets.paths[b]);
    buckets.files[b] = platform::File(buckets.paths[b], platform::OpenMode::kCreateNew, kMergeBufferSize);
    ok = buckets.files[b].IsOpen() && ok;
  }
  return ok;
}

bool Distribute(const std::string& walk_file, Buckets& buckets) {
  platform::File walk(walk_file, platform::OpenMode::kRead, kMergeBufferSize);
  if (!walk.IsOpen()) return false;
  bool ok = true;
  std::string name;
  std::string spill;
  while (!walk.AtEnd()) {
    walk.ReadLine(name);
    const std::string_view folder = walk.ReadLineView(spill);
    const std::int8_t kind = walk.ReadByte();  // the folder view survives one byte read
    ok = WriteIndexRecord(buckets.files[BucketOf(name)], name, folder, kind) && ok;
  }
  return ok;
}

// Appends the bucket's bytes to `out` (they are whole records, in walk order), then
// closes and deletes the bucket.
bool DrainBucket(platform::File& bucket, const std::string& path, platform::File& out) {
  bool ok = bucket.IsOpen() && bucket.Seek(0);
  if (ok && out.IsOpen()) {
    char chunk[kMergeBufferSize];
    for (std::size_t got; (got = bucket.Read(chunk, sizeof chunk)) > 0;) {
      ok = out.Write(std::string_view(chunk, got)) && ok;
    }
  }
  ok = bucket.Close() && ok;
  platform::RemoveFile(path);
  return ok;
}

}  // namespace

int BucketOf(std::string_view name) {
  if (name.empty()) return kOtherBucket;
  const char c = name[0];
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  return kOtherBucket;
}

std::string BucketFileName(int bucket) {
  if (bucket < 0 || bucket >= kOtherBucket) return "!.db";
  return std::string(1, static_cast<char>('a' + bucket)) + ".db";
}

bool MergeWalkFile(const std::string& walk_file, const std::string& bucket_folder, platform::File& out) {
  Buckets buckets;
  bool ok = CreateBuckets(bucket_folder, buckets);
  ok = Distribute(walk_file, buckets) && ok;
  platform::RemoveFile(walk_file);

  ok = out.IsOpen() && ok;
  // Every bucket is drained, closed and deleted even when the target failed.
  for (int b = 0; b < kBucketCount; ++b) {
    ok = DrainBucket(buckets.files[b], buckets.paths[b], out) && ok;
  }
  return ok;
}

}  // namespace tandrel::index
