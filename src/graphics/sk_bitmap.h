// 32-bit bitmaps of the skin library: theme images are loaded into them,
// controls compose glyphs in them, effects render into them. Pixels are
// 0xAARRGGBB (alpha not premultiplied), rows top to bottom without padding.
//
// A bitmap draws in one of three modes, decided by its two flags:
//   AlphaBlend  - some pixel has a partial alpha: pixels are blended (alpha 0
//                 leaves the destination, 255 copies);
//   Transparent - pixels whose colour part is the key colour are skipped, the
//                 others written opaque;
//   neither     - a plain copy.
//
// The pixel memory sits behind a platform seam (sk_bitmap_memory.h): on
// Windows it is a DIB section permanently selected into a memory device
// context, so the platform's drawing calls and direct pixel access work on
// the same memory; elsewhere it is plain memory. Everything here except the
// device-context drawing at the end is portable.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "graphics/sk_pixel_routines.h"
#include "graphics/sk_utils.h"

#ifdef _WIN32
struct HBITMAP__;
typedef struct HBITMAP__* HBITMAP;
#endif

// The key colour as a 24-bit colour part (red 127, green 0, blue 127), and
// the pixel value that marks a pixel as key-transparent.
constexpr TskPixel kKeyColor = 0x007F007F;
constexpr TskPixel kKeyPixel = 0x007F007F;

// Raised when pixel memory cannot be made: "Can't allocate the DIB handle",
// "Can't create compatible DC" or "Can't select an object into DC".
EBOOK_DECLARE_EXCEPTION(ESkBitmapError, Exception);

// ---- colour helpers --------------------------------------------------------

inline int PixelRed(TskPixel pixel) { return static_cast<int>((pixel >> 16) & 0xFF); }
inline int PixelGreen(TskPixel pixel) { return static_cast<int>((pixel >> 8) & 0xFF); }
inline int PixelBlue(TskPixel pixel) { return static_cast<int>(pixel & 0xFF); }
inline int PixelAlpha(TskPixel pixel) { return static_cast<int>(pixel >> 24); }

// A colour value with a system colour resolved to its current RGB (0x00BBGGRR).
TColor ColorToRGB(TColor colour);
TColor RgbColor(int red, int green, int blue);
// The colour resolved to RGB and packed with the given alpha.
TskPixel ColorToPixel(TColor colour, uint8_t alpha);
// The colour part as a plain RGB colour value; alpha is dropped.
TColor PixelToColor(TskPixel pixel);
// Colour components clamped to 0..255; alpha taken unchanged (its low byte).
TskPixel MakePixel(int red, int green, int blue, int alpha);

struct TskHsl {
  double Hue = 0;         // 0..1, a full turn of the colour circle
  double Saturation = 0;  // 0..1
  double Lightness = 0;   // 0..1
};
TskHsl RgbToHsl(TskPixel pixel);
// Alpha 255. Components are rounded to nearest, ties to even.
TskPixel HslToRgb(double hue, double saturation, double lightness);
// delta in 1/255ths of the colour circle; alpha 255.
TskPixel ShiftHue(TskPixel pixel, int delta);
// delta added to red, green and blue, clamped; alpha 255.
TskPixel ShiftBrightness(TskPixel pixel, int16_t delta);
// Colour components clamped; alpha wraps modulo 256.
TskPixel AddToChannels(TskPixel pixel, int deltaRed, int deltaGreen, int deltaBlue, int deltaAlpha);
TskPixel Lighten(TskPixel pixel, int delta);
TColor LightenColor(TColor colour, int delta);

// ---- bitmaps ---------------------------------------------------------------

// Raw 32-bit pixel memory owned elsewhere: a bitmap's own, or a DIB section
// held by a device context (bottom-up: row 0 is the bottom row).
struct TskPixelBuffer {
  TskPixel* Bits = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  bool BottomUp = false;
};

class TskBitmapLink;
class TskPixelMemory;

