#include "updater/package_writer.h"

#include "updater/jc_format.h"
#include "updater/package.h"

namespace tandrel::updater {

bool AppendPackageEntry(std::span<const std::uint8_t> content, std::vector<std::uint8_t>& package) {
  if (content.size() > kMaxEntrySize) return false;
  std::vector<std::uint8_t> stream;
  if (!content.empty()) stream = JcEncode(content);
  const bool compress = !content.empty() && stream.size() < content.size();
  const std::span<const std::uint8_t> data = compress ? std::span<const std::uint8_t>(stream) : content;
  std::uint8_t header[8];
  StoreLittleEndian32(header, static_cast<std::uint32_t>(content.size()));
  StoreLittleEndian32(header + 4, static_cast<std::uint32_t>(data.size()));
  package.insert(package.end(), header, header + 8);
  package.insert(package.end(), data.begin(), data.end());
  return true;
}

}  // namespace tandrel::updater
