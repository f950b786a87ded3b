// The standard effect procedures.
//
// Mask procedures fill a cleared mask of W × H cells for a percentage p.
// Most come in three variants over one shape: Slide (the shape's cells get
// 255), Fade (they get MulDiv(p, 255, 100)) and Smooth (the shape is grown
// in outlines k = 0 … n from its origin, outline k getting a value that falls
// with k, so the edge of the shape is soft). Every procedure leaves the mask
// empty at p = 0 unless stated otherwise, and fills it completely at 100:
// the last frame of an animation shows the new picture in full.
//
// Rasterisation. A shape is drawn here as the set of cells its growing
// outlines sweep, computed per cell instead of by drawing the outlines one
// after another: a straight edge keeps the cells within half a cell of it
// (what a digital line between its end points touches), a circle of radius r
// is the ring of cells whose distance from the centre is at least r and less
// than r + 1, and a cell's Smooth outline is the step whose outline passes
// through it. Outlines of consecutive steps therefore tile the mask without
// gaps, which outlines drawn one cell wide do not (concentric one-cell
// circles leave holes), and a shape only grows with p.
#include "graphics/sk_effect_procs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

// A mask being drawn: W × H cells, row-major.
struct TMask {
  std::span<uint8_t> Cells;
  int64_t W;
  int64_t H;

  uint8_t* Row(int64_t y) const { return Cells.data() + y * W; }
};

uint8_t Saturate(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255)); }

// The value of a Fade cell.
uint8_t FadeValue(int32_t p) { return Saturate(MulDiv64(p, 255, 100)); }
// The value rule of the Fade and Pixel effects: Near(p / 100 × 255).
uint8_t NearValue(int32_t p) { return Saturate(Near(p / 100.0 * 255.0)); }

// The value of Smooth outline k of n: 2p at the origin falling to 0 at the
// last outline (in percent of 255), every outline full at 100 %.
uint8_t SmoothValue(int32_t p, int64_t k, int64_t n) {
  if (p >= 100) return 255;
  const double step = n == 0 ? 2.0 * p : 2.0 * p / static_cast<double>(n);
  return Saturate(MulDiv64(Near(2.0 * p - static_cast<double>(k) * step), 255, 100));
}

// SmoothValue for every outline 0 … n of one frame, for the per-cell loops.
class TSmoothValues {
 public:
  TSmoothValues(int32_t p, int64_t n) : values_(static_cast<size_t>(std::max<int64_t>(n + 1, 0))) {
    for (int64_t k = 0; k <= n; ++k) values_[static_cast<size_t>(k)] = SmoothValue(p, k, n);
  }
  int64_t Last() const { return static_cast<int64_t>(values_.size()) - 1; }
  uint8_t operator[](int64_t k) const { return values_[static_cast<size_t>(k)]; }

 private:
  std::vector<uint8_t> values_;
};

double DiagonalOf(int64_t w, int64_t h) {
  return std::sqrt(static_cast<double>(w) * static_cast<double>(w) + static_cast<double>(h) * static_cast<double>(h));
}
// D: the mask's diagonal in cells.
int32_t DiagonalLength(int64_t w, int64_t h) { return Near(DiagonalOf(w, h)); }

// Per-step growth of a shape with the mask's aspect: 1 along the longer
// side, less along the shorter.
struct TAspect {
  double X;
  double Y;
};
TAspect MaskAspect(int64_t w, int64_t h) {
  if (h < w) return {1.0, static_cast<double>(h) / static_cast<double>(w)};
  return {static_cast<double>(w) / static_cast<double>(h), 1.0};
}

// For every distance d = 0 … maxDistance, the first step k whose reach(k)
// is at least d. reach must grow without bound.
template <typename Reach>
std::vector<int64_t> FirstSteps(int64_t maxDistance, Reach reach) {
  std::vector<int64_t> steps(static_cast<size_t>(maxDistance + 1));
  int64_t k = 0;
  for (int64_t d = 0; d <= maxDistance; ++d) {
    while (reach(k) < d) ++k;
    steps[static_cast<size_t>(d)] = k;
  }
  return steps;
}

int64_t FloorSqrt(int64_t value) {
  auto root = static_cast<int64_t>(std::sqrt(static_cast<double>(value)));
  while (root * root > value) --root;
  while ((root + 1) * (root + 1) <= value) ++root;
  return root;
}

// ---- variants over one shape --------------------------------------------------

// A shape of a Slide/Fade pair: sets the cells of the shape at p (> 0) to value.
using TRegion = void (*)(const TMask& mask, int32_t p, uint8_t value);

template <TRegion Region>
void SlideOf(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  Region(TMask{cells, w, h}, p, 255);
}

template <TRegion Region>
void FadeOf(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  Region(TMask{cells, w, h}, p, FadeValue(p));
}

// The In variants of the cross, rectangle and diamond: what the Out shape
// at 100 - p leaves empty.
template <TRegion Region>
void ComplementOf(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p, uint8_t value) {
  if (p == 0) return;
  if (p < 100) Region(TMask{cells, w, h}, 100 - p, 1);
  for (uint8_t& cell : cells) cell = cell != 0 ? 0 : value;
}

template <TRegion Region>
void SlideComplementOf(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  ComplementOf<Region>(cells, w, h, p, 255);
}

