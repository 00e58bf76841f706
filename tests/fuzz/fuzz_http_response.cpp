// The response head parser, the chunk decoder and the release description parser on
// arbitrary bytes. The first byte picks the block size the rest is fed in; the decoder
// must give the same body and state however the blocks fall, and never more than its
// limit; a complete head must not change when more bytes follow; a description that is
// accepted keeps the layout the updater relies on, in the bytes as they come and in a
// body that was sent in chunks.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "updater/http.h"
#include "updater/release.h"

using tandrel::updater::ChunkedBodyDecoder;
using tandrel::updater::HeadParse;
using tandrel::updater::HttpResponseHead;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckHead(std::string_view data) {
  HttpResponseHead head;
  if (tandrel::updater::ParseHttpResponseHead(data, head) != HeadParse::kComplete) return;
  Require(head.body_start <= data.size());
  Require(head.status >= 0 && head.status <= 999);
  Require(head.content_length >= -1);
  std::string longer(data);
  longer.append("\r\n\r\nHTTP/1.1 404\r\n");
  HttpResponseHead again;
  Require(tandrel::updater::ParseHttpResponseHead(longer, again) == HeadParse::kComplete);
  Require(again.status == head.status && again.chunked == head.chunked &&
          again.content_length == head.content_length && again.body_start == head.body_start);
}

void CheckDescription(std::string_view bytes) {
  const auto description = tandrel::updater::ParseReleaseDescription(bytes);
  if (!description) return;
  Require(description->first_signed_size < description->signed_size && description->signed_size < bytes.size());
  Require(bytes.ends_with("\r\n") && bytes.size() <= tandrel::updater::kReleaseDescriptionLimit);
  Require(description->serial > 0 && description->expires >= 0 &&
          description->length <= tandrel::updater::kPackageLengthLimit);
  Require(description->sha256.size() == 64 && !description->signature.empty() &&
          !description->first_signature.empty());
  // What the last signature covers decides every field: another signature line gives
  // the same description.
  const std::string resigned = std::string(bytes.substr(0, description->signed_size)) + "sig 00\r\n";
  const auto again = tandrel::updater::ParseReleaseDescription(resigned);
  Require(again && again->serial == description->serial && again->expires == description->expires &&
          again->length == description->length && again->checksum == description->checksum &&
          again->notes == description->notes && again->signed_size == description->signed_size);
}

void CheckChunks(std::string_view data, std::size_t block) {
  ChunkedBodyDecoder whole;
  std::string whole_out;
  whole.Feed(data, whole_out);
  ChunkedBodyDecoder pieces;
  std::string pieces_out;
  for (std::size_t at = 0; at < data.size(); at += block) {
    pieces.Feed(data.substr(at, block), pieces_out);
  }
  Require(whole.state() == pieces.state());
  Require(whole_out == pieces_out);
  Require(whole_out.size() <= data.size());
  // A small limit: what comes out is the start of the same body, and a body that ends
  // within the limit is the whole body.
  const auto limit = static_cast<std::int64_t>(block * 5);
  ChunkedBodyDecoder limited(limit);
  std::string limited_out;
  for (std::size_t at = 0; at < data.size(); at += block) limited.Feed(data.substr(at, block), limited_out);
  Require(static_cast<std::int64_t>(limited_out.size()) <= limit);
  Require(whole_out.starts_with(limited_out));
  if (limited.state() == ChunkedBodyDecoder::State::kDone) {
    Require(whole.state() == ChunkedBodyDecoder::State::kDone && whole_out == limited_out);
  }
  CheckDescription(whole_out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t block = bytes[0] % 32 + 1;
  const std::string_view data(reinterpret_cast<const char*>(bytes + 1), size - 1);
  CheckHead(data);
  CheckDescription(data);
  HttpResponseHead head;
  if (tandrel::updater::ParseHttpResponseHead(data, head) == HeadParse::kComplete) {
    CheckChunks(data.substr(head.body_start), block);
  } else {
    CheckChunks(data, block);
  }
  return 0;
}
