// Drawing between bitmaps and into raw DIB memory, tiling, merging under,
// the transparency check of links, and the rectangle and text utilities.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/sk_utils.h"
#include "graphics/pixel_helpers.h"

namespace {

constexpr TskPixel kBackground = 0xFFC8C8C8;

// A one-row (or one-column) bitmap whose pixel i is Argb(255, 0, 0, i), so a
// drawn pixel tells which source position it came from.
void MakeIndexed(TskBitmap& bitmap, int length, bool vertical) {
  bitmap.SetSize(vertical ? 1 : length, vertical ? length : 1);
  for (int i = 0; i < length; ++i) bitmap.SetPixelAt(vertical ? 0 : i, vertical ? i : 0, Argb(255, 0, 0, i));
}

// The source positions found along the target's first row or column; -1
// where the target was not drawn.
std::vector<int> DrawnPositions(const TskBitmap& target, bool vertical) {
  std::vector<int> positions;
  const int length = vertical ? target.Height() : target.Width();
  for (int i = 0; i < length; ++i) {
    const TskPixel p = target.PixelAt(vertical ? 0 : i, vertical ? i : 0);
    positions.push_back(p == kBackground ? -1 : PixelBlue(p));
  }
  return positions;
}

}  // namespace

TEST(DrawOnto, NearestNeighbourMapping) {
  struct {
    int sourceStart, sourceCount, destinationStart, destinationCount, targetLength;
    std::vector<int> expected;
  } cases[] = {
      {0, 4, 0, 1, 1, {1}}, {2, 4, 0, 1, 1, {3}}, {0, 1, 0, 1, 1, {0}},  // D < 2: the centre (first + last) div 2
      {0, 4, 0, 7, 7, {0, 0, 1, 1, 2, 2, 3}}, {0, 7, 0, 3, 3, {0, 3, 6}}, {1, 3, 0, 2, 2, {1, 3}},
      {0, 1, 0, 3, 3, {0, 0, 0}}, {0, 3, 1, 3, 5, {-1, 0, 1, 2, -1}},  // same size: one to one
      // Clipping never shifts the image: positions come from the unclipped
      // destination (-3..5), i × 3 / 7 for i = 3..7.
      {0, 4, -3, 8, 5, {1, 1, 2, 2, 3}}, {0, 8, -2, 8, 4, {2, 3, 4, 5}}, {0, 4, 3, 8, 5, {-1, -1, -1, 0, 0}},
  };
  for (bool vertical : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << (vertical ? "rows " : "columns ") << c.sourceStart << "+" << c.sourceCount
                                      << " -> " << c.destinationStart << "+" << c.destinationCount);
      TskBitmap source;
      MakeIndexed(source, c.sourceStart + c.sourceCount + 2, vertical);
      TskBitmap target;
      target.SetSize(vertical ? 1 : c.targetLength, vertical ? c.targetLength : 1);
      target.Fill(kBackground);
      const TRect sourceRect = vertical ? TRect{0, c.sourceStart, 1, c.sourceStart + c.sourceCount}
                                        : TRect{c.sourceStart, 0, c.sourceStart + c.sourceCount, 1};
      const TRect destination = vertical ? TRect{0, c.destinationStart, 1, c.destinationStart + c.destinationCount}
                                         : TRect{c.destinationStart, 0, c.destinationStart + c.destinationCount, 1};
      source.DrawOnto(target, destination, sourceRect);
      EXPECT_EQ(DrawnPositions(target, vertical), c.expected);
    }
  }
}