template <TRegion Region>
void FadeComplementOf(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  ComplementOf<Region>(cells, w, h, p, FadeValue(p));
}

// The Smooth In variants: the Smooth Out pattern at 100 - p, inverted.
template <TskMaskProc SmoothOut>
void SmoothInverseOf(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  SmoothOut(cells, w, h, 100 - p);
  for (uint8_t& cell : cells) cell = static_cast<uint8_t>(255 - cell);
}

// ---- diagonals -------------------------------------------------------------------

// Triangle at the top-left corner with legs 2a and 2b: the sweep of the
// lines from (0, min(s, 2b)) to (min(s, 2a), 0).
void DiagonalRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t a = MulDiv64(static_cast<int32_t>(m.W - 1), p, 100);
  const int64_t b = MulDiv64(static_cast<int32_t>(m.H - 1), p, 100);
  for (int64_t y = 0; y <= std::min(m.H - 1, 2 * b); ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = 0; x <= std::min(m.W - 1, 2 * a); ++x) {
      if (x * b + y * a <= 2 * a * b) row[x] = value;
    }
  }
}

void SmoothDiagonal(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TAspect r = MaskAspect(w, h);
  const TSmoothValues values(p, MulDiv64(p, Near(2.5 * DiagonalOf(w, h)), 100));
  // Outline k runs from (0, k·ry) to (k·rx, 0).
  std::vector<double> columnSteps(static_cast<size_t>(w));
  for (int64_t x = 0; x < m.W; ++x) columnSteps[static_cast<size_t>(x)] = static_cast<double>(x) / r.X;
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const double rowSteps = static_cast<double>(y) / r.Y;
    for (int64_t x = 0; x < m.W; ++x) {
      const int64_t k = Near(columnSteps[static_cast<size_t>(x)] + rowSteps);
      if (k <= values.Last()) row[x] = values[k];
    }
  }
}

// Cell (x, y) of the triangle with the right angle at the origin and legs a
// (along x) and b (along y), coordinates measured from that corner.
bool InCornerTriangle(int64_t x, int64_t y, int64_t a, int64_t b) {
  return x <= a && y <= b && x * b + y * a <= a * b;
}

// Triangles at the bottom-left and top-right corners that meet on the
// top-left to bottom-right diagonal at 100 %.
void DiagonalInRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t a = Near(p / 100.0 * static_cast<double>(m.W - 1));
  const int64_t b = Near(p / 100.0 * static_cast<double>(m.H - 1));
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = 0; x < m.W; ++x) {
      if (InCornerTriangle(x, m.H - 1 - y, a, b) || InCornerTriangle(m.W - 1 - x, y, a, b)) row[x] = value;
    }
  }
}

// The cell lies on the side of the directed line from (x0, y0) along
// (dx, dy) where (y - y0)·dx - (x - x0)·dy is negative, or within half a cell
// of the line along its minor axis: what a digital line touches.
bool BehindOrOnLine(int64_t x, int64_t y, int64_t x0, int64_t y0, int64_t dx, int64_t dy) {
  const int64_t cross = (y - y0) * dx - (x - x0) * dy;
  return 2 * cross <= std::max(std::abs(dx), std::abs(dy));
}

// Band around the top-left to bottom-right diagonal, widening towards the
// other two corners: between the lines from (0, I) to (W-1-S, H-1) and from
// (S, 0) to (W, H-I).
void DiagonalOutRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t s = Near(p / 100.0 * static_cast<double>(m.W - 1));
  const int64_t i = Near(p / 100.0 * static_cast<double>(m.H - 1));
  const int64_t spanX = m.W - 1, spanY = m.H - 1;
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = 0; x < m.W; ++x) {
      // Which half of the band: below-left of the diagonal, or above-right
      // (cells on the digital diagonal belong to both).
      const int64_t side = 2 * (y * spanX - x * spanY);
      const int64_t half = std::max(spanX, spanY);
      const bool lowerHalf = side >= -half && BehindOrOnLine(x, y, 0, i, spanX - s, spanY - i);
      const bool upperHalf = side <= half && BehindOrOnLine(x, y, s, 0, -(m.W - s), -(m.H - i));
      if (lowerHalf || upperHalf) row[x] = value;
    }
  }
}

// The stepping of the Smooth diagonal In and Out variants: B = MulDiv(D, p,
// 100) steps of a value falling from 2p to 0 over 2B, drawn while the step
// is below M; the corners' legs grow per step by (fx, gy).
struct TDiagonalSteps {
  double Fx;
  double Gy;
  int64_t Limit;
  int64_t B;
  int32_t P;

  TDiagonalSteps(int64_t w, int64_t h, int32_t p) : P(p) {
    if (w < h) {
      Fx = static_cast<double>(w) / static_cast<double>(h);
      Gy = 1.0;
    } else {
      Fx = 1.0;
      Gy = static_cast<double>(h) / static_cast<double>(w);
    }
    B = MulDiv64(DiagonalLength(w, h), p, 100);
    Limit = std::min(2 * B, std::max(w, h) - 1);
    const double fall = B == 0 ? 2.0 * P : 2.0 * P / static_cast<double>(B);
    for (int64_t step = 0; step <= Limit; ++step) {
      values_.push_back(P >= 100 ? 255
                                 : Saturate(MulDiv64(Near(2.0 * P - static_cast<double>(step) * fall / 2.0), 255, 100)));
    }
  }

