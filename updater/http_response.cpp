#include <algorithm>

#include "updater/http.h"

namespace tandrel::updater {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), word)) return true;
  }
  return false;
}

// Finds the line that starts at `from`. A line ends at LF, CR LF or a CR followed by
// anything else; a CR as the last byte may still be the first half of CR LF.
struct Line {
  std::string_view text;
  std::size_t next = 0;
};
std::optional<Line> NextHeaderLine(std::string_view data, std::size_t from) {
  const std::size_t end = data.find_first_of("\r\n", from);
  if (end == std::string_view::npos) return std::nullopt;
  std::size_t next = end + 1;
  if (data[end] == '\r') {
    if (next == data.size()) return std::nullopt;
    if (data[next] == '\n') ++next;
  }
  return Line{data.substr(from, end - from), next};
}

// "HTTP/" and a version, spaces, then three digits that stand alone.
std::optional<int> ReadStatusCode(std::string_view line) {
  if (line.substr(0, 5) != "HTTP/") return std::nullopt;
  std::size_t i = line.find(' ');
  if (i == std::string_view::npos) return std::nullopt;
  while (i < line.size() && line[i] == ' ') ++i;
  if (line.size() < i + 3 || !IsDigit(line[i]) || !IsDigit(line[i + 1]) || !IsDigit(line[i + 2])) {
    return std::nullopt;
  }
  if (line.size() > i + 3 && line[i + 3] != ' ') return std::nullopt;
  return (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
}

// Spaces or tabs, digits, spaces or tabs. Values above the body limit are kept as one
// more than the limit, which is enough to refuse them.
std::optional<std::int64_t> ReadContentLength(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i == value.size() || !IsDigit(value[i])) return std::nullopt;
  std::int64_t length = 0;
  for (; i < value.size() && IsDigit(value[i]); ++i) {
    length = std::min(length * 10 + (value[i] - '0'), kHttpBodyLimit + 1);
  }
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i != value.size()) return std::nullopt;
  return length;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  const char lower = Lower(c);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

}  // namespace

bool IsAcceptedHttpStatus(int status) { return status == 200 || status == 302; }

HeadParse ParseHttpResponseHead(std::string_view data, HttpResponseHead& head) {
  std::optional<Line> line = NextHeaderLine(data, 0);
  if (!line) {
    // A first line that cannot be a status line is refused before it is complete.
    const std::string_view start = data.substr(0, 5);
    return std::string_view("HTTP/").substr(0, start.size()) == start ? HeadParse::kNeedMore
                                                                       : HeadParse::kMalformed;
  }
  const std::optional<int> status = ReadStatusCode(line->text);
  if (!status) return HeadParse::kMalformed;
  HttpResponseHead result;
  result.status = *status;
  for (;;) {
    line = NextHeaderLine(data, line->next);
    if (!line) return HeadParse::kNeedMore;
    const std::string_view text = line->text;
    if (text.empty()) break;
    if (StartsWithNoCase(text, "transfer-encoding:")) {
      if (ContainsNoCase(text.substr(18), "chunked")) result.chunked = true;
    } else if (StartsWithNoCase(text, "content-length:")) {
      const std::optional<std::int64_t> length = ReadContentLength(text.substr(15));
      if (!length) return HeadParse::kMalformed;
      if (result.content_length >= 0 && result.content_length != *length) {
        return HeadParse::kMalformed;
      }
      result.content_length = *length;
    }
  }
  result.body_start = line->next;
  head = result;
  return HeadParse::kComplete;
}

ChunkedBodyDecoder::State ChunkedBodyDecoder::Feed(std::string_view block, std::string& out) {
  if (state_ != State::kMore) return state_;
  const auto room = static_cast<std::size_t>(
      std::min<std::int64_t>(max_bytes_ - fed_, static_cast<std::int64_t>(block.size())));
  fed_ += static_cast<std::int64_t>(Decode(block.substr(0, room), out));
  if (state_ == State::kMore && room < block.size()) state_ = State::kMalformed;
  return state_;
}

std::size_t ChunkedBodyDecoder::Decode(std::string_view block, std::string& out) {
  std::size_t i = 0;
  while (state_ == State::kMore && i < block.size()) {
    const char c = block[i];
    switch (step_) {
      case Step::kSize: {
        const int digit = HexValue(c);
        if (digit >= 0) {
          // A chunk larger than the whole body may be is refused before it can overflow.
          if (chunk_left_ > (max_bytes_ - digit) / 16) {
            state_ = State::kMalformed;
            break;
          }
          chunk_left_ = chunk_left_ * 16 + digit;
          size_has_digit_ = true;
          ++i;
        } else if (!size_has_digit_) {
          state_ = State::kMalformed;
        } else {
          step_ = Step::kSizeLineEnd;
        }
        break;
      }
      case Step::kSizeLineEnd:
        // Chunk extensions and the CR run up to the LF.
        ++i;
        if (c != '\n') break;
        if (chunk_left_ == 0) {
          state_ = State::kDone;
        } else {
          step_ = Step::kData;
        }
        break;
      case Step::kData: {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::int64_t>(chunk_left_, block.size() - i));
        out.append(block.substr(i, take));
        i += take;
        chunk_left_ -= static_cast<std::int64_t>(take);
        if (chunk_left_ == 0) step_ = Step::kDataCr;
        break;
      }
      case Step::kDataCr:
        if (c == '\r') {
          step_ = Step::kDataLf;
          ++i;
        } else {
          step_ = Step::kDataLf;
        }
        break;
      case Step::kDataLf:
        if (c != '\n') {
          state_ = State::kMalformed;
          break;
        }
        ++i;
        step_ = Step::kSize;
        size_has_digit_ = false;
        break;
    }
  }
  return i;
}

}  // namespace tandrel::updater
