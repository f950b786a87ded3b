#include "forms/graphics.h"

#include <algorithm>
#include <cstring>

#include "forms/forms_internal.h"
#include "runtime/dib_layout.h"
#include "runtime/little_endian.h"
#include "runtime/scope_exit.h"
#include "graphics/sk_bitmap.h"

namespace {

constexpr char kInvalidBitmap[] = "Bitmap image is not valid";
constexpr char kInvalidIcon[] = "Icon image is not valid";

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(kInvalidBitmap); }
[[noreturn]] void InvalidIcon() { throw EInvalidGraphic(kInvalidIcon); }

// Appends count bytes from the stream. Memory grows only as bytes arrive, so
// a header that claims more than the stream holds fails with "Stream read
// error" before anything large is allocated.
void ReadAppend(TStream& stream, std::vector<uint8_t>& bytes, uint64_t count) {
  constexpr uint64_t kPiece = uint64_t{1} << 20;
  while (count > 0) {
    const uint64_t piece = std::min(count, kPiece);
    const size_t have = bytes.size();
    bytes.resize(have + static_cast<size_t>(piece));
    stream.ReadBuffer(bytes.data() + have, static_cast<int64_t>(piece));
    count -= piece;
  }
}

// A memory context that holds one bitmap for its lifetime.
class TMemoryDC {
 public:
  explicit TMemoryDC(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_ == nullptr) throw EOutOfResources("Out of system resources");
    old_ = SelectObject(dc_, bitmap);
  }
  ~TMemoryDC() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A 32-bit top-down DIB section; the caller owns the handle.
HBITMAP CreateDib32(int width, int height, uint32_t** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* memory = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  if (bitmap == nullptr) throw EOutOfResources("Out of system resources");
  *bits = static_cast<uint32_t*>(memory);
  return bitmap;
}

}  // namespace

COLORREF ColorRef(TColor colour) { return static_cast<COLORREF>(ColorToRGB(colour)) & 0xFFFFFF; }

int ScreenPixelsPerInch() {
  static const int ppi = [] {
    HDC screen = GetDC(nullptr);
    const int value = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
  }();
  return ppi;
}

// Drawing with one colour left out: dest ^= src; dest &= mask; dest ^= src
// leaves the destination where the mask is white and puts the source where
// it is black, without touching the source picture.
void DrawMasked(HDC dest, const TRect& destRect, HDC source, const TRect& sourceRect, COLORREF transparent) {
  const int sw = static_cast<int>(RectWidth(sourceRect));
  const int sh = static_cast<int>(RectHeight(sourceRect));
  const int dw = static_cast<int>(RectWidth(destRect));
  const int dh = static_cast<int>(RectHeight(destRect));
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  HBITMAP mask = CreateBitmap(sw, sh, 1, 1, nullptr);
  if (mask == nullptr) return;
  {
    TMemoryDC maskDC(mask);
    const COLORREF oldBack = SetBkColor(source, transparent);
    BitBlt(maskDC.Get(), 0, 0, sw, sh, source, sourceRect.Left, sourceRect.Top, SRCCOPY);
    SetBkColor(source, oldBack);
    const COLORREF oldText = SetTextColor(dest, RGB(0, 0, 0));
    const COLORREF oldDestBack = SetBkColor(dest, RGB(255, 255, 255));
    const int oldMode = SetStretchBltMode(dest, COLORONCOLOR);
    StretchBlt(dest, destRect.Left, destRect.Top, dw, dh, source, sourceRect.Left, sourceRect.Top, sw, sh, SRCINVERT);
    StretchBlt(dest, destRect.Left, destRect.Top, dw, dh, maskDC.Get(), 0, 0, sw, sh, SRCAND);
    StretchBlt(dest, destRect.Left, destRect.Top, dw, dh, source, sourceRect.Left, sourceRect.Top, sw, sh, SRCINVERT);
    SetStretchBltMode(dest, oldMode);
    SetTextColor(dest, oldText);
    SetBkColor(dest, oldDestBack);
  }
  DeleteObject(mask);
}