  uint8_t Value(int64_t step) const { return values_[static_cast<size_t>(step)]; }

 private:
  std::vector<uint8_t> values_;
};

void SmoothDiagonalIn(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TDiagonalSteps steps(w, h, p);
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = 0; x < m.W; ++x) {
      // Step of the bottom-left and of the top-right corner's line through
      // the cell; where both are drawn the later one wins.
      const int64_t bottomLeft =
          Near(static_cast<double>(x) / steps.Fx + static_cast<double>(m.H - 1 - y) / steps.Gy);
      const int64_t topRight =
          Near(static_cast<double>(m.W - 1 - x) / steps.Fx + static_cast<double>(y) / steps.Gy);
      int64_t step = -1;
      if (bottomLeft <= steps.Limit) step = bottomLeft;
      if (topRight <= steps.Limit) step = std::max(step, topRight);
      if (step >= 0) row[x] = steps.Value(step);
    }
  }
}

// Starts on the bottom-left to top-right diagonal and widens towards the
// top-left and bottom-right corners.
void SmoothDiagonalOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TDiagonalSteps steps(w, h, p);
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = 0; x < m.W; ++x) {
      // Half the difference of the steps from the two corners is the step
      // away from the middle line.
      const double fromTopLeft = static_cast<double>(x) / steps.Fx + static_cast<double>(y) / steps.Gy;
      const double fromBottomRight =
          static_cast<double>(m.W - 1 - x) / steps.Fx + static_cast<double>(m.H - 1 - y) / steps.Gy;
      const int64_t step = Near(std::abs(fromTopLeft - fromBottomRight) / 2.0);
      if (step <= steps.Limit) row[x] = steps.Value(step);
    }
  }
}

// ---- rows -----------------------------------------------------------------------

void FillRow(const TMask& m, int64_t y, uint8_t value) {
  if (y >= 0 && y < m.H) std::fill_n(m.Row(y), m.W, value);
}

void DownRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t last = MulDiv64(p, static_cast<int32_t>(m.H - 1), 100);
  for (int64_t y = 0; y <= last; ++y) FillRow(m, y, value);
}

void SmoothDown(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const int64_t n = MulDiv64(Near(1.5 * h), p, 100);
  for (int64_t k = 0; k <= std::min<int64_t>(n, h - 1); ++k) FillRow(m, k, SmoothValue(p, k, n));
}

// Bands from the top and bottom edges towards the middle.
void InRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t e = MulDiv64(p, static_cast<int32_t>(m.H / 2), 100);
  for (int64_t y = 0; y < m.H; ++y) {
    if (std::min(y, m.H - 1 - y) <= e) FillRow(m, y, value);
  }
}

void SmoothIn(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const int64_t n = MulDiv64(Near(0.8 * h), p, 100);
  const int64_t limit = std::min<int64_t>(n, h / 2);
  // Step i draws rows i and H-1-i; a row reached by two steps keeps the later.
  for (int64_t y = 0; y < m.H; ++y) {
    int64_t step = -1;
    if (y <= limit) step = y;
    if (m.H - 1 - y <= limit) step = std::max(step, m.H - 1 - y);
    if (step >= 0) FillRow(m, y, SmoothValue(p, step, n));
  }
}

// Band from the middle row outwards.
void OutRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t e = MulDiv64(p, static_cast<int32_t>(m.H / 2), 100);
  const int64_t cy = m.H / 2;
  for (int64_t y = cy - e; y <= cy + e; ++y) FillRow(m, y, value);
}

void SmoothOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const int64_t n = MulDiv64(Near(0.8 * h), p, 100);
  const int64_t cy = m.H / 2;
  for (int64_t y = 0; y < m.H; ++y) {
    const int64_t step = std::abs(y - cy);
    if (step <= std::min(n, cy)) FillRow(m, y, SmoothValue(p, step, n));
  }
}

// ---- shapes about the centre ---------------------------------------------------------

// Plus sign: arms reaching a horizontally and b vertically, a div 4 and
// b div 4 thick on each side of the centre lines.
void CrossOutRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t a = MulDiv64(p, static_cast<int32_t>(2 * m.W), 100);
  const int64_t b = MulDiv64(p, static_cast<int32_t>(2 * m.H), 100);
  const int64_t cx = m.W / 2, cy = m.H / 2;
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const int64_t dy = std::abs(y - cy);
    for (int64_t x = 0; x < m.W; ++x) {
      const int64_t dx = std::abs(x - cx);
      if ((dx <= a / 4 && dy <= b) || (dy <= b / 4 && dx <= a)) row[x] = value;
    }
  }
}

void SmoothCrossOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TAspect r = MaskAspect(w, h);
  const TSmoothValues values(p, MulDiv64(p, Near(2.5 * std::max(w, h)), 100) / 2);
  const int64_t cx = m.W / 2, cy = m.H / 2;
  // Plus k reaches t = Near(k·rx) and s = Near(k·ry) from the centre, its
  // vertical arm t div 2 and its horizontal arm s div 2 thick on each side.
  const auto reachX = [&](int64_t k) { return int64_t{Near(static_cast<double>(k) * r.X)}; };
  const auto reachY = [&](int64_t k) { return int64_t{Near(static_cast<double>(k) * r.Y)}; };
  const auto armX = FirstSteps(cx, reachX);
  const auto thickX = FirstSteps(cx, [&](int64_t k) { return reachX(k) / 2; });
  const auto armY = FirstSteps(cy, reachY);
  const auto thickY = FirstSteps(cy, [&](int64_t k) { return reachY(k) / 2; });
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const auto dy = static_cast<size_t>(std::abs(y - cy));
    for (int64_t x = 0; x < m.W; ++x) {
      const auto dx = static_cast<size_t>(std::abs(x - cx));
      const int64_t k = std::min(std::max(armX[dx], thickY[dy]), std::max(thickX[dx], armY[dy]));
      if (k <= values.Last()) row[x] = values[k];
    }
  }
}

// Filled rectangle of half-size (Near(rx·L), Near(ry·L)), L = MulDiv(p, M,
// 100) div 2: the sweep of its outlines for l = 0 … L.
void RectOutRegion(const TMask& m, int32_t p, uint8_t value) {
  const TAspect r = MaskAspect(m.W, m.H);
  const int64_t l = MulDiv64(p, static_cast<int32_t>(std::max(m.W, m.H)), 100) / 2;
  const int64_t halfX = Near(r.X * static_cast<double>(l)), halfY = Near(r.Y * static_cast<double>(l));
  const int64_t cx = m.W / 2, cy = m.H / 2;
  for (int64_t y = std::max<int64_t>(0, cy - halfY); y <= std::min(m.H - 1, cy + halfY); ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = std::max<int64_t>(0, cx - halfX); x <= std::min(m.W - 1, cx + halfX); ++x) row[x] = value;
  }
}

void SmoothRectOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TAspect r = MaskAspect(w, h);
  const TSmoothValues values(p, MulDiv64(p, Near(1.6 * std::max(w, h)), 100) / 2);
  const int64_t cx = m.W / 2, cy = m.H / 2;
  const auto stepX = FirstSteps(cx, [&](int64_t k) { return int64_t{Near(static_cast<double>(k) * r.X)}; });
  const auto stepY = FirstSteps(cy, [&](int64_t k) { return int64_t{Near(static_cast<double>(k) * r.Y)}; });
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const int64_t ky = stepY[static_cast<size_t>(std::abs(y - cy))];
    for (int64_t x = 0; x < m.W; ++x) {
      const int64_t k = std::max(stepX[static_cast<size_t>(std::abs(x - cx))], ky);
      if (k <= values.Last()) row[x] = values[k];
    }
  }
}

// Cell at (dx, dy) from the centre inside the diamond with vertices at
// (±hx, 0) and (0, ±hy), its edges drawn as digital lines.
bool InDiamond(int64_t dx, int64_t dy, int64_t hx, int64_t hy) {
  return dx <= hx && dy <= hy && 2 * (dx * hy + dy * hx - hx * hy) <= std::max(hx, hy);
}

void DiamondOutRegion(const TMask& m, int32_t p, uint8_t value) {
  const TAspect r = MaskAspect(m.W, m.H);
  const int64_t k = MulDiv64(p, static_cast<int32_t>(std::max(m.W, m.H)), 100);
  const int64_t hx = Near(static_cast<double>(k) * r.X), hy = Near(static_cast<double>(k) * r.Y);
  const int64_t cx = m.W / 2, cy = m.H / 2;
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    for (int64_t x = 0; x < m.W; ++x) {
      if (InDiamond(std::abs(x - cx), std::abs(y - cy), hx, hy)) row[x] = value;
    }
  }
}

void SmoothDiamondOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TAspect r = MaskAspect(w, h);
  const TSmoothValues values(p, MulDiv64(p, Near(2.5 * std::max(w, h)), 100) / 2);
  const int64_t n = values.Last();
  const int64_t cx = m.W / 2, cy = m.H / 2;
  const auto contains = [&](int64_t k, int64_t dx, int64_t dy) {
    return InDiamond(dx, dy, Near(static_cast<double>(k) * r.X), Near(static_cast<double>(k) * r.Y));
  };
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const int64_t dy = std::abs(y - cy);
    // Diamonds grow with k, so the first one holding a cell is found by
    // walking outwards from the centre column; further from it, never
    // sooner.
    const int64_t maxDx = std::max(cx, m.W - 1 - cx);
    std::vector<int64_t> stepOfDx(static_cast<size_t>(maxDx + 1));
    int64_t k = 0;
    for (int64_t dx = 0; dx <= maxDx; ++dx) {
      while (k <= n && !contains(k, dx, dy)) ++k;
      stepOfDx[static_cast<size_t>(dx)] = k;
    }
    for (int64_t x = 0; x < m.W; ++x) {
      const int64_t step = stepOfDx[static_cast<size_t>(std::abs(x - cx))];
      if (step <= n) row[x] = values[step];
    }
  }
}

// ---- circles --------------------------------------------------------------------------

