// Properties of the registered effects, checked across the catalogue and a
// spread of mask sizes rather than formula by formula: empty and full ends,
// regions that only grow, In variants as complements, orientation, and what
// the displacement and direct effects show.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "graphics/sk_effect.h"
#include "graphics/pixel_helpers.h"

namespace {

// Sizes with odd and even edges, single rows and columns, both aspects, and
// a mask wide enough for the rules that change with the width.
const std::vector<std::pair<int32_t, int32_t>> kSizes = {{1, 1},   {1, 7},   {7, 1},   {2, 2},   {11, 4}, {4, 11},
                                                         {20, 3},  {13, 13}, {80, 61}, {61, 80}, {400, 9}};

std::vector<const TskProcItem*> MaskEffects() {
  std::vector<const TskProcItem*> items;
  for (int32_t i = 0; i < EffectList().Count(); ++i) {
    if (EffectList().Item(i).Kind == kMaskEffect) items.push_back(&EffectList().Item(i));
  }
  return items;
}

std::vector<uint8_t> RunMask(const TskProcItem& item, int32_t w, int32_t h, int32_t p) {
  std::vector<uint8_t> mask(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  std::get<TskMaskProc>(item.Procedure)(mask, w, h, p);
  return mask;
}

std::vector<uint8_t> RunMask(std::string_view name, int32_t w, int32_t h, int32_t p) {
  const TskProcItem* item = FindEffect(name);
  EXPECT_NE(item, nullptr) << name;
  return RunMask(*item, w, h, p);
}

bool IsSlide(std::string_view base) {
  return base.starts_with("Slide") || base.starts_with("CircleSlide") || base.starts_with("DiamondSlide") ||
         base == "RotateSlide" || base == "Pixel" || base == "Stream";
}

// The Fade variant of a Slide effect's base name.
std::string FadeTwin(std::string_view slide) {
  std::string name(slide);
  name.replace(name.find("Slide"), 5, "Fade");
  return name;
}

int CountSet(const std::vector<uint8_t>& mask) {
  int count = 0;
  for (uint8_t cell : mask) count += cell != 0;
  return count;
}

}  // namespace

TEST(EffectCatalogue, EndsEmptyAtZeroAndFullAtHundred) {
  const std::set<std::string_view> drawAtZero = {"CircleSlideOut", "CircleSlideIn", "CircleSlide", "Stream"};
  for (const TskProcItem* item : MaskEffects()) {
    for (const auto& [w, h] : kSizes) {
      SCOPED_TRACE(testing::Message() << item->Name << " " << w << "x" << h);
      const auto start = RunMask(*item, w, h, 0);
      if (!drawAtZero.contains(item->BaseName())) {
        EXPECT_EQ(CountSet(start), 0);
      }
      const auto end = RunMask(*item, w, h, 100);
      EXPECT_EQ(end, std::vector<uint8_t>(end.size(), 255));
    }
  }
  // The shapes drawn at 0 %: the centre cell, the bottom-left cell.
  for (const auto& [w, h] : kSizes) {
    auto centre = std::vector<uint8_t>(static_cast<size_t>(w * h), 0);
    centre[static_cast<size_t>(h / 2 * w + w / 2)] = 255;
    EXPECT_EQ(RunMask("CircleSlideOut", w, h, 0), centre);
    auto corner = std::vector<uint8_t>(static_cast<size_t>(w * h), 0);
    corner[static_cast<size_t>((h - 1) * w)] = 255;
    EXPECT_EQ(RunMask("CircleSlide", w, h, 0), corner);
  }
}

TEST(EffectCatalogue, SlideRegionsOnlyGrowAndFadeTwinsShareThem) {
  for (const TskProcItem* item : MaskEffects()) {
    if (!IsSlide(item->BaseName())) continue;
    const TskProcItem* twin = item->BaseName().find("Slide") != std::string_view::npos
                                  ? FindEffect(FadeTwin(item->BaseName()))
                                  : nullptr;
    for (const auto& [w, h] : kSizes) {
      SCOPED_TRACE(testing::Message() << item->Name << " " << w << "x" << h);
      auto previous = RunMask(*item, w, h, 0);
      for (int32_t p = 1; p <= 100; ++p) {
        const auto mask = RunMask(*item, w, h, p);
        for (size_t c = 0; c < mask.size(); ++c) {
          ASSERT_TRUE(mask[c] == 0 || mask[c] == 255) << "p=" << p;
          ASSERT_TRUE(previous[c] == 0 || mask[c] == 255) << "cell " << c << " lost at p=" << p;
        }
        if (twin != nullptr) {
          const auto fade = RunMask(*twin, w, h, p);
          const auto value = static_cast<uint8_t>(MulDiv64(p, 255, 100));
          for (size_t c = 0; c < mask.size(); ++c) ASSERT_EQ(fade[c], mask[c] ? value : 0) << twin->Name << " p=" << p;
        }
        previous = mask;
      }
    }
  }
}

TEST(EffectCatalogue, InVariantsComplementTheirOutVariants) {
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"SlideCrossIn", "SlideCrossOut"},       {"FadeCrossIn", "SlideCrossOut"},
      {"SlideRectIn", "SlideRectOut"},         {"FadeRectIn", "SlideRectOut"},
      {"DiamondSlideIn", "DiamondSlideOut"},   {"DiamondFadeIn", "DiamondSlideOut"},
      {"SmoothCrossIn", "SmoothCrossOut"},     {"SmoothRectIn", "SmoothRectOut"},
      {"DiamondSmoothIn", "DiamondSmoothOut"}, {"CircleSmoothIn", "CircleSmoothOut"}};
  for (const auto& [in, out] : pairs) {
    for (const auto& [w, h] : kSizes) {
      for (int32_t p = 1; p < 100; p += 7) {
        SCOPED_TRACE(testing::Message() << in << " " << w << "x" << h << " p=" << p);
        const auto inner = RunMask(in, w, h, p);
        const auto outer = RunMask(out, w, h, 100 - p);
        for (size_t c = 0; c < inner.size(); ++c) {
          uint8_t expected = static_cast<uint8_t>(255 - outer[c]);  // Smooth: inverted
          if (in.find("Smooth") == std::string::npos) {
            const uint8_t value = in.find("Fade") != std::string::npos ? MulDiv64(p, 255, 100) : 255;
            expected = outer[c] != 0 ? 0 : value;
          }
          ASSERT_EQ(inner[c], expected) << "cell " << c;
        }
      }
    }
  }
}