// ---- fonts, brushes, pens --------------------------------------------------

TGraphicsObject::~TGraphicsObject() {
  if (handle_ != nullptr) DeleteObject(handle_);
}

void TGraphicsObject::Changed() {
  HGDIOBJ old = handle_;
  handle_ = nullptr;
  const TGdiObject<HGDIOBJ> deleteOld(old);
  if (OnChange) OnChange(this);
}

TFont::TFont() : name_(L"MS Sans Serif"), height_(-11), color_(clWindowText) {}

void TFont::SetName(std::wstring_view name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

int TFont::Size() const { return -MulDiv(height_, 72, ScreenPixelsPerInch()); }

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, ScreenPixelsPerInch(), 72)); }

void TFont::SetColor(TColor colour) {
  if (colour == color_) return;
  color_ = colour;
  if (OnChange) OnChange(this);
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::SetCharset(BYTE charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

bool TFont::SameAs(const TFont& other) const {
  return name_ == other.name_ && height_ == other.height_ && color_ == other.color_ && style_ == other.style_ &&
         charset_ == other.charset_;
}

void TFont::Assign(const TFont& source) {
  if (&source == this || SameAs(source)) return;
  const bool handleChanges =
      name_ != source.name_ || height_ != source.height_ || style_ != source.style_ || charset_ != source.charset_;
  name_ = source.name_;
  height_ = source.height_;
  color_ = source.color_;
  style_ = source.style_;
  charset_ = source.charset_;
  if (handleChanges) {
    Changed();
  } else if (OnChange) {
    OnChange(this);
  }
}

HFONT TFont::Handle() const {
  if (CachedHandle() == nullptr) {
    LOGFONTW font{};
    font.lfHeight = height_;
    font.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (style_ & fsItalic) ? TRUE : FALSE;
    font.lfUnderline = (style_ & fsUnderline) ? TRUE : FALSE;
    font.lfStrikeOut = (style_ & fsStrikeOut) ? TRUE : FALSE;
    font.lfCharSet = charset_;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH;
    name_.copy(font.lfFaceName, LF_FACESIZE - 1);
    HFONT handle = CreateFontIndirectW(&font);
    if (handle == nullptr) handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SetCachedHandle(handle);
  }
  return static_cast<HFONT>(CachedHandle());
}

void TBrush::SetColor(TColor colour) {
  if (colour == color_ && style_ == bsSolid) return;
  color_ = colour;
  if (style_ == bsClear) style_ = bsSolid;  // choosing a colour means painting with it
  Changed();
}

void TBrush::SetStyle(TBrushStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TBrush::Assign(const TBrush& source) {
  if (&source == this || (color_ == source.color_ && style_ == source.style_)) return;
  color_ = source.color_;
  style_ = source.style_;
  Changed();
}

HBRUSH TBrush::Handle() const {
  if (CachedHandle() == nullptr) {
    HGDIOBJ handle = style_ == bsClear ? GetStockObject(NULL_BRUSH) : CreateSolidBrush(ColorRef(color_));
    if (handle == nullptr) handle = GetStockObject(NULL_BRUSH);
    SetCachedHandle(handle);
  }
  return static_cast<HBRUSH>(CachedHandle());
}

void TPen::SetColor(TColor colour) {
  if (colour == color_) return;
  color_ = colour;
  Changed();
}

void TPen::SetWidth(int width) {
  if (width == width_) return;
  width_ = width;
  Changed();
}

void TPen::SetStyle(TPenStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TPen::SetMode(TPenMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  if (OnChange) OnChange(this);
}

void TPen::Assign(const TPen& source) {
  if (&source == this) return;
  const bool handleChanges = color_ != source.color_ || width_ != source.width_ || style_ != source.style_;
  color_ = source.color_;
  width_ = source.width_;
  style_ = source.style_;
  mode_ = source.mode_;
  if (handleChanges) Changed();
}

HPEN TPen::Handle() const {
  if (CachedHandle() == nullptr) {
    int style = PS_SOLID;
    switch (style_) {
      case psSolid: style = PS_SOLID; break;
      case psDash: style = PS_DASH; break;
      case psDot: style = PS_DOT; break;
      case psClear: style = PS_NULL; break;
      case psInsideFrame: style = PS_INSIDEFRAME; break;
    }
    HGDIOBJ handle = CreatePen(style, width_, ColorRef(color_));
    if (handle == nullptr) handle = GetStockObject(BLACK_PEN);
    SetCachedHandle(handle);
  }
  return static_cast<HPEN>(CachedHandle());
}

// ---- canvas ----------------------------------------------------------------

// Gives a drawing call a context: the canvas's own, or one acquired for the
// call and let go at its end.
class TCanvas::TScope {
 public:
  TScope(TCanvas& canvas, unsigned objects) : canvas_(canvas) {
    if (canvas.dc_ == nullptr) {
      canvas.dc_ = canvas.AcquireHandle();
      canvas.acquired_ = true;
      temporary_ = true;
    }
    canvas.Require(objects);
  }
  ~TScope() {
    if (temporary_) canvas_.FreeHandle();
  }
  TScope(const TScope&) = delete;
  TScope& operator=(const TScope&) = delete;
  HDC DC() const { return canvas_.dc_; }

 private:
  TCanvas& canvas_;
  bool temporary_ = false;
};

TCanvas::TCanvas() {
  font_.OnChange = [this](TObject*) { Reselect(kFont); };
  brush_.OnChange = [this](TObject*) { Reselect(kBrush); };
  pen_.OnChange = [this](TObject*) { Reselect(kPen); };
}

TCanvas::~TCanvas() {
  // The objects must leave the context before they are deleted; a derived
  // canvas has already let go of what it acquired.
  Deselect();
}

HDC TCanvas::AcquireHandle() { throw EInvalidOperation("Canvas does not allow drawing"); }

HDC TCanvas::Handle() {
  if (dc_ == nullptr) {
    dc_ = AcquireHandle();
    acquired_ = true;
  }
  return dc_;
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  FreeHandle();
  dc_ = dc;
}

void TCanvas::FreeHandle() {
  if (dc_ == nullptr) return;
  Deselect();
  HDC dc = dc_;
  const bool acquired = acquired_;
  dc_ = nullptr;
  acquired_ = false;
  if (acquired) ReleaseHandle(dc);
}

void TCanvas::Require(unsigned objects) {
  const unsigned missing = objects & ~selected_;
  if (missing & kFont) {
    HGDIOBJ old = SelectObject(dc_, font_.Handle());
    if (!(selected_ & (kFont << 8))) oldFont_ = old;
  }
  if (missing & kBrush) {
    HGDIOBJ old = SelectObject(dc_, brush_.Handle());
    if (!(selected_ & (kBrush << 8))) oldBrush_ = old;
  }
  if (missing & kPen) {
    HGDIOBJ old = SelectObject(dc_, pen_.Handle());
    if (!(selected_ & (kPen << 8))) oldPen_ = old;
  }
  // The high byte remembers which originals are saved.
  selected_ |= missing | (missing << 8);
}

void TCanvas::Reselect(unsigned object) {
  if (dc_ == nullptr || !(selected_ & object)) return;
  switch (object) {
    case kFont: SelectObject(dc_, font_.Handle()); break;
    case kBrush: SelectObject(dc_, brush_.Handle()); break;
    case kPen: SelectObject(dc_, pen_.Handle()); break;
  }
}

void TCanvas::Deselect() {
  if (dc_ == nullptr || selected_ == 0) return;
  if (selected_ & (kFont << 8)) SelectObject(dc_, oldFont_);
  if (selected_ & (kBrush << 8)) SelectObject(dc_, oldBrush_);
  if (selected_ & (kPen << 8)) SelectObject(dc_, oldPen_);
  selected_ = 0;
  oldFont_ = oldBrush_ = oldPen_ = nullptr;
}

namespace {

int Rop2(TPenMode mode) {
  switch (mode) {
    case pmXor: return R2_XORPEN;
    case pmNotXor: return R2_NOTXORPEN;
    case pmNot: return R2_NOT;
    case pmCopy: break;
  }
  return R2_COPYPEN;
}

}  // namespace

void TCanvas::FillRect(const TRect& rect) {
  TScope scope(*this, kBrush);
  const RECT r = ToRECT(rect);
  ::FillRect(scope.DC(), &r, brush_.Handle());
}

void TCanvas::FrameRect(const TRect& rect) {
  TScope scope(*this, kBrush);
  const RECT r = ToRECT(rect);
  ::FrameRect(scope.DC(), &r, brush_.Handle());
}

void TCanvas::Rectangle(const TRect& rect) {
  TScope scope(*this, kPen | kBrush);
  SetROP2(scope.DC(), Rop2(pen_.Mode()));
  ::Rectangle(scope.DC(), rect.Left, rect.Top, rect.Right, rect.Bottom);
}

void TCanvas::MoveTo(int x, int y) {
  TScope scope(*this, kPen);
  MoveToEx(scope.DC(), x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  TScope scope(*this, kPen);
  SetROP2(scope.DC(), Rop2(pen_.Mode()));
  ::LineTo(scope.DC(), x, y);
}

void TCanvas::TextOut(int x, int y, std::wstring_view text) {
  TScope scope(*this, kFont | kBrush);
  HDC dc = scope.DC();
  SetTextColor(dc, ColorRef(font_.Color()));
  if (brush_.Style() == bsClear) {
    SetBkMode(dc, TRANSPARENT);
  } else {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ColorRef(brush_.Color()));
  }
  ExtTextOutW(dc, x, y, 0, nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
}

void TCanvas::TextRect(const TRect& rect, int x, int y, std::wstring_view text) {
  TScope scope(*this, kFont | kBrush);
  HDC dc = scope.DC();
  SetTextColor(dc, ColorRef(font_.Color()));
  UINT options = ETO_CLIPPED;
  if (brush_.Style() == bsClear) {
    SetBkMode(dc, TRANSPARENT);
  } else {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ColorRef(brush_.Color()));
    options |= ETO_OPAQUE;
  }
  const RECT r = ToRECT(rect);
  ExtTextOutW(dc, x, y, options, &r, text.data(), static_cast<UINT>(text.size()), nullptr);
}

TSize TCanvas::TextExtent(std::wstring_view text) {
  TScope scope(*this, kFont);
  SIZE size{};
  GetTextExtentPoint32W(scope.DC(), text.data(), static_cast<int>(text.size()), &size);
  return TSize{size.cx, size.cy};
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  if (graphic.Empty()) return;
  TScope scope(*this, 0);
  graphic.Draw(scope.DC(), TRect{x, y, x + graphic.Width(), y + graphic.Height()});
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  if (graphic.Empty()) return;
  TScope scope(*this, 0);
  graphic.Draw(scope.DC(), rect);
}

void TCanvas::CopyRect(const TRect& rect, TCanvas& source, const TRect& sourceRect) {
  TScope scope(*this, 0);
  TScope sourceScope(source, 0);
  const int oldMode = SetStretchBltMode(scope.DC(), COLORONCOLOR);
  StretchBlt(scope.DC(), rect.Left, rect.Top, static_cast<int>(RectWidth(rect)), static_cast<int>(RectHeight(rect)),
             sourceScope.DC(), sourceRect.Left, sourceRect.Top, static_cast<int>(RectWidth(sourceRect)),
             static_cast<int>(RectHeight(sourceRect)), SRCCOPY);
  SetStretchBltMode(scope.DC(), oldMode);
}

TColor TCanvas::Pixel(int x, int y) {
  TScope scope(*this, 0);
  const COLORREF value = GetPixel(scope.DC(), x, y);
  return value == CLR_INVALID ? clNone : static_cast<TColor>(value);
}

void TCanvas::SetPixel(int x, int y, TColor colour) {
  TScope scope(*this, 0);
  ::SetPixel(scope.DC(), x, y, ColorRef(colour));
}

TRect TCanvas::ClipRect() {
  TScope scope(*this, 0);
  RECT r{};
  GetClipBox(scope.DC(), &r);
  return ToTRect(r);
}

int TCanvas::DrawText(std::wstring_view text, TRect& rect, UINT flags) {
  TScope scope(*this, kFont);
  HDC dc = scope.DC();
  SetTextColor(dc, ColorRef(font_.Color()));
  SetBkMode(dc, TRANSPARENT);
  RECT r = ToRECT(rect);
  const int height = DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r, flags);
  if (flags & DT_CALCRECT) rect = ToTRect(r);
  return height;
}

void TCanvas::WithHandle(const std::function<void(HDC)>& draw) {
  TScope scope(*this, kFont | kBrush | kPen);
  draw(scope.DC());
}

// ---- bitmaps ---------------------------------------------------------------

namespace {

// A memory context holding the bitmap, made for each drawing call (or kept
// while the canvas's Handle is in use), so that the bitmap is free to be
// selected elsewhere between calls.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(const TBitmap& bitmap) : bitmap_(bitmap) {}
  ~TBitmapCanvas() override { FreeHandle(); }

 protected:
  HDC AcquireHandle() override {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) throw EOutOfResources("Out of system resources");
    old_ = bitmap_.Handle() != nullptr ? SelectObject(dc, bitmap_.Handle()) : nullptr;
    return dc;
  }
  void ReleaseHandle(HDC dc) override {
    if (old_ != nullptr) SelectObject(dc, old_);
    old_ = nullptr;
    DeleteDC(dc);
  }

 private:
  const TBitmap& bitmap_;
  HGDIOBJ old_ = nullptr;
};

struct TParsedBitmap {
  std::vector<uint8_t> Info;  // information header, masks, colour table
  std::vector<uint8_t> Bits;
  int Width = 0;
  int Height = 0;  // negative: rows top first
  int BitCount = 0;
  uint32_t Compression = BI_RGB;
};

TParsedBitmap ParseBitmapFile(TStream& stream) {
  uint8_t file[14];
  stream.ReadBuffer(file, sizeof file);
  if (ReadLe16(file) != 0x4D42) InvalidBitmap();  // "BM"
  const uint32_t bitsOffset = ReadLe32(file + 10);

  TParsedBitmap parsed;
  ReadAppend(stream, parsed.Info, 4);
  const uint32_t headerSize = ReadLe32(parsed.Info.data());
  if (!IsKnownDibHeaderSize(headerSize)) InvalidBitmap();
  ReadAppend(stream, parsed.Info, headerSize - 4);
  TDibLayout layout;
  if (!ReadDibLayout(parsed.Info.data(), layout).empty()) InvalidBitmap();
  ReadAppend(stream, parsed.Info, layout.TableBytes);

  const uint64_t headerEnd = sizeof file + parsed.Info.size();
  if (bitsOffset != 0) {
    if (bitsOffset < headerEnd) InvalidBitmap();
    std::vector<uint8_t> gap;
    ReadAppend(stream, gap, bitsOffset - headerEnd);
  }
  const uint64_t bitsSize = layout.PixelBytes();
  ReadAppend(stream, parsed.Bits, bitsSize);
  parsed.Width = static_cast<int>(layout.Width);
  parsed.Height = static_cast<int>(layout.Height);
  parsed.BitCount = layout.BitCount;
  parsed.Compression = layout.Compression;
  return parsed;
}

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  canvas_.reset();
  if (handle_ != nullptr) DeleteObject(handle_);
}

void TBitmap::Adopt(HBITMAP handle, uint32_t* bits, int width, int height) {
  if (canvas_) canvas_->FreeHandle();
  HBITMAP old = handle_;
  handle_ = handle;
  bits_ = bits;
  width_ = width;
  height_ = height;
  if (old != nullptr) DeleteObject(old);
  Changed();
}

void TBitmap::SetSize(int width, int height) {
  if (width <= 0 || height <= 0) {
    Clear();
    return;
  }
  uint32_t* bits = nullptr;
  HBITMAP handle = CreateDib32(width, height, &bits);
  std::fill_n(bits, static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
  Adopt(handle, bits, width, height);
}

void TBitmap::Clear() {
  if (handle_ == nullptr) return;
  Adopt(nullptr, nullptr, 0, 0);
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  Transparent = source.Transparent;
  if (source.Empty()) {
    Clear();
    return;
  }
  uint32_t* bits = nullptr;
  HBITMAP handle = CreateDib32(source.width_, source.height_, &bits);
  GdiFlush();
  std::copy_n(source.bits_, static_cast<size_t>(source.width_) * static_cast<size_t>(source.height_), bits);
  Adopt(handle, bits, source.width_, source.height_);
}

void TBitmap::LoadFromStream(TStream& stream) {
  TParsedBitmap parsed = ParseBitmapFile(stream);
  const int width = parsed.Width;
  const int rows = parsed.Height < 0 ? -parsed.Height : parsed.Height;
  uint32_t* bits = nullptr;
  HBITMAP handle = CreateDib32(width, rows, &bits);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(rows);
  if (parsed.BitCount == 32 && parsed.Compression == BI_RGB) {
    // Copied directly so that the fourth byte (alpha) is kept.
    for (int y = 0; y < rows; ++y) {
      const int from = parsed.Height > 0 ? rows - 1 - y : y;
      std::memcpy(bits + static_cast<size_t>(y) * static_cast<size_t>(width),
                  parsed.Bits.data() + static_cast<size_t>(from) * static_cast<size_t>(width) * 4,
                  static_cast<size_t>(width) * 4);
    }
  } else {
    // The platform converts every other layout (palettes, masks, run
    // lengths, both header families) into the 32-bit section.
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines = dc != nullptr ? SetDIBits(dc, handle, 0, static_cast<UINT>(rows), parsed.Bits.data(),
                                                reinterpret_cast<const BITMAPINFO*>(parsed.Info.data()), DIB_RGB_COLORS)
                                    : 0;
    if (dc != nullptr) DeleteDC(dc);
    if (lines == 0) {
      DeleteObject(handle);
      InvalidBitmap();
    }
    GdiFlush();
    for (size_t i = 0; i < count; ++i) bits[i] |= 0xFF000000u;
  }
  Adopt(handle, bits, width, rows);
}

void TBitmap::Draw(HDC dc, const TRect& rect) const {
  if (handle_ == nullptr) return;
  TMemoryDC source(handle_);
  if (Transparent) {
    DrawMasked(dc, rect, source.Get(), TRect{0, 0, width_, height_}, ColorRef(TransparentColor()));
    return;
  }
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, rect.Left, rect.Top, static_cast<int>(RectWidth(rect)), static_cast<int>(RectHeight(rect)),
             source.Get(), 0, 0, width_, height_, SRCCOPY);
  SetStretchBltMode(dc, oldMode);
}

uint32_t TBitmap::PixelAt(int x, int y) const {
  if (bits_ == nullptr || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  GdiFlush();
  return bits_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

TColor TBitmap::TransparentColor() const {
  if (Empty()) return clNone;
  const uint32_t pixel = PixelAt(0, height_ - 1);
  return static_cast<TColor>(((pixel >> 16) & 0xFF) | (pixel & 0xFF00) | ((pixel & 0xFF) << 16));
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
  return *canvas_;
}

// ---- icons -----------------------------------------------------------------

namespace {

constexpr size_t kIconDirSize = 6;
constexpr size_t kIconEntrySize = 16;

struct TIconEntry {
  int Size = 0;  // width in pixels (a stored 0 means 256)
  int Height = 0;
  int Depth = 0;
  uint32_t Offset = 0;
  uint32_t Bytes = 0;
};

std::vector<TIconEntry> IconEntries(const std::vector<uint8_t>& data) {
  const int count = ReadLe16(data.data() + 4);
  std::vector<TIconEntry> entries;
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = data.data() + kIconDirSize + static_cast<size_t>(i) * kIconEntrySize;
    TIconEntry entry;
    entry.Size = e[0] == 0 ? 256 : e[0];
    entry.Height = e[1] == 0 ? 256 : e[1];
    entry.Bytes = ReadLe32(e + 8);
    entry.Offset = ReadLe32(e + 12);
    const uint8_t* image = data.data() + entry.Offset;
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (entry.Bytes >= 8 && std::memcmp(image, kPng, 8) == 0) {
      entry.Depth = 32;
    } else if (entry.Bytes >= sizeof(BITMAPINFOHEADER) && ReadLe32(image) == sizeof(BITMAPINFOHEADER)) {
      entry.Depth = ReadLe16(image + 14);
    } else {
      InvalidIcon();
    }
    entries.push_back(entry);
  }
  return entries;
}

// The image to show at size × size: an image of exactly that size with the
// most colours; else the smallest larger one; else the largest.
const TIconEntry& BestEntry(const std::vector<TIconEntry>& entries, int size) {
  const TIconEntry* best = &entries.front();
  auto rank = [size](const TIconEntry& e) {
    if (e.Size == size) return std::pair{0, -e.Depth};
    if (e.Size > size) return std::pair{1, e.Size};
    return std::pair{2, -e.Size};
  };
  for (const TIconEntry& entry : entries) {
    if (rank(entry) < rank(*best)) best = &entry;
  }
  return *best;
}

HICON CreateIconAt(const std::vector<uint8_t>& data, const TIconEntry& entry, int size) {
  auto* image = const_cast<uint8_t*>(data.data() + entry.Offset);
  return CreateIconFromResourceEx(image, entry.Bytes, TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
}

}  // namespace

TIcon::~TIcon() {
  if (large_ != nullptr) DestroyIcon(large_);
  if (small_ != nullptr) DestroyIcon(small_);
}

void TIcon::LoadFromStream(TStream& stream) {
  std::vector<uint8_t> bytes;
  ReadAppend(stream, bytes, kIconDirSize);
  if (ReadLe16(bytes.data()) != 0 || ReadLe16(bytes.data() + 2) != 1) InvalidIcon();
  const int count = ReadLe16(bytes.data() + 4);
  if (count == 0) InvalidIcon();
  ReadAppend(stream, bytes, static_cast<uint64_t>(count) * kIconEntrySize);
  const uint64_t tableEnd = bytes.size();
  uint64_t end = tableEnd;
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = bytes.data() + kIconDirSize + static_cast<size_t>(i) * kIconEntrySize;
    const uint64_t offset = ReadLe32(e + 12);
    const uint64_t size = ReadLe32(e + 8);
    if (offset < tableEnd || size == 0) InvalidIcon();
    end = std::max(end, offset + size);
  }
  ReadAppend(stream, bytes, end - tableEnd);
  LoadFromBytes(std::move(bytes));
}

void TIcon::LoadFromBytes(std::vector<uint8_t> bytes) {
  const std::vector<TIconEntry> entries = IconEntries(bytes);
  const int largeSize = GetSystemMetrics(SM_CXICON);
  const int smallSize = GetSystemMetrics(SM_CXSMICON);
  const TIconEntry& largeEntry = BestEntry(entries, largeSize);
  HICON large = CreateIconAt(bytes, largeEntry, largeSize);
  if (large == nullptr) InvalidIcon();
  HICON small = CreateIconAt(bytes, BestEntry(entries, smallSize), smallSize);
  if (small == nullptr) {
    DestroyIcon(large);
    InvalidIcon();
  }
  // The old handles outlive the change notice: a window may still show them
  // until it has been given the new ones.
  HICON oldLarge = large_;
  HICON oldSmall = small_;
  data_ = std::move(bytes);
  large_ = large;
  small_ = small;
  width_ = largeEntry.Size;
  height_ = largeEntry.Height;
  const TScopeExit destroyOld([oldLarge, oldSmall] {
    if (oldLarge != nullptr) DestroyIcon(oldLarge);
    if (oldSmall != nullptr) DestroyIcon(oldSmall);
  });
  Changed();
}

void TIcon::Assign(const TIcon& source) {
  if (&source == this) return;
  if (source.Empty()) {
    Clear();
    return;
  }
  LoadFromBytes(source.data_);
}

void TIcon::Clear() {
  if (Empty()) return;
  HICON oldLarge = large_;
  HICON oldSmall = small_;
  large_ = small_ = nullptr;
  data_.clear();
  width_ = height_ = 0;
  Changed();
  DestroyIcon(oldLarge);
  DestroyIcon(oldSmall);
}

void TIcon::SaveToStream(TStream& stream) const {
  stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

void TIcon::Draw(HDC dc, const TRect& rect) const {
  if (large_ == nullptr) return;
  const int width = static_cast<int>(RectWidth(rect));
  const int height = static_cast<int>(RectHeight(rect));
  HICON icon = (width <= GetSystemMetrics(SM_CXSMICON) && small_ != nullptr) ? small_ : large_;
  DrawIconEx(dc, rect.Left, rect.Top, icon, width, height, 0, nullptr, DI_NORMAL);
}

// ---- pictures --------------------------------------------------------------

template <class T>
T& TPicture::Take(std::unique_ptr<T> graphic) {
  T& result = *graphic;
  result.OnChange = [this](TObject*) { Changed(); };
  graphic_ = std::move(graphic);
  return result;
}

TBitmap& TPicture::Bitmap() {
  if (auto* bitmap = dynamic_cast<TBitmap*>(graphic_.get())) return *bitmap;
  TBitmap& result = Take(std::make_unique<TBitmap>());
  Changed();
  return result;
}

TIcon& TPicture::Icon() {
  if (auto* icon = dynamic_cast<TIcon*>(graphic_.get())) return *icon;
  TIcon& result = Take(std::make_unique<TIcon>());
  Changed();
  return result;
}

void TPicture::LoadFromStream(TStream& stream) {
  uint8_t head[4];
  stream.ReadBuffer(head, sizeof head);
  stream.Seek(-static_cast<int64_t>(sizeof head), TSeekOrigin::Current);
  std::unique_ptr<TGraphic> graphic;
  if (head[0] == 'B' && head[1] == 'M') {
    graphic = std::make_unique<TBitmap>();
  } else if (ReadLe16(head) == 0 && ReadLe16(head + 2) == 1) {
    graphic = std::make_unique<TIcon>();
  } else {
    throw EInvalidGraphic("Unknown picture format");
  }
  graphic->LoadFromStream(stream);
  graphic->OnChange = [this](TObject*) { Changed(); };
  graphic_ = std::move(graphic);
  Changed();
}

void TPicture::Clear() {
  if (!graphic_) return;
  graphic_.reset();
  Changed();
}