// Cells whose distance from (cx, cy) lies in [inner, outer + 1): the circles
// of every radius inner … outer.
void FillRings(const TMask& m, int64_t cx, int64_t cy, int64_t inner, int64_t outer, uint8_t value) {
  if (outer < 0) return;
  const int64_t low = std::max<int64_t>(inner, 0) * std::max<int64_t>(inner, 0);
  const int64_t high = (outer + 1) * (outer + 1);
  for (int64_t y = std::max<int64_t>(0, cy - outer); y <= std::min(m.H - 1, cy + outer); ++y) {
    uint8_t* row = m.Row(y);
    const int64_t dy2 = (y - cy) * (y - cy);
    for (int64_t x = std::max<int64_t>(0, cx - outer); x <= std::min(m.W - 1, cx + outer); ++x) {
      const int64_t d2 = (x - cx) * (x - cx) + dy2;
      if (d2 >= low && d2 < high) row[x] = value;
    }
  }
}

// Circle k of a Smooth circle effect gets the outline value of k.
void FillSmoothRings(const TMask& m, int64_t cx, int64_t cy, int64_t n, int32_t p) {
  const TSmoothValues values(p, n);
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const int64_t dy2 = (y - cy) * (y - cy);
    for (int64_t x = 0; x < m.W; ++x) {
      const int64_t k = FloorSqrt((x - cx) * (x - cx) + dy2);
      if (k <= n) row[x] = values[k];
    }
  }
}

// Disc of radius MulDiv(D, p, 100) div 2 about the centre. At p = 0 the Slide
// variant still shows the radius-0 circle.
void CircleOutRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t radius = MulDiv64(DiagonalLength(m.W, m.H), p, 100) / 2;
  FillRings(m, m.W / 2, m.H / 2, 0, radius, value);
}

void CircleSlideOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  CircleOutRegion(TMask{cells, w, h}, p, 255);
}

void CircleSmoothOut(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  FillSmoothRings(TMask{cells, w, h}, w / 2, h / 2, MulDiv64(Near(0.9 * DiagonalOf(w, h)), p, 100), p);
}

// Ring from the corners inwards: circles of radius D div 2 - k about the
// centre, k = 0 … MulDiv(D, p, 100) div 2. Every cell lies within D div 2 of
// the centre, so the ring has closed at 100 %.
void CircleInRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t d = DiagonalLength(m.W, m.H);
  const int64_t outer = d / 2;
  FillRings(m, m.W / 2, m.H / 2, outer - MulDiv64(static_cast<int32_t>(d), p, 100) / 2, outer, value);
}

void CircleSlideIn(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  CircleInRegion(TMask{cells, w, h}, p, 255);
}

// Quarter disc about the bottom-left cell, radius MulDiv(D, p, 100).
void CircleRegion(const TMask& m, int32_t p, uint8_t value) {
  FillRings(m, 0, m.H - 1, 0, MulDiv64(DiagonalLength(m.W, m.H), p, 100), value);
}

void CircleSlide(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  CircleRegion(TMask{cells, w, h}, p, 255);
}

void CircleSmooth(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  FillSmoothRings(TMask{cells, w, h}, 0, h - 1, MulDiv64(Near(1.5 * DiagonalOf(w, h)), p, 100), p);
}

// ---- rotation ---------------------------------------------------------------------------

// Wedge turning against the clock about the bottom-left cell, from the
// bottom edge up the right edge (lines to (W-1, H-i), i < H) and on along
// the top edge (lines to (W+i-e, 0), H ≤ i ≤ e), e = MulDiv(W + H, p, 100).
void RotateRegion(const TMask& m, int32_t p, uint8_t value) {
  const int64_t e = MulDiv64(static_cast<int32_t>(m.W + m.H), p, 100);
  if (m.W == 1) {
    // One column: the lines are the column's lower part itself.
    const int64_t reach = e < m.H ? std::max<int64_t>(e - 1, 0) : m.H - 1;
    for (int64_t v = 0; v <= reach; ++v) m.Row(m.H - 1 - v)[0] = value;
    return;
  }
  if (m.H == 1) {
    // One row, which is also the top edge: the first line, to (W-1, 1),
    // touches its left half, every later one all of it.
    for (int64_t u = 0; u < m.W; ++u) {
      if (e >= 1 || 2 * u <= m.W - 1) m.Row(0)[u] = value;
    }
    return;
  }
  // The line furthest round, as a direction from the pivot (u to the right,
  // v up): the last one, except that the first line to the top edge, to
  // (W, 0), lies below the last one to the right edge, to (W-1, 1).
  int64_t bu = m.W - 1, bv = std::min(e, m.H - 1) - 1;
  if (e >= m.H && bu * (m.H - 1) - bv * (m.W + m.H - e) > 0) {
    bu = m.W + m.H - e;
    bv = m.H - 1;
  }
  const int64_t tolerance = std::max(std::abs(bu), std::abs(bv));
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const int64_t v = m.H - 1 - y;
    for (int64_t u = 0; u < m.W; ++u) {
      // Clockwise of the last line, or on it.
      if (2 * (v * bu - u * bv) <= tolerance) row[u] = value;
    }
  }
}

