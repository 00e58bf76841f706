// ReceiveHttpFile: one blocking GET over a TcpConnection. Every receive polls for pending
// bytes every 100 ms and gives up after a number of whole seconds of the local clock.
#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/platform.h"
#include "platform/socket.h"
#include "updater/http.h"

namespace tandrel::updater {
namespace {

using platform::TcpConnection;

constexpr int kTransferSeconds = 10;
// Without a length the body ends when nothing more comes for about a second.
constexpr int kUntilCloseSeconds = 1;
constexpr std::uint32_t kSendPauseMilliseconds = 50;
constexpr std::uint32_t kPollPauseMilliseconds = 100;
constexpr std::size_t kBlockSize = 1024;

bool WithinSeconds(std::time_t start, int seconds) {
  return std::difftime(std::time(nullptr), start) < seconds;
}

bool SendRequest(TcpConnection& connection, std::string_view request) {
  const std::time_t start = std::time(nullptr);
  while (!request.empty()) {
    if (!WithinSeconds(start, kTransferSeconds)) return false;
    const std::ptrdiff_t sent = connection.Send(request.data(), request.size());
    if (sent > 0) {
      request.remove_prefix(static_cast<std::size_t>(sent));
    } else {
      platform::Sleep(kSendPauseMilliseconds);
    }
  }
  return true;
}

// Bytes received into `data`, 0 when none came within `seconds`.
std::size_t ReceiveWithin(TcpConnection& connection, char* data, std::size_t size, int seconds) {
  const std::time_t start = std::time(nullptr);
  while (WithinSeconds(start, seconds)) {
    const std::ptrdiff_t pending = connection.PendingBytes();
    if (pending < 0) return 0;
    if (pending > 0) {
      const std::ptrdiff_t got = connection.Receive(data, size);
      return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    platform::Sleep(kPollPauseMilliseconds);
  }
  return 0;
}

// The connection, the work buffer the blocks arrive in, and the file they go to.
class BodyReader {
 public:
  BodyReader(TcpConnection& connection, std::vector<char>& work, platform::File& file)
      : connection_(connection), work_(work), file_(file) {}

  bool ReadLength(std::string_view first, std::int64_t length) {
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::int64_t>(length, static_cast<std::int64_t>(first.size())));
    if (!Store(first.substr(0, take))) return false;
    std::int64_t missing = length - static_cast<std::int64_t>(take);
    while (missing > 0) {
      const std::string_view block =
          Receive(static_cast<std::size_t>(std::min<std::int64_t>(missing, kBlockSize)),
                  kTransferSeconds);
      if (block.empty() || !Store(block)) return false;
      missing -= static_cast<std::int64_t>(block.size());
    }
    return true;
  }

  bool ReadChunked(std::string_view first) {
    ChunkedBodyDecoder decoder;
    std::string data;
    decoder.Feed(first, data);
    for (;;) {
      if (!Store(data)) return false;
      if (decoder.state() != ChunkedBodyDecoder::State::kMore) break;
      const std::string_view block = Receive(kBlockSize, kTransferSeconds);
      if (block.empty()) return false;
      data.clear();
      decoder.Feed(block, data);
    }
    return decoder.state() == ChunkedBodyDecoder::State::kDone;
  }

  bool ReadUntilClose(std::string_view first) {
    std::int64_t total = std::min<std::int64_t>(static_cast<std::int64_t>(first.size()),
                                                kHttpBodyLimit);
    if (!Store(first.substr(0, static_cast<std::size_t>(total)))) return false;
    while (total < kHttpBodyLimit) {
      const std::string_view block = Receive(
          static_cast<std::size_t>(std::min<std::int64_t>(kHttpBodyLimit - total, kBlockSize)),
          kUntilCloseSeconds);
      if (block.empty()) break;
      if (!Store(block)) return false;
      total += static_cast<std::int64_t>(block.size());
    }
    return true;
  }

 private:
  std::string_view Receive(std::size_t size, int seconds) {
    return {work_.data(), ReceiveWithin(connection_, work_.data(), size, seconds)};
  }

  // Each block goes to the disk as it arrives; nothing of the body is held back.
  bool Store(std::string_view bytes) {
    return bytes.empty() || (file_.Write(bytes) && file_.Flush());
  }

  TcpConnection& connection_;
  std::vector<char>& work_;
  platform::File& file_;
};

// Receives until the status line and the headers are complete, at most kHttpHeadLimit
// bytes. `data` then holds them and whatever body bytes came with them.
bool ReceiveHead(TcpConnection& connection, std::vector<char>& work, std::string& data,
                 HttpResponseHead& head) {
  for (;;) {
    const std::size_t room = std::min(kBlockSize, kHttpHeadLimit - data.size());
    if (room == 0) return false;
    const std::size_t got = ReceiveWithin(connection, work.data(), room, kTransferSeconds);
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

bool ReceiveHttpFile(std::string_view url, const std::string& file) {
  const std::optional<HttpUrlParts> parts = SplitHttpUrl(url);
  if (!parts) return false;
  const std::optional<std::string> request = FormatHttpRequest(*parts);
  if (!request) return false;
  TcpConnection connection = TcpConnection::Connect(parts->host, parts->port);
  if (!connection.IsOpen()) return false;
  std::vector<char> work(HttpWorkBufferSize(*parts));
  if (!SendRequest(connection, *request)) return false;

  std::string head_data;
  HttpResponseHead head;
  if (!ReceiveHead(connection, work, head_data, head)) return false;
  if (!IsAcceptedHttpStatus(head.status)) return false;
  if (!head.chunked && head.content_length > kHttpBodyLimit) return false;

  platform::File out(file, platform::OpenMode::kCreate);
  if (!out.IsOpen()) return false;
  BodyReader reader(connection, work, out);
  const bool complete =
      ReadBody(reader, head, std::string_view(head_data).substr(head.body_start));
  const bool closed = out.Close();
  if (complete && closed) return true;
  platform::RemoveFile(file);
  return false;
}

}  // namespace tandrel::updater