TEST(DrawOnto, NothingIsDrawnForInvalidRectangles) {
  TskBitmap source;
  source.SetSize(4, 4);
  source.Fill(Argb(255, 1, 2, 3));
  TskBitmap empty;
  TskBitmap target;
  target.SetSize(4, 4);
  target.Fill(kBackground);
  const TRect inside{0, 0, 4, 4};
  for (const TRect& bad : {TRect{-1, 0, 3, 3}, TRect{0, 0, 5, 4}, TRect{1, 1, 1, 3}, TRect{2, 2, 1, 3}}) {
    source.DrawOnto(target, inside, bad);
  }
  source.DrawOnto(target, TRect{0, 0, 0, 4}, inside);
  source.DrawOnto(target, TRect{4, 0, 8, 4}, inside);
  empty.DrawOnto(target, inside, inside);
  source.DrawOnto(empty, inside, inside);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(target.Bits()[i], kBackground) << i;
}

TEST(DrawOnto, PerPixelRulesOfTheThreeModes) {
  const std::vector<TskPixel> sourcePixels = {Argb(0, 10, 20, 30), Argb(255, 40, 50, 60), kKeyPixel,
                                              Argb(128, 255, 255, 255), Argb(255, 127, 0, 127)};
  struct {
    const char* mode;
    bool alphaBlend, transparent;
    std::vector<TskPixel> expected;  // 0 marks "blended", checked separately
  } cases[] = {
      {"copy", false, false, sourcePixels},
      {"key", false, true,
       {Argb(255, 10, 20, 30), Argb(255, 40, 50, 60), kBackground, Argb(255, 255, 255, 255), kBackground}},
      {"blend", true, false, {kBackground, Argb(255, 40, 50, 60), kBackground, 0, Argb(255, 127, 0, 127)}},
      {"blend wins over key", true, true, {kBackground, Argb(255, 40, 50, 60), kBackground, 0, Argb(255, 127, 0, 127)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    TskBitmap source;
    source.SetSize(5, 1);
    std::copy(sourcePixels.begin(), sourcePixels.end(), source.Bits());
    source.AlphaBlend = c.alphaBlend;
    source.Transparent = c.transparent;
    for (int width : {5, 10}) {  // unscaled and stretched
      TskBitmap target;
      target.SetSize(width, 2);
      target.Fill(kBackground);
      source.DrawOnto(target, TRect{0, 0, width, 2}, source.Bounds());
      for (int x = 0; x < width; ++x) {
        const TskPixel expected = c.expected[static_cast<size_t>(width == 5 ? x : x * 4 / 9)];
        const TskPixel actual = target.PixelAt(x, 1);
        if (expected == 0) {
          EXPECT_EQ(PixelAlpha(actual), 255);
          EXPECT_NEAR(PixelRed(actual), (255 * 128 + 200 * 127) / 256, 1);
        } else {
          EXPECT_EQ(actual, expected) << "x=" << x << " width=" << width;
        }
      }
    }
  }
}

TEST(DrawOnto, RepeatedRowsKeepTheirOwnBackground) {
  // A keyed or blended row stretched over several destination rows must be
  // applied to each row's own background, not copied from the row above.
  for (bool alphaBlend : {false, true}) {
    TskBitmap source;
    source.SetSize(2, 1);
    source.SetPixelAt(0, 0, alphaBlend ? Argb(0, 1, 1, 1) : kKeyPixel);
    source.SetPixelAt(1, 0, Argb(255, 255, 0, 0));
    source.AlphaBlend = alphaBlend;
    source.Transparent = !alphaBlend;
    TskBitmap target;
    target.SetSize(2, 4);
    for (int y = 0; y < 4; ++y) target.FillRect(TRect{0, y, 2, y + 1}, Argb(255, 0, y * 50, 0));
    source.DrawOnto(target, TRect{0, 0, 2, 4}, source.Bounds());
    for (int y = 0; y < 4; ++y) {
      EXPECT_EQ(target.PixelAt(0, y), Argb(255, 0, y * 50, 0)) << "row " << y << " blend " << alphaBlend;
      EXPECT_EQ(target.PixelAt(1, y), Argb(255, 255, 0, 0)) << "row " << y;
    }
  }
}

TEST(DrawOnto, PositionedFormsAndDrawingOntoItself) {
  TskBitmap bitmap;
  bitmap.SetSize(3, 4);
  for (int i = 0; i < 12; ++i) bitmap.Bits()[i] = static_cast<TskPixel>(i);
  bitmap.DrawOnto(bitmap, 0, 1, TRect{0, 0, 3, 3});  // rows 0..2 down by one, over their own source
  for (int i = 3; i < 12; ++i) EXPECT_EQ(bitmap.Bits()[i], static_cast<TskPixel>(i - 3));
  TskBitmap target;
  target.SetSize(2, 2);
  target.Fill(kBackground);
  bitmap.DrawOnto(target, -1, 1, TRect{1, 2, 3, 3});
  EXPECT_EQ(target.PixelAt(0, 1), bitmap.PixelAt(2, 2));
  EXPECT_EQ(target.PixelAt(1, 1), kBackground);
  bitmap.DrawOnto(target, INT32_MAX - 1, 0);  // far outside: nothing, and no overflow
  EXPECT_EQ(target.PixelAt(1, 0), kBackground);
}

TEST(DrawToPixels, BottomUpMemoryIsAddressedFromTheBottom) {
  TskBitmap source;
  source.SetSize(2, 2);
  source.SetPixelAt(0, 0, 1);
  source.SetPixelAt(1, 0, 2);
  source.SetPixelAt(0, 1, 3);
  source.SetPixelAt(1, 1, 4);
  std::vector<TskPixel> memory(3 * 3, 9);
  source.DrawToPixels(TskPixelBuffer{memory.data(), 3, 3, true}, TRect{1, 0, 3, 2}, source.Bounds());
  // Memory row 2 is the top row of the picture.
  EXPECT_EQ(memory, (std::vector<TskPixel>{9, 9, 9, 9, 3, 4, 9, 1, 2}));
  source.DrawToPixels(TskPixelBuffer{memory.data(), 3, 3, false}, TRect{0, 0, 1, 1}, TRect{1, 1, 2, 2});
  EXPECT_EQ(memory[0], 4u);
}

TEST(Tile, PiecesAndCutOffs) {
  using Pieces = std::vector<std::pair<TRect, TRect>>;
  struct {
    const char* name;
    TRect destination, source, clip;
    Pieces expected;
  } cases[] = {
      {"cut at the right", {0, 0, 25, 10}, {0, 0, 10, 10}, {},
       {{{0, 0, 10, 10}, {0, 0, 10, 10}}, {{10, 0, 20, 10}, {0, 0, 10, 10}}, {{20, 0, 25, 10}, {0, 0, 5, 10}}}},
      {"source offset, cut at the bottom", {5, 5, 15, 12}, {3, 4, 8, 8}, {},
       {{{5, 5, 10, 9}, {3, 4, 8, 8}}, {{5, 9, 10, 12}, {3, 4, 8, 7}},
        {{10, 5, 15, 9}, {3, 4, 8, 8}}, {{10, 9, 15, 12}, {3, 4, 8, 7}}}},
      {"clip inside the middle tile", {0, 0, 25, 10}, {0, 0, 10, 10}, {12, 2, 14, 3}, {{{10, 0, 20, 10}, {0, 0, 10, 10}}}},
      {"clip touching a tile's edge", {0, 0, 25, 10}, {0, 0, 10, 10}, {10, 0, 21, 10},
       {{{10, 0, 20, 10}, {0, 0, 10, 10}}, {{20, 0, 25, 10}, {0, 0, 5, 10}}}},
      {"clip outside", {0, 0, 25, 10}, {0, 0, 10, 10}, {30, 0, 40, 10}, {}},
      {"empty source", {0, 0, 25, 10}, {0, 0, 0, 10}, {}, {}},
  };
  for (const auto& c : cases) {
    Pieces pieces;
    ForEachTile(c.destination, c.source, c.clip, [&](const TRect& d, const TRect& s) { pieces.emplace_back(d, s); });
    ASSERT_EQ(pieces.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].first, c.expected[i].first) << c.name << " piece " << i;
      EXPECT_EQ(pieces[i].second, c.expected[i].second) << c.name << " piece " << i;
    }
  }
}