void SmoothRotate(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const TMask m{cells, w, h};
  const TSmoothValues values(p, MulDiv64(2 * (w + h), p, 100));
  const double W = w, H = h;
  // Line i runs from the pivot to (W-1, H-i) for i < H and to (W+H-i, 0)
  // after: as a direction (u to the right, v up), (W-1, i-1) and then
  // (W+H-i, H-1). A cell's step is the i of the line through it,
  // interpolated by slope between lines H-1 and H, which do not meet at the
  // corner. Every line starts at the pivot, which counts with the first.
  const double slopeBefore = (H - 2.0) / (W - 1.0), slopeAfter = (H - 1.0) / W;
  for (int64_t y = 0; y < m.H; ++y) {
    uint8_t* row = m.Row(y);
    const int64_t v = m.H - 1 - y;
    for (int64_t u = 0; u < m.W; ++u) {
      double step;
      if (m.W == 1) {
        step = static_cast<double>(v + 1);  // one column: line i covers its lowest i cells
      } else if (u == 0 && v == 0) {
        step = 0;
      } else if (v * (m.W - 1) <= u * (m.H - 2)) {
        step = 1.0 + static_cast<double>(v) * (W - 1.0) / static_cast<double>(u);
      } else if (v * m.W <= u * (m.H - 1)) {
        const double slope = static_cast<double>(v) / static_cast<double>(u);
        step = H - 1.0 + (slope - slopeBefore) / (slopeAfter - slopeBefore);
      } else {
        step = W + H - static_cast<double>(u) * (H - 1.0) / static_cast<double>(v);
      }
      const int64_t k = Near(step);
      if (k <= values.Last()) row[u] = values[k];
    }
  }
}

// ---- random patterns ---------------------------------------------------------------------

// Marks the first `count` distinct cells of the sequence Random(N), the
// generator seeded with N = the number of cells, with value (not 0). The
// same seed for every frame and a count that grows with p make every frame
// hold the cells of the frames before it.
void MarkPixelPicks(std::span<uint8_t> cells, int64_t count, uint8_t value) {
  const auto total = static_cast<int64_t>(cells.size());
  if (count >= total) {
    // Picking until every cell is taken reaches every cell.
    std::fill(cells.begin(), cells.end(), value);
    return;
  }
  TskRandom random(static_cast<uint32_t>(total));
  for (int64_t k = 0; k < count; ++k) {
    size_t cell;
    do {
      cell = static_cast<size_t>(random.Next(static_cast<int32_t>(total)));
    } while (cells[cell] != 0);
    cells[cell] = value;
  }
}

int64_t PixelCount(int64_t w, int64_t h, int32_t p) {
  return Near(static_cast<double>(w * h) * (p / 100.0));
}

void Pixel(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  MarkPixelPicks(cells, PixelCount(w, h, p), 255);
}

void PixelFade(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  MarkPixelPicks(cells, PixelCount(w, h, p), NearValue(p));
}

// The cells of Pixel, brighter on the left. The column rule alone falls
// below full for wide masks even at 100 % (from about 317 columns on), so
// the last frame gives every cell 255.
void PixelLine(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  std::vector<uint8_t> picks(cells.size());
  MarkPixelPicks(picks, PixelCount(w, h, p), 1);
  std::vector<uint8_t> columnValue(static_cast<size_t>(w), 0);
  const int64_t lastColumn = std::min<int64_t>(w - 1, Near(p / 100.0 * (2.0 * w - 1.0)));
  for (int64_t i = 0; i <= lastColumn; ++i) {
    const double fall = static_cast<double>(i) * 0.1 * w / p;
    const int32_t percent = std::max(0, Near(2.0 * p - fall));
    columnValue[static_cast<size_t>(i)] = p == 100 ? 255 : Saturate(Near(percent / 100.0 * 255.0));
  }
  for (size_t c = 0; c < cells.size(); ++c) {
    if (picks[c] != 0) cells[c] = columnValue[c % static_cast<size_t>(w)];
  }
}

// Columns running down from the top, each with a start lag of up to 79 rows
// smoothed along the columns. At 0 % the columns without lag show their top
// row.
void Stream(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  const TMask m{cells, w, h};
  TskRandom random(static_cast<uint32_t>(int64_t{w} * h));
  std::vector<int64_t> lag(static_cast<size_t>(w));
  for (auto& l : lag) l = -random.Next(80);
  for (int64_t pass = 1; pass <= 8; ++pass) {
    for (int64_t k = pass; k <= m.W - 1 - pass; ++k) {
      const auto i = static_cast<size_t>(k);
      lag[i] = (lag[i - 1] + 2 * lag[i] + lag[i + 1]) / 4;
    }
  }
  const int64_t steps = MulDiv64(h + 79, p, 100) + 1;
  for (int64_t x = 0; x < m.W; ++x) {
    const int64_t last = std::min(m.H - 1, lag[static_cast<size_t>(x)] + steps - 1);
    for (int64_t y = 0; y <= last; ++y) m.Row(y)[x] = 255;
  }
}

// Sine and cosine tables and the value ramp of the plasma, made once.
struct TPlasmaTables {
  std::array<int32_t, 512> Sine{};
  std::array<int32_t, 512> Cosine{};
  std::array<int32_t, 512> Ramp{};

