// The response head parser and the chunk decoder on arbitrary bytes. The first byte picks
// the block size the rest is fed in; the decoder must give the same body and state
// however the blocks fall, and a complete head must not change when more bytes follow.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "updater/http.h"

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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t block = bytes[0] % 32 + 1;
  const std::string_view data(reinterpret_cast<const char*>(bytes + 1), size - 1);
  CheckHead(data);
  HttpResponseHead head;
  if (tandrel::updater::ParseHttpResponseHead(data, head) == HeadParse::kComplete) {
    CheckChunks(data.substr(head.body_start), block);
  } else {
    CheckChunks(data, block);
  }
  return 0;
}
