// The URL split and the request built from it on arbitrary text: whatever is accepted
// gives a host and path that cannot break the request, and a request within the buffer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "updater/http.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Printable(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view url(reinterpret_cast<const char*>(bytes), size);
  const auto parts = tandrel::updater::SplitHttpUrl(url);
  if (!parts) return 0;
  Require(url.find("://") != std::string_view::npos);
  Require(!parts->host.empty() && Printable(parts->host) && Printable(parts->path));
  Require(parts->host.find_first_of(":/") == std::string::npos);
  Require(url.find(parts->host) != std::string_view::npos);
  const auto request = tandrel::updater::FormatHttpRequest(*parts);
  if (!request) return 0;
  Require(request->size() < tandrel::updater::HttpWorkBufferSize(*parts));
  Require(request->rfind("GET /" + parts->path + " HTTP/1.1\r\n", 0) == 0);
  Require(request->find("\r\n\r\n") == request->size() - 4);
  return 0;
}