  TPlasmaTables() {
    for (int32_t k = 0; k < 512; ++k) {
      const double angle = 2.0 * std::numbers::pi * k / 512.0;
      Sine[static_cast<size_t>(k)] = (static_cast<int32_t>(std::trunc(std::sin(angle) * 256.0)) + 256) & 511;
      Cosine[static_cast<size_t>(k)] = (static_cast<int32_t>(std::trunc(std::cos(angle) * 256.0)) + 256) & 511;
    }
    // 13 key values, 12 linear pieces spread over the 512 entries.
    constexpr std::array<int32_t, 13> kKeys = {255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    for (int32_t k = 0; k < 512; ++k) {
      const double position = k * 12.0 / 511.0;
      const int32_t piece = std::min(11, static_cast<int32_t>(position));
      const double fraction = position - piece;
      const auto from = kKeys[static_cast<size_t>(piece)], to = kKeys[static_cast<size_t>(piece) + 1];
      Ramp[static_cast<size_t>(k)] = Near(from + (to - from) * fraction);
    }
  }
};

void Plasma(std::span<uint8_t> cells, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  static const TPlasmaTables tables;
  const TMask m{cells, w, h};
  const int64_t lift = MulDiv64(2 * p, 255, 100);
  for (int64_t j = 0; j < m.H; ++j) {
    uint8_t* row = m.Row(j);
    const int64_t sj = tables.Sine[static_cast<size_t>(j & 511)];
    const int64_t cj = tables.Cosine[static_cast<size_t>(j & 511)];
    for (int64_t i = 0; i < m.W; ++i) {
      const int64_t v = tables.Ramp[static_cast<size_t>((tables.Sine[static_cast<size_t>((sj + i) & 511)] + cj) & 511)];
      row[i] = Saturate(lift - v);
    }
  }
}

void Fade(std::span<uint8_t> cells, int32_t, int32_t, int32_t p) {
  if (p == 0) return;
  std::fill(cells.begin(), cells.end(), NearValue(p));
}

// ---- displacement -------------------------------------------------------------------------

// Even rows slide in from the right, odd rows from the left.
void Interlace(std::span<TskDisplacement> grid, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const int64_t shift = MulDiv64(100 - p, w, 100);
  for (int64_t j = 0; j < h; ++j) {
    for (int64_t i = 0; i < w; ++i) {
      const int64_t source = j % 2 == 0 ? i + shift : i - shift;
      if (source < 0 || source >= w) continue;
      grid[static_cast<size_t>(j * w + i)] =
          TskDisplacement{255, static_cast<uint16_t>(source), static_cast<uint16_t>(j)};
    }
  }
}

// The bottom-right part of the new picture grows out of the top-left corner.
void Corner(std::span<TskDisplacement> grid, int32_t w, int32_t h, int32_t p) {
  if (p == 0) return;
  const int64_t a = MulDiv64(w - 1, p, 100), b = MulDiv64(h - 1, p, 100);
  for (int64_t j = 0; j <= std::min<int64_t>(b, h - 1); ++j) {
    for (int64_t i = 0; i <= std::min<int64_t>(a, w - 1); ++i) {
      grid[static_cast<size_t>(j * w + i)] = TskDisplacement{255, static_cast<uint16_t>(w - 1 - a + i),
                                                             static_cast<uint16_t>(h - 1 - b + j)};
    }
  }
}

// ---- direct ------------------------------------------------------------------------------

// Where the new picture lies at p: it enters from the left (krNone), the
// bottom (90°), the right (180°) or the top (270°).
struct TOffset {
  int32_t X;
  int32_t Y;
};
TOffset SlideOffset(const TskBitmap& work, TskRotation rotation, int32_t p) {
  const int32_t w = work.Width(), h = work.Height();
  switch (rotation) {
    case krRotate90: return {0, h - MulDiv64(h, p, 100)};
    case krRotate180: return {w - MulDiv64(w, p, 100), 0};
    case krRotate270: return {0, MulDiv64(h, p, 100) - h};
    default: return {MulDiv64(w, p, 100) - w, 0};
  }
}

// Blends image over work at (x, y): alpha 0 leaves, 255 replaces.
void BlendAt(TskBitmap& work, const TskBitmap& image, int64_t x, int64_t y) {
  const int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(x + image.Width(), work.Width());
  const int64_t top = std::max<int64_t>(y, 0), bottom = std::min<int64_t>(y + image.Height(), work.Height());
  if (left >= right || top >= bottom) return;
  const auto blendRow = PixelRoutines().BlendRow;
  for (int64_t row = top; row < bottom; ++row) {
    blendRow(work.Row(static_cast<int32_t>(row)) + left, image.Row(static_cast<int32_t>(row - y)) + (left - x),
             static_cast<size_t>(right - left));
  }
}

// The picture drawn onto itself moved by (dx, dy): a plain copy, the
// uncovered part keeping what it held.
void MovePicture(TskBitmap& work, int64_t dx, int64_t dy) {
  const int64_t w = work.Width(), h = work.Height();
  const int64_t first = std::max<int64_t>(0, -dx), last = std::min(w, w - dx);  // source columns
  if (first >= last) return;
  const auto count = static_cast<size_t>(last - first);
  const auto copy = [&](int64_t y) {
    const int64_t to = y + dy;
    if (to < 0 || to >= h) return;
    PixelRoutines().CopyRow(work.Row(static_cast<int32_t>(to)) + first + dx, work.Row(static_cast<int32_t>(y)) + first,
                            count);
  };
  // Rows are read before they are overwritten.
  if (dy > 0) {
    for (int64_t y = h - 1; y >= 0; --y) copy(y);
  } else {
    for (int64_t y = 0; y < h; ++y) copy(y);
  }
}

void Slide(TskBitmap& work, const TskBitmap& image, const TskAnimationRec& settings, int32_t p) {
  if (p == 0) return;
  const TOffset at = SlideOffset(work, settings.Rotation(), p);
  BlendAt(work, image, at.X, at.Y);
}

// As Slide, the old picture pushed ahead of the new one.
void Push(TskBitmap& work, const TskBitmap& image, const TskAnimationRec& settings, int32_t p) {
  if (p == 0) return;
  const TOffset at = SlideOffset(work, settings.Rotation(), p);
  // The new picture's offset from its resting place is the old one's from
  // its own, one picture further on.
  switch (settings.Rotation()) {
    case krRotate90: MovePicture(work, 0, at.Y - work.Height()); break;
    case krRotate180: MovePicture(work, at.X - work.Width(), 0); break;
    case krRotate270: MovePicture(work, 0, at.Y + work.Height()); break;
    default: MovePicture(work, at.X + work.Width(), 0); break;
  }
  BlendAt(work, image, at.X, at.Y);
}

}  // namespace

