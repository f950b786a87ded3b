// Frame composition: turning what an effect procedure produced into the
// pixels of one frame.
//
// Geometry shared by the kinds: the picture is covered by TileCount ×
// TileCount tiles of CellsX × CellsY cells of Resolution pixels each. CellsX
// is width div Resolution div TileCount + 1, so the tiles always reach past
// the right and bottom edges; whatever lies outside the pictures is clipped.
#include <algorithm>
#include <cstring>
#include <limits>

#include "graphics/sk_effect.h"

namespace {

bool QuarterTurn(TskRotation rotation) { return rotation == krRotate90 || rotation == krRotate270; }

// Index into the procedure's pattern of the cell that lands on (x, y) of the
// cellsX × cellsY mask. A quarter turn's pattern is cellsY wide.
size_t PatternIndex(TskRotation rotation, int32_t cellsX, int32_t cellsY, int32_t x, int32_t y) {
  const auto X = static_cast<size_t>(x), Y = static_cast<size_t>(y);
  const auto W = static_cast<size_t>(cellsX), H = static_cast<size_t>(cellsY);
  switch (rotation) {
    case krRotate90: return X * H + (H - 1 - Y);          // pattern's top edge -> left edge
    case krRotate180: return (H - 1 - Y) * W + (W - 1 - X);
    case krRotate270: return (W - 1 - X) * H + Y;         // pattern's top edge -> right edge
    default: return Y * W + X;
  }
}

struct TCellSource {
  int32_t Alpha;
  int64_t X;
  int64_t Y;
};

// A displacement entry for (x, y), its source cell turned with it.
// Displacement grids turn the other way round than masks.
TCellSource EntryAt(std::span<const TskDisplacement> pattern, int32_t cellsX, int32_t cellsY, TskRotation rotation,
                    int32_t x, int32_t y) {
  const auto X = static_cast<size_t>(x), Y = static_cast<size_t>(y);
  const auto W = static_cast<size_t>(cellsX), H = static_cast<size_t>(cellsY);
  size_t index = Y * W + X;
  switch (rotation) {
    case krRotate90: index = (W - 1 - X) * H + Y; break;
    case krRotate180: index = (H - 1 - Y) * W + (W - 1 - X); break;
    case krRotate270: index = X * H + (H - 1 - Y); break;
    default: break;
  }
  const TskDisplacement& e = pattern[index];
  const int64_t sx = e.SourceX, sy = e.SourceY;
  TCellSource source{e.Alpha & 0xFF, sx, sy};
  switch (rotation) {
    case krRotate90: source.X = cellsX - 1 - sy; source.Y = sx; break;
    case krRotate180: source.X = cellsX - 1 - sx; source.Y = cellsY - 1 - sy; break;
    case krRotate270: source.X = sy; source.Y = cellsY - 1 - sx; break;
    default: break;
  }
  return source;
}

// Nearest-neighbour position inside a source span of `count` pixels for
// position i of a destination span of `length` cells (as the bitmap
// library stretches).
int32_t StretchPosition(int64_t i, int64_t length, int64_t count) {
  if (length < 2) return static_cast<int32_t>((count - 1) / 2);
  return static_cast<int32_t>(i * (count - 1) / (length - 1));
}

// The BITMAP effect's map: the settings' picture stretched to the pattern's
// size (turned for the quarter turns like a mask pattern), its blue byte.
void BuildBitmapMap(TskEffectSlot& slot) {
  const TskBitmap& picture = slot.AnimationRec->Bitmap();
  if (picture.IsEmpty()) return;
  const bool quarter = QuarterTurn(slot.Rotation);
  const int32_t width = quarter ? slot.CellsY : slot.CellsX;
  const int32_t height = quarter ? slot.CellsX : slot.CellsY;
  for (int32_t j = 0; j < height; ++j) {
    const int32_t sy = StretchPosition(j, height, picture.Height());
    for (int32_t i = 0; i < width; ++i) {
      const int32_t sx = StretchPosition(i, width, picture.Width());
      slot.RotatedMask[static_cast<size_t>(j) * static_cast<size_t>(width) + static_cast<size_t>(i)] =
          static_cast<uint8_t>(PixelBlue(picture.PixelAt(sx, sy)));
    }
  }
}

// Gives every pixel of the new picture the alpha of its mask cell (key-colour
// pixels 0) and blends it over the work image.
void ApplyMask(TskEffectSlot& slot) {
  TskBitmap& image = *slot.NewImage;
  TskBitmap& work = *slot.WorkImage;
  const int64_t resolution = slot.Resolution;
  const int64_t tileWidth = resolution * slot.CellsX;
  const int64_t tileHeight = resolution * slot.CellsY;
  std::vector<int32_t> cellColumn(static_cast<size_t>(image.Width()));
  for (size_t x = 0; x < cellColumn.size(); ++x) {
    cellColumn[x] = static_cast<int32_t>((static_cast<int64_t>(x) % tileWidth) / resolution);
  }
  const auto blendRow = PixelRoutines().BlendRow;
  const size_t blendCount = static_cast<size_t>(std::min(image.Width(), work.Width()));
  for (int32_t y = 0; y < image.Height(); ++y) {
    const int64_t cellRow = (y % tileHeight) / resolution;
    const uint8_t* maskRow = slot.Mask.data() + cellRow * slot.CellsX;
    TskPixel* row = image.Row(y);
    for (size_t x = 0; x < cellColumn.size(); ++x) {
      const TskPixel colour = row[x] & 0x00FFFFFF;
      const TskPixel alpha = colour == kKeyColor ? 0 : maskRow[cellColumn[x]];
      row[x] = colour | (alpha << 24);
    }
    if (y < work.Height()) blendRow(work.Row(y), row, blendCount);
  }
}

void ComposeMask(TskEffectSlot& slot, TskMaskProc procedure, int32_t percentage) {
  const bool turned = slot.Rotation != krNone;
  std::vector<uint8_t>& buffer = turned ? slot.RotatedMask : slot.Mask;
  std::fill(buffer.begin(), buffer.end(), uint8_t{0});
  const bool quarter = QuarterTurn(slot.Rotation);
  procedure(buffer, quarter ? slot.CellsY : slot.CellsX, quarter ? slot.CellsX : slot.CellsY, percentage);
  if (turned) OrientMask(slot.RotatedMask, slot.Mask, slot.CellsX, slot.CellsY, slot.Rotation);
  ApplyMask(slot);
}

// Bright parts of the map arrive first: a cell of grey g shows once
// g + 510·p/100 passes 255.
void ComposeBitmap(TskEffectSlot& slot, int32_t percentage) {
  const int32_t lift = MulDiv64(510, percentage, 100) - 255;
  for (int32_t y = 0; y < slot.CellsY; ++y) {
    for (int32_t x = 0; x < slot.CellsX; ++x) {
      const int32_t grey = slot.RotatedMask[PatternIndex(slot.Rotation, slot.CellsX, slot.CellsY, x, y)];
      slot.Mask[static_cast<size_t>(y) * static_cast<size_t>(slot.CellsX) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(std::clamp(grey + lift, 0, 255));
    }
  }
  ApplyMask(slot);
}

void ComposeDisplacement(TskEffectSlot& slot, TskDisplacementProc procedure, int32_t percentage) {
  std::fill(slot.Displacement.begin(), slot.Displacement.end(), TskDisplacement{});
  const bool quarter = QuarterTurn(slot.Rotation);
  procedure(slot.Displacement, quarter ? slot.CellsY : slot.CellsX, quarter ? slot.CellsX : slot.CellsY, percentage);

  const TskBitmap& image = *slot.NewImage;
  TskBitmap& work = *slot.WorkImage;
  const auto blendPixel = PixelRoutines().BlendPixel;
  const int64_t resolution = slot.Resolution;
  const int64_t workWidth = work.Width(), workHeight = work.Height();
  TskPixel* const workBits = work.Bits();
  const TskPixel* const imageBits = image.Bits();
  const int64_t imageWidth = image.Width();
  const int64_t tileWidth = workWidth / slot.TileCount;
  const int64_t tileHeight = workHeight / slot.TileCount;
  for (int32_t t = 0; t < slot.TileCount; ++t) {
    const int64_t originY = (tileHeight + 1) * t;
    // Sources stay inside the tile's span and the new picture.
    const int64_t sourceBottom = std::min<int64_t>((tileHeight + 1) * (t + 1), image.Height()) - 1;
    for (int32_t m = 0; m < slot.TileCount; ++m) {
      const int64_t originX = (tileWidth + 1) * m;
      const int64_t sourceRight = std::min<int64_t>((tileWidth + 1) * (m + 1), image.Width()) - 1;
      for (int32_t j = 0; j < slot.CellsY; ++j) {
        const int64_t destinationY = originY + j * resolution;
        for (int32_t i = 0; i < slot.CellsX; ++i) {
          const TCellSource cell = EntryAt(slot.Displacement, slot.CellsX, slot.CellsY, slot.Rotation, i, j);
          // Blending as if the alpha were 0 leaves the old picture.
          if (cell.Alpha == 0) continue;
          // Offsets 0 … Resolution inclusive: neighbouring cells share their
          // border pixels, and the later cell wins.
          const int64_t destinationX = originX + i * resolution;
          const int64_t sourceX = originX + cell.X * resolution, sourceY = originY + cell.Y * resolution;
          const int64_t uFirst = std::max(std::max<int64_t>(0, -destinationX), originX - sourceX);
          const int64_t uLast = std::min(std::min(resolution, workWidth - 1 - destinationX), sourceRight - sourceX);
          const int64_t vFirst = std::max(std::max<int64_t>(0, -destinationY), originY - sourceY);
          const int64_t vLast =
              std::min(std::min(resolution, workHeight - 1 - destinationY), sourceBottom - sourceY);
          for (int64_t v = vFirst; v <= vLast; ++v) {
            TskPixel* to = workBits + (destinationY + v) * workWidth + destinationX;
            const TskPixel* from = imageBits + (sourceY + v) * imageWidth + sourceX;
            if (cell.Alpha == 255) {
              for (int64_t u = uFirst; u <= uLast; ++u) {
                if ((from[u] >> 24) != 0) to[u] = from[u];
              }
            } else {
              const TskPixel alpha = static_cast<TskPixel>(cell.Alpha) << 24;
              for (int64_t u = uFirst; u <= uLast; ++u) {
                if ((from[u] >> 24) != 0) to[u] = blendPixel((from[u] & 0x00FFFFFF) | alpha, to[u]);
              }
            }
          }
        }
      }
    }
  }
}

void ClearKeyAlpha(TskBitmap& image) {
  if (image.IsEmpty()) return;
  PixelRoutines().ClearAlphaOfColor(image.Bits(), static_cast<size_t>(int64_t{image.Width()} * image.Height()),
                                    kKeyColor);
}

}  // namespace

void OrientMask(std::span<const uint8_t> pattern, std::span<uint8_t> mask, int32_t cellsX, int32_t cellsY,
                TskRotation rotation) {
  for (int32_t y = 0; y < cellsY; ++y) {
    for (int32_t x = 0; x < cellsX; ++x) {
      mask[static_cast<size_t>(y) * static_cast<size_t>(cellsX) + static_cast<size_t>(x)] =
          pattern[PatternIndex(rotation, cellsX, cellsY, x, y)];
    }
  }
}

TskDisplacement OrientedEntry(std::span<const TskDisplacement> pattern, int32_t cellsX, int32_t cellsY,
                              TskRotation rotation, int32_t x, int32_t y) {
  const TCellSource cell = EntryAt(pattern, cellsX, cellsY, rotation, x, y);
  return TskDisplacement{static_cast<uint16_t>(cell.Alpha), static_cast<uint16_t>(cell.X),
                         static_cast<uint16_t>(cell.Y)};
}

void PrepareEffectFrames(TskEffectSlot& slot) {
  const TskAnimationRec& settings = *slot.AnimationRec;
  slot.Resolution = settings.Resolution();
  slot.TileCount = settings.TileCount();
  slot.Rotation = settings.Rotation();
  try {
    slot.WorkImage = std::make_unique<TskBitmap>();
    slot.WorkImage->SetSize(slot.OldImage->Width(), slot.OldImage->Height());
    slot.CellsX = slot.OldImage->Width() / slot.Resolution / slot.TileCount + 1;
    slot.CellsY = slot.OldImage->Height() / slot.Resolution / slot.TileCount + 1;
    const size_t cells = static_cast<size_t>(slot.CellsX) * static_cast<size_t>(slot.CellsY);
    size_t bytes = 0;
    if (slot.BitmapEffect) {
      slot.Mask.assign(cells, 0);
      slot.RotatedMask.assign(cells, 0);
      BuildBitmapMap(slot);
      bytes = cells;
    } else if (slot.Item->Kind == kMaskEffect) {
      slot.Mask.assign(cells, 0);
      if (slot.Rotation != krNone) slot.RotatedMask.assign(cells, 0);
      bytes = cells;
    } else if (slot.Item->Kind == kDisplacementEffect) {
      slot.Displacement.assign(cells, TskDisplacement{});
      bytes = cells * sizeof(TskDisplacement);
    }
    slot.BufferSize = static_cast<int32_t>(std::min<size_t>(bytes, std::numeric_limits<int32_t>::max()));
  } catch (...) {
    ReleaseEffectFrames(slot);
    throw;
  }
}

void ReleaseEffectFrames(TskEffectSlot& slot) {
  // Swapping with empty vectors gives the memory back, not just the size.
  std::vector<uint8_t>().swap(slot.Mask);
  std::vector<uint8_t>().swap(slot.RotatedMask);
  std::vector<TskDisplacement>().swap(slot.Displacement);
  slot.WorkImage.reset();
  slot.CellsX = 0;
  slot.CellsY = 0;
  slot.BufferSize = 0;
}

void ComposeEffectFrame(TskEffectSlot& slot, int32_t percentage) {
  if (slot.NewImage == nullptr || slot.WorkImage == nullptr || slot.NewImage->IsEmpty()) return;
  if (slot.BitmapEffect) {
    ComposeBitmap(slot, percentage);
    return;
  }
  if (slot.Item == nullptr) return;
  if (const auto* mask = std::get_if<TskMaskProc>(&slot.Item->Procedure); mask && *mask) {
    ComposeMask(slot, *mask, percentage);
  } else if (const auto* grid = std::get_if<TskDisplacementProc>(&slot.Item->Procedure); grid && *grid) {
    ComposeDisplacement(slot, *grid, percentage);
  } else if (const auto* direct = std::get_if<TskDirectProc>(&slot.Item->Procedure);
             direct && *direct && slot.AnimationRec != nullptr) {
    ClearKeyAlpha(*slot.NewImage);
    (*direct)(*slot.WorkImage, *slot.NewImage, *slot.AnimationRec, percentage);
  }
}
