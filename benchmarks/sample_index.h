// A synthetic but realistic index file for benchmarks: a folder tree of a Windows
// machine (user folders, programs, system files), written in walk order and then
// regrouped by the first letter of the name, as an indexing run leaves db.db.
#pragma once

#include <cstdint>
#include <string>

namespace tandrel::bench {

struct SampleIndex {
  std::string path;
  std::int64_t records = 0;
  std::int64_t bytes = 0;
};

// Writes a sample index of `records` records to `path`; `bytes` is 0 when it could not
// be written.
SampleIndex WriteSampleIndex(std::int64_t records, const std::string& path);

// Writes (once per process and size) a sample index of `records` records into the
// temporary folder and returns where it is.
const SampleIndex& SampleIndexFile(std::int64_t records);

}  // namespace tandrel::bench
