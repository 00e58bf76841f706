// The snapshot's checksums.
#include "index/snapshot_checksum.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tandrel::index {
namespace {

// Per 32-bit word position modulo 8, the sum of the words and the sum of those running
// sums (Fletcher's scheme, modulo 2^64).
struct SectionSums {
  std::uint64_t words[8] = {};
  std::uint64_t running[8] = {};
};

#if defined(__SSE2__)
void AddBlocks(const char* p, std::size_t blocks, SectionSums& sums) {
  const __m128i zero = _mm_setzero_si128();
  __m128i w01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words));
  __m128i w23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words + 2));
  __m128i w45 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words + 4));
  __m128i w67 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.words + 6));
  __m128i r01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running));
  __m128i r23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running + 2));
  __m128i r45 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running + 4));
  __m128i r67 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.running + 6));
  for (std::size_t b = 0; b < blocks; ++b, p += 32) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    // unpacklo of words 0..3 holds words 0 and 1, unpackhi words 2 and 3.
    w01 = _mm_add_epi64(w01, _mm_unpacklo_epi32(low, zero));
    w23 = _mm_add_epi64(w23, _mm_unpackhi_epi32(low, zero));
    w45 = _mm_add_epi64(w45, _mm_unpacklo_epi32(high, zero));
    w67 = _mm_add_epi64(w67, _mm_unpackhi_epi32(high, zero));
    r01 = _mm_add_epi64(r01, w01);
    r23 = _mm_add_epi64(r23, w23);
    r45 = _mm_add_epi64(r45, w45);
    r67 = _mm_add_epi64(r67, w67);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words), w01);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words + 2), w23);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words + 4), w45);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.words + 6), w67);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running), r01);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running + 2), r23);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running + 4), r45);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums.running + 6), r67);
}
#else
void AddBlocks(const char* p, std::size_t blocks, SectionSums& sums) {
  for (std::size_t b = 0; b < blocks; ++b, p += 32) {
    std::uint32_t words[8];
    std::memcpy(words, p, sizeof words);
    for (int k = 0; k < 8; ++k) {
      sums.words[k] += words[k];
      sums.running[k] += sums.words[k];
    }
  }
}
#endif

// The sums of a run of blocks followed by another of `blocks` blocks with sums `next`.
void AppendSums(SectionSums& sums, const SectionSums& next, std::size_t blocks) {
  for (int k = 0; k < 8; ++k) {
    sums.running[k] += next.running[k] + blocks * sums.words[k];
    sums.words[k] += next.words[k];
  }
}

std::uint64_t FinishChecksum(SectionSums sums, const char* data, std::size_t size) {
  // The last part block as if zeros followed; the size in the mix tells them apart.
  char last[32] = {};
  if (size % 32 != 0) std::memcpy(last, data + size / 32 * 32, size % 32);
  AddBlocks(last, 1, sums);
  std::uint64_t h = size * kPrime1;
  for (int k = 0; k < 8; ++k) {
    h = RotateLeft(h ^ (sums.words[k] * kPrime2), 29) * kPrime1;
    h = RotateLeft(h ^ (sums.running[k] * kPrime1), 31) * kPrime2;
  }
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  return h;
}

}  // namespace

std::uint64_t MixedHash(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint64_t lanes[4] = {kPrime1, kPrime2, ~kPrime1, ~kPrime2};
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    for (int k = 0; k < 4; ++k) {
      std::uint64_t word;
      std::memcpy(&word, p + i + 8 * static_cast<std::size_t>(k), 8);
      lanes[k] = RotateLeft(lanes[k] + word * kPrime2, 31) * kPrime1;
    }
  }
  std::uint64_t h = size * kPrime1;
  for (const std::uint64_t lane : lanes) h = RotateLeft(h ^ lane, 27) * kPrime1 + kPrime2;
  for (; i < size; ++i) h = RotateLeft(h ^ (p[i] * kPrime1), 11) * kPrime2;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  return h;
}

std::uint64_t SectionChecksum(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  SectionSums sums;
  AddBlocks(p, size / 32, sums);
  return FinishChecksum(sums, p, size);
}

// Below this many bytes to check, a second thread costs more than it saves.
constexpr std::size_t kSplitCheckBytes = 256 * 1024;

bool ChecksumsHold(const std::vector<CheckedSection>& sections, const platform::FileImage* fetch) {
  std::size_t total = 0;
  for (const CheckedSection& section : sections) total += section.size;
  std::vector<SectionSums> front(sections.size());
  const auto sum_front = [&] {
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const std::size_t blocks = sections[i].size / 64;
      if (fetch) fetch->Fetch(static_cast<std::size_t>(sections[i].data - fetch->Data()), blocks * 32);
      AddBlocks(sections[i].data, blocks, front[i]);
    }
  };
  // Both halves here when they are small, or when the system has no thread to spare.
  platform::Thread helper;
  if (total < kSplitCheckBytes || !helper.Start([&](const platform::StopToken&) { sum_front(); })) {
    sum_front();
  }
  std::vector<SectionSums> back(sections.size());
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t skip = sections[i].size / 64 * 32;
    if (fetch) fetch->Fetch(static_cast<std::size_t>(sections[i].data - fetch->Data()) + skip, sections[i].size - skip);
    AddBlocks(sections[i].data + skip, (sections[i].size - skip) / 32, back[i]);
  }
  helper.Wait();
  bool hold = true;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    AppendSums(front[i], back[i], (sections[i].size - sections[i].size / 64 * 32) / 32);
    hold = hold && FinishChecksum(front[i], sections[i].data, sections[i].size) == sections[i].checksum;
  }
  return hold;
}

}  // namespace tandrel::index
