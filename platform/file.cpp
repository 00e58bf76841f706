// The buffered file: one buffer serves either read-ahead or pending writes, never both.
#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/native_file.h"
#include "platform/platform.h"

namespace tandrel::platform {

// Thirty-two bytes a step: index lines are paths of dozens of bytes, and this scan is
// much of a load.
const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i nul = _mm_setzero_si128();
  auto ends_in = [&](const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)),
                                      _mm_cmpeq_epi8(bytes, nul));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  };
  for (; end - p >= 32; p += 32) {
    const unsigned mask = ends_in(p) | ends_in(p + 16) << 16;
    if (mask != 0) return p + __builtin_ctz(mask);
  }
  if (end - p >= 16) {
    if (const unsigned mask = ends_in(p)) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  for (; p != end; ++p) {
    const char c = *p;
    if (c == '\r' || c == '\n' || c == '\0') break;
  }
  return p;
}

File::File(const std::string& path, OpenMode mode, std::size_t buffer_size)
    : handle_(native::OpenFile(path, mode)) {
  if (!IsOpen()) return;
  capacity_ = std::max<std::size_t>(buffer_size, 16);
  buffer_ = std::make_unique<char[]>(capacity_);
}

// A destroyed file has no one left to tell; a writer that cares closes it first.
File::~File() { (void)Close(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this == &other) return *this;
  (void)Close();  // as in the destructor
  handle_ = std::move(other.handle_);
  buffer_ = std::move(other.buffer_);
  capacity_ = std::exchange(other.capacity_, 0);
  begin_ = std::exchange(other.begin_, 0);
  end_ = std::exchange(other.end_, 0);
  writing_ = std::exchange(other.writing_, false);
  write_failed_ = std::exchange(other.write_failed_, false);
  return *this;
}

bool File::Flush() {
  if (!IsOpen()) return false;
  if (writing_ && end_ > 0) {
    if (!native::WriteFile(handle_.get(), buffer_.get(), end_)) write_failed_ = true;
    end_ = 0;
  }
  return !write_failed_;
}

bool File::Sync() {
  if (!Flush()) return false;
  if (!native::SyncFile(handle_.get())) write_failed_ = true;
  return !write_failed_;
}

bool File::Close() {
  if (!IsOpen()) return true;
  const bool flushed = Flush();
  handle_.Reset();
  buffer_.reset();
  capacity_ = begin_ = end_ = 0;
  writing_ = false;
  return flushed;
}

// Turns the buffer from read-ahead into a write buffer. The system's file position is
// past the read-ahead, so it is moved back to where the reader stood.
bool File::StartWriting() {
  if (writing_) return true;
  const std::size_t unread = end_ - begin_;
  if (unread > 0 && !native::SeekFile(handle_.get(), -static_cast<std::int64_t>(unread), true)) {
    write_failed_ = true;
    return false;
  }
  begin_ = end_ = 0;
  writing_ = true;
  return true;
}

bool File::Write(std::string_view bytes) {
  if (!IsOpen() || !StartWriting()) return false;
  // A failed flush sticks in write_failed_ and is reported below.
  if (bytes.size() >= capacity_) {
    (void)Flush();
    if (!native::WriteFile(handle_.get(), bytes.data(), bytes.size())) write_failed_ = true;
    return !write_failed_;
  }
  if (capacity_ - end_ < bytes.size()) (void)Flush();
  std::memcpy(buffer_.get() + end_, bytes.data(), bytes.size());
  end_ += bytes.size();
  return !write_failed_;
}

bool File::WriteByte(std::uint8_t byte) {
  const char c = static_cast<char>(byte);
  return Write(std::string_view(&c, 1));
}

bool File::Seek(std::uint64_t offset) {
  if (!IsOpen()) return false;
  const bool flushed = Flush();
  writing_ = false;
  begin_ = end_ = 0;
  return native::SeekFile(handle_.get(), static_cast<std::int64_t>(offset), false) && flushed;
}