class TskBitmap {
 public:
  // Width × Height × 4 stays below 2^31 bytes: the largest DIB a 32-bit
  // process can map, and the bound that keeps every offset computation of
  // this class inside 64 bits.
  static constexpr int64_t kMaxPixels = (int64_t{1} << 31) / 4 - 1;

  TskBitmap();
  ~TskBitmap();
  // A bitmap is entered in the device-context registry by address.
  TskBitmap(const TskBitmap&) = delete;
  TskBitmap& operator=(const TskBitmap&) = delete;

  // The image name inside a theme.
  std::string Name;
  bool AlphaBlend = false;
  bool Transparent = false;

  TskPixel* Bits() const;
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  TRect Bounds() const { return TRect{0, 0, width_, height_}; }
  bool IsEmpty() const { return memory_ == nullptr; }
  TskPixelBuffer PixelBuffer() const { return TskPixelBuffer{Bits(), width_, height_, false}; }

  // Negative sizes count by their absolute value. Nothing happens when
  // either is 0 or the size is unchanged; otherwise the old pixels are
  // released and the new ones are all zero. Raises ESkBitmapError and leaves
  // the bitmap empty when the memory cannot be made.
  void SetSize(int32_t width, int32_t height);

  void Fill(TskPixel pixel);
  // Clipped to the bitmap. With AlphaBlend the value is blended over each
  // pixel, otherwise the pixels are set.
  void FillRect(const TRect& rect, TskPixel pixel);
  void SetAlpha(uint8_t alpha);
  void SetAlphaRect(uint8_t alpha, const TRect& rect);
  // AlphaBlend := some pixel's alpha is neither 0 nor 255.
  void DetectAlpha();
  // Every pixel whose red, green and blue each differ from the colour's by
  // less than 6 becomes kKeyPixel; Transparent tells whether any did.
  void KeyOutColor(TColor colour);
  // Pixels of alpha 0 are left alone; the others keep their alpha.
  void ShiftBitmapBrightness(int16_t delta);
  void ShiftBitmapHue(int delta);

  // 0 outside the bitmap or without pixel memory.
  TskPixel PixelAt(int32_t x, int32_t y) const;
  // Ignored outside the bitmap or without pixel memory.
  void SetPixelAt(int32_t x, int32_t y, TskPixel value);
  // Unchecked direct access.
  TskPixel* Row(int32_t y) const { return Bits() + int64_t{y} * width_; }
  TskPixel* PixelAddress(int32_t x, int32_t y) const { return Row(y) + x; }

  // Same size, pixels, Name and flags; an empty source empties this bitmap.
  void Assign(const TskBitmap& source);
  void FlipVertical();

  // The stream record: name, width, height (written positive), pixels rows
  // top to bottom. A record with a negative height holds its rows bottom to
  // top. A record that is inconsistent (negative width or name length) or
  // longer than the stream raises EReadError "Stream read error", one larger
  // than any pixel memory ESkBitmapError; either before any pixel memory is
  // made, leaving the pixels as they were. A record of zero width or height
  // leaves the bitmap empty. The flags are not part of the record.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  // Draws source (a rectangle of this bitmap, entirely inside it, or
  // nothing is drawn) scaled to destination, clipped to the target. Positions
  // map from the unclipped destination, so clipping never shifts the image;
  // scaling is nearest-neighbour.
  void DrawOnto(TskBitmap& target, const TRect& destination, const TRect& source) const;
  void DrawOnto(TskBitmap& target, int32_t x, int32_t y) const;
  void DrawOnto(TskBitmap& target, int32_t x, int32_t y, const TRect& source) const;
  // The same into raw pixel memory (used for DIB sections held by device
  // contexts).
  void DrawToPixels(const TskPixelBuffer& target, const TRect& destination, const TRect& source) const;
  // Repeats source over destination from its top-left corner; tiles cut by
  // the right or bottom edge use the top-left part of source. With a
  // non-empty clip only tiles that intersect it are drawn.
  void Tile(TskBitmap& target, const TRect& destination, const TRect& source, const TRect& clip) const;

