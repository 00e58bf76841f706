// The piece finder compares the needle's first and last byte at 16 (or 32) positions at
// once and looks at the bytes between only where both agree. Names are short and the
// first-and-last filter rarely lets a position through, so the scan runs near memory
// speed.
#include "search/piece_finder.h"

#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace tandrel::search {
namespace {

const char* FindByte(const char* begin, const char* end, char c) {
  if (begin >= end) return nullptr;
  return static_cast<const char*>(std::memchr(begin, c, static_cast<std::size_t>(end - begin)));
}

bool MiddleMatches(const char* at, std::string_view needle) {
  return std::memcmp(at + 1, needle.data() + 1, needle.size() - 2) == 0;
}

#if defined(__SSE2__)

const char* FindSse2(const char* begin, const char* end, std::string_view needle) {
  const std::size_t n = needle.size();
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  // A candidate start p needs p + n <= end; the loads reach p + n + 14 at most.
  for (const char* p = begin; p + n <= end; p += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const char* at = p + __builtin_ctz(mask);
      if (at + n > end) return nullptr;
      if (MiddleMatches(at, needle)) return at;
      mask &= mask - 1;
    }
  }
  return nullptr;
}

__attribute__((target("avx2"))) const char* FindAvx2(const char* begin, const char* end,
                                                     std::string_view needle) {
  const std::size_t n = needle.size();
  const __m256i first = _mm256_set1_epi8(needle.front());
  const __m256i last = _mm256_set1_epi8(needle.back());
  const char* p = begin;
  for (; p + n + 16 <= end; p += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n - 1));
    auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const char* at = p + __builtin_ctz(mask);
      if (at + n > end) return nullptr;
      if (MiddleMatches(at, needle)) return at;
      mask &= mask - 1;
    }
  }
  // The rest is shorter than one wide step; the narrow loop's loads stay in bounds.
  return FindSse2(p, end, needle);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

#endif

}  // namespace

const char* FindPiece(const char* begin, const char* end, std::string_view needle) {
  if (needle.size() == 1) return FindByte(begin, end, needle.front());
#if defined(__SSE2__)
  return HasAvx2() ? FindAvx2(begin, end, needle) : FindSse2(begin, end, needle);
#else
  const std::string_view hay(begin, static_cast<std::size_t>(end - begin));
  const std::size_t at = hay.find(needle);
  return at == std::string_view::npos ? nullptr : begin + at;
#endif
}

}  // namespace tandrel::search
