// The record format: name, CR LF, folder, CR LF, one kind byte. No header, no count.
#include "index/index.h"

namespace tandrel::index {

bool WriteIndexRecord(platform::File& file, std::string_view name, std::string_view folder,
                      std::int8_t kind) {
  bool ok = file.Write(name);
  ok = file.Write("\r\n") && ok;
  ok = file.Write(folder) && ok;
  ok = file.Write("\r\n") && ok;
  return file.WriteByte(static_cast<std::uint8_t>(kind)) && ok;
}

void ReadIndexRecord(platform::File& file, IndexEntry& entry) {
  file.ReadLine(entry.name);
  file.ReadLine(entry.folder);
  entry.kind = file.ReadByte();
}

}  // namespace tandrel::index