// Loads the next stretch of the file; false at the end of the file or on an error.
bool File::Refill() {
  if (!IsOpen()) return false;
  if (writing_) {
    (void)Flush();  // a failure sticks: the next Flush or Close reports it
    writing_ = false;
  }
  begin_ = end_ = 0;
  const std::ptrdiff_t got = native::ReadFile(handle_.get(), buffer_.get(), capacity_);
  if (got <= 0) return false;
  end_ = static_cast<std::size_t>(got);
  return true;
}

bool File::AtEnd() {
  if (!writing_ && begin_ < end_) return false;
  return !Refill();
}

std::int8_t File::ReadByte() {
  if ((writing_ || begin_ == end_) && !Refill()) return 0;
  return static_cast<std::int8_t>(buffer_[begin_++]);
}

void File::ReadLine(std::string& line) {
  const std::string_view view = ReadLineView(line);
  if (view.data() != line.data()) line.assign(view);
}

std::string_view File::ReadLineView(std::string& spill) {
  spill.clear();
  bool spilled = false;
  for (;;) {
    if ((writing_ || begin_ == end_) && !Refill()) return spill;
    const char* start = buffer_.get() + begin_;
    const char* stop = buffer_.get() + end_;
    const char* found = FindLineEnd(start, stop);
    if (found == stop) {
      // The line goes on past the buffer: keep its start before the next refill.
      spill.append(start, found);
      spilled = true;
      begin_ = end_;
      continue;
    }
    std::string_view line(start, static_cast<std::size_t>(found - start));
    if (spilled) {
      spill.append(line);
      line = spill;
    }
    const bool cr = *found == '\r';
    begin_ = static_cast<std::size_t>(found - buffer_.get()) + 1;
    // Keeps the byte after the line buffered (CR LF needs it, and ReadByte may follow).
    // A refill overwrites the buffer under the view, so the line moves to `spill` first.
    auto keep_next_byte = [&] {
      if (begin_ < end_) return true;
      if (!spilled) {
        spill.assign(line);
        line = spill;
        spilled = true;
      }
      return Refill();
    };
    if (!keep_next_byte()) return line;
    if (cr && buffer_[begin_] == '\n') {
      ++begin_;
      keep_next_byte();
    }
    return line;
  }
}

std::size_t File::Read(void* data, std::size_t size) {
  auto* out = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    if (!writing_ && begin_ == end_ && size - done >= capacity_) {
      const std::ptrdiff_t got = native::ReadFile(handle_.get(), out + done, size - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
      continue;
    }
    if ((writing_ || begin_ == end_) && !Refill()) break;
    const std::size_t n = std::min(size - done, end_ - begin_);
    std::memcpy(out + done, buffer_.get() + begin_, n);
    begin_ += n;
    done += n;
  }
  return done;
}

std::size_t File::ReadSome(void* data, std::size_t size) {
  if (size == 0 || !IsOpen()) return 0;
  if (writing_ || begin_ == end_) {
    if (size < capacity_) {
      if (!Refill()) return 0;
    } else {
      if (writing_) Refill();  // flushes what was written; keeps any bytes it read
      if (begin_ == end_) {
        const std::ptrdiff_t got = native::ReadFile(handle_.get(), data, size);
        return got > 0 ? static_cast<std::size_t>(got) : 0;
      }
    }
  }
  const std::size_t n = std::min(size, end_ - begin_);
  std::memcpy(data, buffer_.get() + begin_, n);
  begin_ += n;
  return n;
}

std::optional<FileStamp> File::Stamp() const {
  FileStamp stamp;
  if (!IsOpen() || !native::StampFile(handle_.get(), stamp)) return std::nullopt;
  return stamp;
}

bool ReplaceFileWhenFree(const std::string& from, const std::string& to) {
  constexpr int kAttempts = 40;
  constexpr std::uint32_t kPauseMs = 25;
  for (int attempt = 1;; ++attempt) {
    if (ReplaceFileAtomically(from, to)) return true;
    if (attempt == kAttempts) return false;
    Sleep(kPauseMs);
  }
}

bool CanOpenForReading(const std::string& path) { return File(path, OpenMode::kRead).IsOpen(); }

}  // namespace tandrel::platform
