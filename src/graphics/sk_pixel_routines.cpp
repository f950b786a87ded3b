#include "graphics/sk_pixel_routines.h"

#include <algorithm>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define SK_HAVE_SSE2_ROUTINES 1
#include <emmintrin.h>
#endif

namespace {

constexpr TskPixel kColourMask = 0x00FFFFFF;
constexpr TskPixel kKeyColour = 0x007F007F;
constexpr TskPixel kOpaque = 0xFF000000;

// ---- plain ------------------------------------------------------------------

TskPixel PlainBlendPixel(TskPixel source, TskPixel destination) {
  const uint32_t alpha = source >> 24;
  if (alpha == 255) return source;
  if (alpha == 0) return destination;
  const uint32_t rest = 255 - alpha;
  auto mix = [&](int shift) {
    return ((((source >> shift) & 0xFF) * alpha + ((destination >> shift) & 0xFF) * rest) >> 8) << shift;
  };
  return kOpaque | mix(16) | mix(8) | mix(0);
}

void PlainBlendRow(TskPixel* destination, const TskPixel* source, size_t count) {
  for (size_t i = 0; i < count; ++i) destination[i] = PlainBlendPixel(source[i], destination[i]);
}

void PlainKeyCopyRow(TskPixel* destination, const TskPixel* source, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if ((source[i] & kColourMask) != kKeyColour) destination[i] = source[i] | kOpaque;
  }
}

void CopyRow(TskPixel* destination, const TskPixel* source, size_t count) {
  if (count != 0) std::memmove(destination, source, count * sizeof(TskPixel));
}

void FillPixels(TskPixel* destination, size_t count, TskPixel value) {
  std::fill_n(destination, count, value);
}

void SetAlphaPixels(TskPixel* destination, size_t count, uint8_t alpha) {
  const TskPixel bits = TskPixel{alpha} << 24;
  for (size_t i = 0; i < count; ++i) destination[i] = (destination[i] & kColourMask) | bits;
}

void ClearAlphaOfColor(TskPixel* destination, size_t count, TskPixel colour) {
  colour &= kColourMask;
  for (size_t i = 0; i < count; ++i) {
    if ((destination[i] & kColourMask) == colour) destination[i] = colour;
  }
}

const TskPixelRoutines kPlain = {"plain",         PlainBlendPixel, PlainBlendRow,  PlainKeyCopyRow,
                                 CopyRow,         FillPixels,      SetAlphaPixels, ClearAlphaOfColor};

#ifdef SK_HAVE_SSE2_ROUTINES

// ---- SSE2: d + ((s - d) * a) / 256 per component ---------------------------

// The lane formula for one pixel. The shift is arithmetic (a floor), which is
// what keeps it within one step of the plain formula; truncating toward zero
// would be two steps off for a dark source over a light destination.
TskPixel LaneBlendPixel(TskPixel source, TskPixel destination) {
  const int alpha = static_cast<int>(source >> 24);
  if (alpha == 255) return source;
  if (alpha == 0) return destination;
  auto mix = [&](int shift) {
    const int s = static_cast<int>((source >> shift) & 0xFF);
    const int d = static_cast<int>((destination >> shift) & 0xFF);
    return static_cast<TskPixel>(d + (((s - d) * alpha) >> 8)) << shift;
  };
  return kOpaque | mix(16) | mix(8) | mix(0);
}

__attribute__((target("sse2"))) void LaneBlendRow(TskPixel* destination, const TskPixel* source, size_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i all255 = _mm_set1_epi32(255);
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + i));
    const __m128i alpha = _mm_srli_epi32(s, 24);
    const __m128i isClear = _mm_cmpeq_epi32(alpha, zero);
    const __m128i isOpaque = _mm_cmpeq_epi32(alpha, all255);
    // Each pixel's alpha in all four of its 16-bit lanes.
    const __m128i alphaPairs = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 16));
    const __m128i alphaLo = _mm_unpacklo_epi32(alphaPairs, alphaPairs);
    const __m128i alphaHi = _mm_unpackhi_epi32(alphaPairs, alphaPairs);
    const __m128i sLo = _mm_unpacklo_epi8(s, zero);
    const __m128i sHi = _mm_unpackhi_epi8(s, zero);
    const __m128i dLo = _mm_unpacklo_epi8(d, zero);
    const __m128i dHi = _mm_unpackhi_epi8(d, zero);
    // (s - d) * a lies in -65025..65025 and wraps in 16 bits; the low byte of
    // d + (product >> 8) is still exact because the true result is 0..255.
    const __m128i lo = _mm_and_si128(
        _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(sLo, dLo), alphaLo), 8), dLo), lowBytes);
    const __m128i hi = _mm_and_si128(
        _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(sHi, dHi), alphaHi), 8), dHi), lowBytes);
    const __m128i blended = _mm_or_si128(_mm_packus_epi16(lo, hi), opaque);
    const __m128i keepOrBlend = _mm_or_si128(_mm_and_si128(isClear, d), _mm_andnot_si128(isClear, blended));
    const __m128i result = _mm_or_si128(_mm_and_si128(isOpaque, s), _mm_andnot_si128(isOpaque, keepOrBlend));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), result);
  }
  for (; i < count; ++i) destination[i] = LaneBlendPixel(source[i], destination[i]);
}

__attribute__((target("sse2"))) void LaneKeyCopyRow(TskPixel* destination, const TskPixel* source, size_t count) {
  const __m128i colourMask = _mm_set1_epi32(static_cast<int>(kColourMask));
  const __m128i key = _mm_set1_epi32(static_cast<int>(kKeyColour));
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + i));
    const __m128i isKey = _mm_cmpeq_epi32(_mm_and_si128(s, colourMask), key);
    const __m128i result = _mm_or_si128(_mm_and_si128(isKey, d), _mm_andnot_si128(isKey, _mm_or_si128(s, opaque)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), result);
  }
  PlainKeyCopyRow(destination + i, source + i, count - i);
}

const TskPixelRoutines kLanes = {"sse2",  LaneBlendPixel, LaneBlendRow,   LaneKeyCopyRow,
                                 CopyRow, FillPixels,     SetAlphaPixels, ClearAlphaOfColor};

#endif

}  // namespace

const TskPixelRoutines& PlainPixelRoutines() { return kPlain; }

const TskPixelRoutines* ExtensionPixelRoutines() {
#ifdef SK_HAVE_SSE2_ROUTINES
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") != 0;
  }();
  return supported ? &kLanes : nullptr;
#else
  return nullptr;
#endif
}

const TskPixelRoutines& PixelRoutines() {
  static const TskPixelRoutines& chosen = ExtensionPixelRoutines() ? *ExtensionPixelRoutines() : kPlain;
  return chosen;
}