TEST(MergeUnder, AlphaDecidesAndPositionsNeverWrap) {
  TskBitmap top;
  top.SetSize(4, 2);
  top.SetPixelAt(0, 0, Argb(0, 9, 9, 9));
  top.SetPixelAt(1, 0, Argb(128, 255, 255, 255));
  top.SetPixelAt(2, 0, Argb(255, 1, 2, 3));
  TskBitmap under;
  under.SetSize(3, 1);
  under.Fill(Argb(255, 0, 0, 0));

  top.MergeUnder(under, 0, 0, under.Bounds());
  EXPECT_EQ(top.PixelAt(0, 0), Argb(255, 0, 0, 0));
  EXPECT_EQ(PixelAlpha(top.PixelAt(1, 0)), 255);
  EXPECT_NEAR(PixelRed(top.PixelAt(1, 0)), 127, 1);
  EXPECT_EQ(top.PixelAt(2, 0), Argb(255, 1, 2, 3));
  EXPECT_EQ(top.PixelAt(3, 0), 0u);

  // Placed at x = 2, the third source pixel would pass the row's end: it
  // must not land in the next row.
  TskBitmap clear;
  clear.SetSize(4, 2);
  clear.MergeUnder(under, 2, 0, under.Bounds());
  EXPECT_EQ(clear.PixelAt(2, 0), Argb(255, 0, 0, 0));
  EXPECT_EQ(clear.PixelAt(3, 0), Argb(255, 0, 0, 0));
  EXPECT_EQ(clear.PixelAt(0, 1), 0u);

  // Negative positions and a source rectangle reaching outside the source.
  TskBitmap indexed;
  MakeIndexed(indexed, 3, false);
  TskBitmap other;
  other.SetSize(4, 2);
  other.MergeUnder(indexed, -1, 1, TRect{-1, 0, 3, 1});
  EXPECT_EQ(other.PixelAt(0, 1), Argb(255, 0, 0, 0));
  EXPECT_EQ(other.PixelAt(1, 1), Argb(255, 0, 0, 1));
  EXPECT_EQ(other.PixelAt(2, 1), Argb(255, 0, 0, 2));
  EXPECT_EQ(other.PixelAt(3, 1), 0u);
  other.MergeUnder(indexed, -10, -10, indexed.Bounds());
  other.MergeUnder(indexed, INT32_MIN, INT32_MAX, indexed.Bounds());
  EXPECT_EQ(other.PixelAt(0, 0), 0u);
}