TEST(EffectCatalogue, PixelFramesKeepTheCellsOfEarlierFrames) {
  for (const auto& [w, h] : kSizes) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    std::vector<uint8_t> previous(static_cast<size_t>(w * h), 0);
    for (int32_t p = 1; p <= 100; ++p) {
      const auto pixel = RunMask("Pixel", w, h, p);
      ASSERT_EQ(CountSet(pixel), Near(w * h * (p / 100.0))) << "p=" << p;
      const auto fade = RunMask("Pixel fade", w, h, p);
      const auto line = RunMask("Pixel line", w, h, p);
      for (size_t c = 0; c < pixel.size(); ++c) {
        ASSERT_TRUE(previous[c] == 0 || pixel[c] != 0) << "cell " << c << " lost at p=" << p;
        ASSERT_EQ(fade[c], pixel[c] ? Near(p / 100.0 * 255) : 0);
        ASSERT_TRUE(line[c] == 0 || pixel[c] != 0);
      }
      previous = pixel;
    }
  }
}

// ---- composition ----------------------------------------------------------------

namespace {

constexpr TskPixel kOld = 0xFF102030;

// A picture whose pixels tell where they come from: red 1, green x, blue y.
void FillNew(TskBitmap& image, int32_t w, int32_t h) {
  image.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) image.SetPixelAt(x, y, Argb(255, 1, x, y));
  }
}

// A slot prepared as the engine prepares one, for a procedure given
// directly (item) or the BITMAP effect (item nullptr).
struct TFrame {
  TskBitmap oldImage, newImage;
  TskAnimationRec settings;
  TskProcItem item;
  TskEffectSlot slot;

