// ReceiveHttpFile: one blocking GET over a TcpConnection. Every receive polls for pending
// bytes every 100 ms and gives up after a number of seconds, or sooner when the whole
// download's deadline comes first.
#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "platform/socket.h"
#include "updater/http.h"

namespace tandrel::updater {
namespace {

using platform::TcpConnection;

constexpr std::uint32_t kTransferMs = 10'000;
// Without a length the body ends when nothing more comes for about a second.
constexpr std::uint32_t kUntilCloseMs = 1'000;
constexpr std::uint32_t kSendPauseMilliseconds = 50;
constexpr std::uint32_t kPollPauseMilliseconds = 100;
constexpr std::size_t kBlockSize = 1024;

// Waits are measured on the millisecond clock, not in whole seconds of the wall clock: a
// wall-clock second can turn over just after a wait began, and a one-second wait that
// ends after a few milliseconds would cut a read-until-close body short at any pause.
class Deadline {
 public:
  explicit Deadline(std::uint32_t ms) : start_(platform::TickCount()), ms_(ms) {}
  bool Passed() const { return Elapsed() >= ms_; }
  // `wait_ms`, or what is left of the deadline when that is less.
  std::uint32_t Bound(std::uint32_t wait_ms) const {
    const std::uint32_t elapsed = Elapsed();
    return elapsed >= ms_ ? 0 : std::min(wait_ms, ms_ - elapsed);
  }