TEST(CheckTransparency, NinePartClassification) {
  const TRect margins{3, 2, 3, 2};
  struct {
    int x, y;
    TskPixel pixel;
    TRect margins;
    bool corners, edges, centre;
  } cases[] = {
      {1, 1, kKeyPixel, margins, true, false, false},
      {8, 6, Argb(254, 1, 1, 1), margins, true, false, false},
      {4, 0, Argb(0, 1, 1, 1), margins, false, true, false},
      {0, 3, Argb(0, 1, 1, 1), margins, false, true, false},
      {6, 3, Argb(0, 1, 1, 1), margins, false, true, false},
      {4, 3, Argb(0, 1, 1, 1), margins, false, false, true},
      {5, 4, 0x33333333, margins, false, false, false},  // the sentinel never counts
      {5, 4, Argb(255, 1, 1, 1), margins, false, false, false},
      {8, 6, kKeyPixel, TRect{}, false, false, true},  // no margins: all is centre
  };
  for (const auto& c : cases) {
    TskBitmap bitmap;
    bitmap.SetSize(12, 9);
    bitmap.Fill(Argb(255, 0, 0, 0));
    bitmap.SetPixelAt(c.x + 1, c.y + 1, c.pixel);  // the link starts at (1, 1)
    TskBitmapLink link;
    link.Bitmap = &bitmap;
    link.Rect = TRect{1, 1, 10, 8};  // 9 × 7
    link.EdgesTransparent = link.CornersTransparent = link.CenterTransparent = true;
    link.CheckTransparency(c.margins);
    EXPECT_EQ(link.CornersTransparent, c.corners) << c.x << "," << c.y;
    EXPECT_EQ(link.EdgesTransparent, c.edges) << c.x << "," << c.y;
    EXPECT_EQ(link.CenterTransparent, c.centre) << c.x << "," << c.y;
  }
}