void RegisterStandardEffects(TskProcList& list) {
  const auto mask = [&](const char* name, TskMaskProc procedure) { list.Register(name, kMaskEffect, procedure); };
  mask("SmoothDiagonal", SmoothDiagonal);
  mask("SmoothDiagonalIn", SmoothDiagonalIn);
  mask("SmoothDiagonalOut", SmoothDiagonalOut);
  mask("SmoothDown", SmoothDown);
  mask("SmoothIn", SmoothIn);
  mask("SmoothOut", SmoothOut);
  mask("SmoothCrossOut", SmoothCrossOut);
  mask("SmoothCrossIn", SmoothInverseOf<SmoothCrossOut>);
  mask("SmoothRectIn", SmoothInverseOf<SmoothRectOut>);
  mask("SmoothRectOut", SmoothRectOut);
  mask("SlideDiagonal", SlideOf<DiagonalRegion>);
  mask("SlideDiagonalIn", SlideOf<DiagonalInRegion>);
  mask("SlideDiagonalOut", SlideOf<DiagonalOutRegion>);
  mask("SlideDown", SlideOf<DownRegion>);
  mask("SlideIn", SlideOf<InRegion>);
  mask("SlideOut", SlideOf<OutRegion>);
  mask("SlideCrossOut", SlideOf<CrossOutRegion>);
  mask("SlideCrossIn", SlideComplementOf<CrossOutRegion>);
  mask("SlideRectOut", SlideOf<RectOutRegion>);
  mask("SlideRectIn", SlideComplementOf<RectOutRegion>);
  mask("Fade", Fade);
  mask("FadeDiagonal", FadeOf<DiagonalRegion>);
  mask("FadeDiagonalIn", FadeOf<DiagonalInRegion>);
  mask("FadeDiagonalOut", FadeOf<DiagonalOutRegion>);
  mask("FadeDown", FadeOf<DownRegion>);
  mask("FadeIn", FadeOf<InRegion>);
  mask("FadeOut", FadeOf<OutRegion>);
  mask("FadeCrossOut", FadeOf<CrossOutRegion>);
  mask("FadeCrossIn", FadeComplementOf<CrossOutRegion>);
  mask("FadeRectOut", FadeOf<RectOutRegion>);
  mask("FadeRectIn", FadeComplementOf<RectOutRegion>);
  mask("Pixel", Pixel);
  mask("Pixel fade", PixelFade);
  mask("Pixel line", PixelLine);
  mask("CircleSlideOut", CircleSlideOut);
  mask("CircleFadeOut", FadeOf<CircleOutRegion>);
  mask("CircleSmoothOut", CircleSmoothOut);
  mask("CircleSlideIn", CircleSlideIn);
  mask("CircleFadeIn", FadeOf<CircleInRegion>);
  mask("CircleSmoothIn", SmoothInverseOf<CircleSmoothOut>);
  mask("CircleSlide", CircleSlide);
  mask("CircleFade", FadeOf<CircleRegion>);
  mask("CircleSmooth", CircleSmooth);
  mask("DiamondSlideIn", SlideComplementOf<DiamondOutRegion>);
  mask("DiamondFadeIn", FadeComplementOf<DiamondOutRegion>);
  mask("DiamondSmoothIn", SmoothInverseOf<SmoothDiamondOut>);
  mask("DiamondSlideOut", SlideOf<DiamondOutRegion>);
  mask("DiamondFadeOut", FadeOf<DiamondOutRegion>);
  mask("DiamondSmoothOut", SmoothDiamondOut);
  mask("RotateSlide", SlideOf<RotateRegion>);
  mask("RotateFade", FadeOf<RotateRegion>);
  mask("RotateSmooth", SmoothRotate);
  mask("Stream", Stream);
  mask("Plasma", Plasma);
  list.Register("Interlace", kDisplacementEffect, Interlace);
  list.Register("Corner", kDisplacementEffect, Corner);
  list.Register("Slide", kDirectEffect, Slide);
  list.Register("Push", kDirectEffect, Push);
}