  // Paints source's rectangle at (x, y) behind this bitmap's content: where
  // this bitmap is clear (alpha 0) the source pixel is taken, where it is
  // partly transparent it is blended over the source, where it is opaque it
  // stays.
  void MergeUnder(const TskBitmap& source, int32_t x, int32_t y, const TRect& sourceRect);

  // A new link on this bitmap with its Name and the rectangle.
  std::unique_ptr<TskBitmapLink> MakeLink(const TRect& rect);

  // The device context that draws into this bitmap's pixel memory (natively
  // an opaque identity), and the bitmap that owns a device context.
  const void* DeviceContext() const;
  static TskBitmap* FromDeviceContext(const void* deviceContext);

#ifdef _WIN32
  HDC DC() const;
  // Draw whole, part unscaled, or scaled, into any device context: into a
  // TskBitmap's or a 32-bit bottom-up DIB section's memory directly, else
  // through the platform's blits.
  void Draw(HDC dc, int32_t x, int32_t y) const;
  void Draw(HDC dc, int32_t x, int32_t y, const TRect& source) const;
  void DrawRect(HDC dc, const TRect& destination, const TRect& source) const;
  void Tile(HDC dc, const TRect& destination, const TRect& source, const TRect& clip) const;
  // From a platform bitmap: a 32-bit DIB is copied pixel for pixel (then
  // DetectAlpha); any other is copied through device contexts, then made
  // opaque.
  void AssignBitmapHandle(HBITMAP bitmap);
  // A new 32-bit platform bitmap of the same size holding this bitmap drawn
  // at (0, 0); the caller owns it. nullptr for an empty bitmap.
  HBITMAP CreateBitmapHandle() const;
  // The bitmap resource resourceName of the module file (loaded as data
  // only); nothing happens when there is none.
  void LoadFromResource(const std::string& moduleFile, const std::string& resourceName);
#endif

 private:
  void ReleasePixels();

  std::unique_ptr<TskPixelMemory> memory_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// Calls draw(destinationPiece, sourcePiece) for each tile Tile draws.
void ForEachTile(const TRect& destination, const TRect& source, const TRect& clip,
                 const std::function<void(const TRect&, const TRect&)>& draw);

// A named rectangle inside a bitmap (not owned), with the transparency of
// the nine parts of the image it frames.
class TskBitmapLink {
 public:
  TskBitmap* Bitmap = nullptr;
  TRect Rect;
  std::string Name;
  bool EdgesTransparent = false;
  bool CornersTransparent = false;
  bool CenterTransparent = false;

  int32_t Left() const { return Rect.Left; }
  int32_t Top() const { return Rect.Top; }
  int32_t Right() const { return Rect.Right; }
  int32_t Bottom() const { return Rect.Bottom; }
  void SetLeft(int32_t value) { Rect.Left = value; }
  void SetTop(int32_t value) { Rect.Top = value; }
  void SetRight(int32_t value) { Rect.Right = value; }
  void SetBottom(int32_t value) { Rect.Bottom = value; }

  void Assign(const TskBitmapLink& source) { *this = source; }

  // margins are the left, top, right and bottom widths of a nine-part image.
  // A pixel is non-opaque when its alpha is not 255 (the key value
  // included); the sentinel 0x33333333 never counts, and neither do
  // positions outside the bitmap. With all margins 0 only CenterTransparent
  // is computed, for the whole rectangle.
  void CheckTransparency(const TRect& margins);
  void CheckTransparency() { CheckTransparency(TRect{}); }
};

// The named images of a theme; owns them.
class TskBitmapList {
 public:
  TskBitmap* Add(std::unique_ptr<TskBitmap> bitmap);
  int Count() const { return static_cast<int>(items_.size()); }
  // nullptr when out of range.
  TskBitmap* Item(int index) const;
  // The first whose Name equals name ignoring case, else nullptr.
  TskBitmap* FindByName(std::string_view name) const;
  // A new link on FindByName(name), else nullptr.
  std::unique_ptr<TskBitmapLink> LinkByName(std::string_view name, const TRect& rect) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TskBitmap>> items_;
};