  TFrame(int32_t w, int32_t h, int32_t resolution, int32_t tiles, TskRotation rotation, uint8_t kind,
         TskEffectProc procedure) {
    oldImage.SetSize(w, h);
    oldImage.Fill(kOld);
    FillNew(newImage, w, h);
    settings.SetResolution(resolution);
    settings.SetTileCount(tiles);
    settings.SetRotation(rotation);
    item.Kind = kind;
    item.Procedure = procedure;
    slot.OldImage = &oldImage;
    slot.NewImage = &newImage;
    slot.AnimationRec = &settings;
    slot.Item = &item;
  }

  TskBitmap& Compose(int32_t p) {
    if (slot.WorkImage == nullptr) PrepareEffectFrames(slot);
    oldImage.DrawOnto(*slot.WorkImage, 0, 0);
    ComposeEffectFrame(slot, p);
    return *slot.WorkImage;
  }
};

// Where the work image shows the new picture.
std::vector<std::vector<bool>> NewArea(const TskBitmap& work) {
  std::vector<std::vector<bool>> area(static_cast<size_t>(work.Height()), std::vector<bool>(work.Width()));
  for (int32_t y = 0; y < work.Height(); ++y) {
    for (int32_t x = 0; x < work.Width(); ++x) area[y][x] = work.PixelAt(x, y) != kOld;
  }
  return area;
}

// Top row of the pattern at 100, its first cell 255: neither symmetric under
// a mirror nor under a half turn.
void MarkTopRow(std::span<uint8_t> mask, int32_t w, int32_t, int32_t) {
  std::fill_n(mask.begin(), w, uint8_t{100});
  mask[0] = 255;
}

void MarkTopRowIdentity(std::span<TskDisplacement> grid, int32_t w, int32_t, int32_t) {
  for (int32_t i = 0; i < w; ++i) grid[static_cast<size_t>(i)] = {255, static_cast<uint16_t>(i), 0};
}

void Identity(std::span<TskDisplacement> grid, int32_t w, int32_t h, int32_t) {
  for (int32_t j = 0; j < h; ++j) {
    for (int32_t i = 0; i < w; ++i) grid[static_cast<size_t>(j * w + i)] = {255, uint16_t(i), uint16_t(j)};
  }
}

void OnlyFirstCell(std::span<uint8_t> mask, int32_t, int32_t, int32_t) { mask[0] = 255; }

}  // namespace

TEST(EffectOrientation, MaskPatternsTurnAgainstTheClockAndDisplacementWithIt) {
  // 65 × 45 pixels at Resolution 10: 7 × 5 cells. The pattern's top row is
  // 100 with its first cell 255, which no mirror or half turn preserves.
  const int32_t w = 65, h = 45, cx = 7, cy = 5;
  struct {
    TskRotation rotation;
    int32_t firstX, firstY;  // where the pattern's first cell lands
    bool column;             // the top row becomes column `line` (or row)
    int32_t line;
  } cases[] = {{krNone, 0, 0, false, 0},
               {krRotate90, 0, cy - 1, true, 0},
               {krRotate180, cx - 1, cy - 1, false, cy - 1},
               {krRotate270, cx - 1, 0, true, cx - 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "rotation " << int(c.rotation));
    TFrame frame(w, h, 10, 1, c.rotation, kMaskEffect, TskMaskProc{MarkTopRow});
    frame.Compose(50);
    for (int32_t y = 0; y < cy; ++y) {
      for (int32_t x = 0; x < cx; ++x) {
        const int expected = x == c.firstX && y == c.firstY ? 255 : (c.column ? x : y) == c.line ? 100 : 0;
        EXPECT_EQ(frame.slot.Mask[y * cx + x], expected) << x << "," << y;
      }
    }
    const int32_t px = c.firstX * 10 + 2, py = c.firstY * 10 + 2;
    EXPECT_EQ(frame.slot.WorkImage->PixelAt(px, py), Argb(255, 1, px, py));

    // A displacement pattern's top row lands on the opposite column.
    if (c.column) {
      TFrame moved(w, h, 10, 1, c.rotation, kDisplacementEffect, TskDisplacementProc{MarkTopRowIdentity});
      const auto area = NewArea(moved.Compose(50));
      for (int32_t y = 0; y < h; ++y) EXPECT_TRUE(area[y][(cx - 1 - c.line) * 10 + 2]) << y;
      EXPECT_FALSE(area[20][c.line * 10 + 2]);
    }
  }
}

