// The updater's HTTP client: one GET per download over plain HTTP/1.1, the response body
// stored in a local file. The pieces that read text (URL, response head, chunked body)
// are pure functions of their input so that they can be tested and fuzzed on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tandrel::updater {

// The largest body a download accepts unless told otherwise, in bytes.
inline constexpr std::int64_t kHttpBodyLimit = 1'000'000'000;
// How long a download may take unless told otherwise.
inline constexpr std::uint32_t kHttpDeadlineMs = 600'000;
// The status line and the headers must end within this many bytes.
inline constexpr std::size_t kHttpHeadLimit = 16 * 1024;

struct HttpLimits {
  // The body as it comes over the connection: chunk-size lines, their extensions and
  // every line end count as well as the data.
  std::int64_t max_body_bytes = kHttpBodyLimit;
  // From the start of the request to the last byte of the body. Name lookup and the
  // connection itself keep the system's own time-outs.
  std::uint32_t deadline_ms = kHttpDeadlineMs;
};

struct HttpUrlParts {
  std::string host;
  std::uint16_t port = 80;
  std::string path;  // after the "/" that ends the host part; sent as it is
};

// Splits "scheme://[user@]host[:port][/path]". Empty when the URL has no "://", no host,
// or bytes in host or path that would break the request line (controls, spaces).
std::optional<HttpUrlParts> SplitHttpUrl(std::string_view url);

// The GET request for `url`; empty when it does not fit the work buffer of
// (host length + 1024) bytes together with a terminating zero.
std::optional<std::string> FormatHttpRequest(const HttpUrlParts& url);
std::size_t HttpWorkBufferSize(const HttpUrlParts& url);

struct HttpResponseHead {
  int status = 0;
  bool chunked = false;
  std::int64_t content_length = -1;  // -1: no Content-Length header
  std::size_t body_start = 0;        // offset of the first body byte in the parsed data
};

enum class HeadParse {
  kNeedMore,   // the empty line that ends the head has not arrived yet
  kComplete,   // `head` is filled
  kMalformed,  // no HTTP status line, or a header value that cannot be read
};

// Reads the status line and the headers from the start of a response.
HeadParse ParseHttpResponseHead(std::string_view data, HttpResponseHead& head);
bool IsAcceptedHttpStatus(int status);

// Decodes a chunked body fed in blocks that may split it anywhere.
class ChunkedBodyDecoder {
 public:
  enum class State { kMore, kDone, kMalformed };

  // Every byte fed counts toward `max_bytes` up to the end of the last size line; a body
  // that needs more is malformed.
  explicit ChunkedBodyDecoder(std::int64_t max_bytes = kHttpBodyLimit) : max_bytes_(max_bytes) {}

  // Appends the data bytes found in `block` to `out`. Bytes after the final zero-size
  // chunk are ignored.
  State Feed(std::string_view block, std::string& out);
  State state() const { return state_; }

 private:
  enum class Step { kSize, kSizeLineEnd, kData, kDataCr, kDataLf };
  // Decodes from the start of `block`; the number of bytes taken.
  std::size_t Decode(std::string_view block, std::string& out);

  std::int64_t max_bytes_;
  std::int64_t fed_ = 0;
  State state_ = State::kMore;
  Step step_ = Step::kSize;
  bool size_has_digit_ = false;
  std::int64_t chunk_left_ = 0;
};

// Starts the network layer once, before the first download.
bool StartHttpNetwork();

// Fetches `url` into `file`. True only when the status was accepted (200 or 302) and the
// whole body arrived (or, without a length, the connection ended) within `limits`;
// otherwise false and no file of that name was created or one that was created is
// removed again.
bool ReceiveHttpFile(std::string_view url, const std::string& file, const HttpLimits& limits = {});

}  // namespace tandrel::updater