TEST(CheckTransparency, OnlyPixelsInsideTheBitmapCount) {
  TskBitmap bitmap;
  bitmap.SetSize(4, 4);
  bitmap.Fill(Argb(255, 0, 0, 0));
  TskBitmapLink link;
  link.Bitmap = &bitmap;
  link.Rect = TRect{-100, -100, 1000000, 1000000};
  link.CheckTransparency(TRect{1, 1, 1, 1});
  EXPECT_FALSE(link.CornersTransparent || link.EdgesTransparent || link.CenterTransparent);
  link.CheckTransparency();
  EXPECT_FALSE(link.CenterTransparent);
  link.Bitmap = nullptr;
  link.CheckTransparency();
  EXPECT_FALSE(link.CenterTransparent);
}

TEST(RectUtilities, CentreRoundsTowardZeroAndWidthsDoNotOverflow) {
  EXPECT_EQ(CentreRect(TRect{0, 0, 4, 4}, TRect{10, 10, 20, 20}), (TRect{13, 13, 17, 17}));
  EXPECT_EQ(CentreRect(TRect{0, 0, 3, 3}, TRect{0, 0, 10, 10}), (TRect{3, 3, 6, 6}));        // 3.5 → 3
  EXPECT_EQ(CentreRect(TRect{0, 0, 13, 13}, TRect{0, 0, 10, 10}), (TRect{-1, -1, 12, 12}));  // −1.5 → −1
  EXPECT_EQ(Inset(TRect{0, 0, 10, 10}, TRect{1, 2, 3, 4}), (TRect{1, 2, 7, 6}));
  EXPECT_TRUE(IsRectEmpty(TRect{INT32_MAX, 0, INT32_MIN, 5}));
  EXPECT_EQ(RectWidth(TRect{INT32_MIN, 0, INT32_MAX, 0}), int64_t{UINT32_MAX});
  EXPECT_EQ(IntersectRects(TRect{0, 0, 5, 5}, TRect{5, 0, 9, 9}), TRect{});
}

TEST(RegionRuns, MaximalRunsOfNonKeyPixels) {
  TskBitmap bitmap;
  bitmap.SetSize(5, 2);
  bitmap.Fill(Argb(0, 1, 1, 1));  // alpha does not matter, only the colour part
  bitmap.SetPixelAt(2, 0, Argb(255, 127, 0, 127));
  for (int x = 0; x < 5; ++x) bitmap.SetPixelAt(x, 1, kKeyPixel);
  bitmap.SetPixelAt(4, 1, 0);
  EXPECT_EQ(OpaqueRuns(bitmap, 10, 20),
            (std::vector<TRect>{{10, 20, 12, 21}, {13, 20, 15, 21}, {14, 21, 15, 22}}));
  TskBitmap empty;
  EXPECT_TRUE(OpaqueRuns(empty, 0, 0).empty());
}

TEST(Ellipsis, LongestFittingPrefix) {
  const auto measure = [](std::wstring_view text) { return static_cast<int>(text.size()) * 10; };
  struct {
    std::wstring text;
    int width;
    std::wstring expected;
  } cases[] = {
      {L"Hello world", 110, L"Hello world"},
      {L"Hello world", 109, L"Hello w..."},
      {L"Hello world", 60, L"Hel..."},
      {L"Hello world", 69, L"Hel..."},
      {L"Hello world", 20, L"..."},
      {L"", 0, L""},
      {L"ab", -1, L"..."},
  };
  for (const auto& c : cases) EXPECT_EQ(EllipsizeText(c.text, c.width, measure), c.expected) << c.width;
}