TEST(EffectComposition, DisplacementShowsTheNewPictureWhereverItsCellsGo) {
  for (TskRotation rotation : {krNone, krRotate90, krRotate180, krRotate270}) {
    for (int32_t resolution : {1, 3, 10}) {
      for (int32_t tiles : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << int(rotation) << " res " << resolution << " tiles " << tiles);
        TFrame identity(47, 31, resolution, tiles, rotation, kDisplacementEffect, TskDisplacementProc{Identity});
        const TskBitmap& work = identity.Compose(37);
        for (int32_t y = 0; y < 31; ++y) {
          for (int32_t x = 0; x < 47; ++x) ASSERT_EQ(work.PixelAt(x, y), Argb(255, 1, x, y)) << x << "," << y;
        }
        for (const char* name : {"Interlace", "Corner"}) {
          TFrame frame(47, 31, resolution, tiles, rotation, kDisplacementEffect, FindEffect(name)->Procedure);
          const TskBitmap& last = frame.Compose(100);
          for (int32_t y = 0; y < 31; ++y) {
            for (int32_t x = 0; x < 47; ++x) ASSERT_EQ(last.PixelAt(x, y), Argb(255, 1, x, y)) << name;
          }
        }
      }
    }
  }
}

TEST(EffectComposition, SlideAndPushEnterFromTheSideTheirRotationNames) {
  // At 30 % the new picture covers a strip of s on its side (left, bottom,
  // right, top), showing its far edge; Push moves the old picture (red 2)
  // on by s.
  const int32_t w = 40, h = 30, p = 30;
  struct {
    TskRotation rotation;
    int32_t dx, dy;  // the new picture's offset at p
  } cases[] = {{krNone, 12 - w, 0}, {krRotate90, 0, h - 9}, {krRotate180, w - 12, 0}, {krRotate270, 0, 9 - h}};
  for (const char* name : {"Slide", "Push"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << name << " rotation " << int(c.rotation));
      TFrame frame(w, h, 1, 1, c.rotation, kDirectEffect, FindEffect(name)->Procedure);
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) frame.oldImage.SetPixelAt(x, y, Argb(255, 2, x, y));
      }
      const TskBitmap& work = frame.Compose(p);
      // The old picture's offset is the new one's, one picture further on.
      const int32_t ox = c.dx == 0 ? 0 : c.dx < 0 ? c.dx + w : c.dx - w;
      const int32_t oy = c.dy == 0 ? 0 : c.dy < 0 ? c.dy + h : c.dy - h;
      const bool push = std::string_view(name) == "Push";
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          const int32_t nx = x - c.dx, ny = y - c.dy;
          const TskPixel expected = nx >= 0 && nx < w && ny >= 0 && ny < h ? Argb(255, 1, nx, ny)
                                    : push                                ? Argb(255, 2, x - ox, y - oy)
                                                                          : Argb(255, 2, x, y);
          ASSERT_EQ(work.PixelAt(x, y), expected) << x << "," << y;
        }
      }
      const TskBitmap& last = frame.Compose(100);
      EXPECT_TRUE(last.PixelAt(0, 0) == Argb(255, 1, 0, 0) && last.PixelAt(w - 1, h - 1) == Argb(255, 1, w - 1, h - 1));
    }
  }
}

TEST(EffectComposition, MaskIsTiledAndKeyColourStaysOld) {
  // 40 × 30 at Resolution 5 and TileCount 2: 5 × 4 cells per tile of 25 × 20.
  TFrame frame(40, 30, 5, 2, krNone, kMaskEffect, TskMaskProc{OnlyFirstCell});
  frame.newImage.SetPixelAt(1, 1, 0xFF000000 | kKeyColor);
  const auto area = NewArea(frame.Compose(50));
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 40; ++x) {
      const bool inFirstCell = x % 25 < 5 && y % 20 < 5;
      EXPECT_EQ(area[y][x], inFirstCell && !(x == 1 && y == 1)) << x << "," << y;
    }
  }
  // The mask effect wrote its alpha into the new picture.
  EXPECT_EQ(PixelAlpha(frame.newImage.PixelAt(30, 0)), 0);
  EXPECT_EQ(PixelAlpha(frame.newImage.PixelAt(26, 21)), 255);
}
