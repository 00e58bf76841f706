#include "updater/http.h"

namespace tandrel::updater {
namespace {

constexpr std::size_t kRequestRoom = 1024;

// Bytes that would end or split the request line or the Host header.
bool BreaksRequest(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// Leading spaces, an optional sign, then digits up to the first other character; the
// value is kept modulo 2^16, as a 16-bit port holds it.
std::uint16_t ReadPort(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = (value * 10 + static_cast<std::uint32_t>(text[i] - '0')) & 0xFFFF;
  }
  if (negative) value = (0x10000 - value) & 0xFFFF;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<HttpUrlParts> SplitHttpUrl(std::string_view url) {
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return std::nullopt;
  std::string_view rest = url.substr(scheme_end + 3);
  HttpUrlParts parts;
  const std::size_t slash = rest.find('/');
  // "@" and ":" count only before the path: a path may hold both.
  std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) parts.path = std::string(rest.substr(slash + 1));
  const std::size_t at = authority.find('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  const std::size_t colon = authority.find(':');
  parts.host = std::string(authority.substr(0, colon));
  if (colon != std::string_view::npos) parts.port = ReadPort(authority.substr(colon + 1));
  if (parts.host.empty() || BreaksRequest(parts.host) || BreaksRequest(parts.path)) {
    return std::nullopt;
  }
  return parts;
}

std::size_t HttpWorkBufferSize(const HttpUrlParts& url) { return url.host.size() + kRequestRoom; }

std::optional<std::string> FormatHttpRequest(const HttpUrlParts& url) {
  std::string port;
  if (url.port != 80) port = ":" + std::to_string(url.port);
  std::string request = "GET /" + url.path + " HTTP/1.1\r\nAccept: */*\r\nHost: " + url.host +
                        port + "\r\nConnection: close\r\n\r\n";
  if (request.size() + 1 > HttpWorkBufferSize(url)) return std::nullopt;
  return request;
}

}  // namespace tandrel::updater