 private:
  std::uint32_t Elapsed() const { return platform::TickCount() - start_; }
  std::uint32_t start_;
  std::uint32_t ms_;
};

bool SendRequest(TcpConnection& connection, std::string_view request, const Deadline& deadline) {
  const Deadline send(deadline.Bound(kTransferMs));
  while (!request.empty()) {
    if (send.Passed()) return false;
    const std::ptrdiff_t sent = connection.Send(request.data(), request.size());
    if (sent > 0) {
      request.remove_prefix(static_cast<std::size_t>(sent));
    } else {
      platform::Sleep(kSendPauseMilliseconds);
    }
  }
  return true;
}

// Bytes received into `data`, 0 when none came within `wait_ms`.
std::size_t ReceiveWithin(TcpConnection& connection, char* data, std::size_t size, std::uint32_t wait_ms) {
  const Deadline wait(wait_ms);
  while (!wait.Passed()) {
    const std::ptrdiff_t pending = connection.PendingBytes();
    if (pending < 0) return 0;
    if (pending > 0) {
      const std::ptrdiff_t got = connection.Receive(data, size);
      return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    platform::Sleep(wait.Bound(kPollPauseMilliseconds));
  }
  return 0;
}

// The connection, the work buffer the blocks arrive in, and the file they go to.
class BodyReader {
 public:
  BodyReader(TcpConnection& connection, std::vector<char>& work, platform::File& file,
             std::int64_t max_bytes, const Deadline& deadline)
      : connection_(connection), work_(work), file_(file), max_bytes_(max_bytes), deadline_(deadline) {}

  bool ReadLength(std::string_view first, std::int64_t length) {
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::int64_t>(length, static_cast<std::int64_t>(first.size())));
    if (!Store(first.substr(0, take))) return false;
    std::int64_t missing = length - static_cast<std::int64_t>(take);
    while (missing > 0) {
      const std::string_view block =
          Receive(static_cast<std::size_t>(std::min<std::int64_t>(missing, kBlockSize)), kTransferMs);
      if (block.empty() || !Store(block)) return false;
      missing -= static_cast<std::int64_t>(block.size());
    }
    return true;
  }

  bool ReadChunked(std::string_view first) {
    ChunkedBodyDecoder decoder(max_bytes_);
    std::string data;
    decoder.Feed(first, data);
    for (;;) {
      if (!Store(data)) return false;
      if (decoder.state() != ChunkedBodyDecoder::State::kMore) break;
      const std::string_view block = Receive(kBlockSize, kTransferMs);
      if (block.empty()) return false;
      data.clear();
      decoder.Feed(block, data);
    }
    return decoder.state() == ChunkedBodyDecoder::State::kDone;
  }

  // One byte more than the limit is asked for, so that a body just above it is seen.
  bool ReadUntilClose(std::string_view first) {
    std::int64_t total = static_cast<std::int64_t>(first.size());
    if (total > max_bytes_ || !Store(first)) return false;
    for (;;) {
      const std::string_view block = Receive(
          static_cast<std::size_t>(std::min<std::int64_t>(max_bytes_ + 1 - total, kBlockSize)), kUntilCloseMs);
      // Nothing for a second ends the body, unless it was the deadline that ended the wait.
      if (block.empty()) return !deadline_.Passed();
      total += static_cast<std::int64_t>(block.size());
      if (total > max_bytes_ || !Store(block)) return false;
    }
  }

 private:
  std::string_view Receive(std::size_t size, std::uint32_t wait_ms) {
    return {work_.data(), ReceiveWithin(connection_, work_.data(), size, deadline_.Bound(wait_ms))};
  }

  // Each block goes to the disk as it arrives; nothing of the body is held back.
  bool Store(std::string_view bytes) {
    return bytes.empty() || (file_.Write(bytes) && file_.Flush());
  }

  TcpConnection& connection_;
  std::vector<char>& work_;
  platform::File& file_;
  std::int64_t max_bytes_;
  const Deadline& deadline_;
};

// Receives until the status line and the headers are complete, at most kHttpHeadLimit
// bytes. `data` then holds them and whatever body bytes came with them.
bool ReceiveHead(TcpConnection& connection, std::vector<char>& work, std::string& data,
                 HttpResponseHead& head, const Deadline& deadline) {
  for (;;) {
    const std::size_t room = std::min(kBlockSize, kHttpHeadLimit - data.size());
    if (room == 0) return false;
    const std::size_t got = ReceiveWithin(connection, work.data(), room, deadline.Bound(kTransferMs));
    if (got == 0) return false;
    data.append(work.data(), got);
    switch (ParseHttpResponseHead(data, head)) {
      case HeadParse::kComplete:
        return true;
      case HeadParse::kMalformed:
        return false;
      case HeadParse::kNeedMore:
        break;
    }
  }
}

bool ReadBody(BodyReader& reader, const HttpResponseHead& head, std::string_view first) {
  if (head.chunked) return reader.ReadChunked(first);
  if (head.content_length >= 0) return reader.ReadLength(first, head.content_length);
  return reader.ReadUntilClose(first);
}

}  // namespace

bool StartHttpNetwork() { return platform::StartNetwork(); }

bool ReceiveHttpFile(std::string_view url, const std::string& file, const HttpLimits& limits) {
  const Deadline deadline(limits.deadline_ms);
  const std::optional<HttpUrlParts> parts = SplitHttpUrl(url);
  if (!parts) return false;
  const std::optional<std::string> request = FormatHttpRequest(*parts);
  if (!request) return false;
  TcpConnection connection = TcpConnection::Connect(parts->host, parts->port);
  if (!connection.IsOpen()) return false;
  std::vector<char> work(HttpWorkBufferSize(*parts));
  if (!SendRequest(connection, *request, deadline)) return false;

  std::string head_data;
  HttpResponseHead head;
  if (!ReceiveHead(connection, work, head_data, head, deadline)) return false;
  if (!IsAcceptedHttpStatus(head.status)) return false;
  if (!head.chunked && head.content_length > limits.max_body_bytes) return false;

  platform::File out(file, platform::OpenMode::kCreate);
  if (!out.IsOpen()) return false;
  BodyReader reader(connection, work, out, limits.max_body_bytes, deadline);
  const bool complete =
      ReadBody(reader, head, std::string_view(head_data).substr(head.body_start));
  const bool closed = out.Close();
  if (complete && closed) return true;
  platform::RemoveFile(file);
  return false;
}

}  // namespace tandrel::updater
