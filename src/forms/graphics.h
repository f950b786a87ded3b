// Drawing objects over the platform's device contexts: fonts, brushes and
// pens whose handles are made on first use, a canvas that selects them into a
// device context and restores what was selected before, and the pictures the
// viewer loads from its settings (bitmap and icon files).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/components.h"
#include "runtime/streams.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"

EBOOK_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
EBOOK_DECLARE_EXCEPTION(EOutOfResources, Exception);

// ---- colours ---------------------------------------------------------------

// Plain colours are 0x00BBGGRR; system colours carry the high bit and the
// system colour index in the low byte (resolved by ColorToRGB).
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;

constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SystemColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SystemColor(COLOR_MENU);
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SystemColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);
constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SystemColor(COLOR_3DLIGHT);

// 0x00BBGGRR of any colour value, system colours resolved.
COLORREF ColorRef(TColor colour);

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t Width = 0;
  int32_t Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

inline RECT ToRECT(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }
inline TRect ToTRect(const RECT& r) { return TRect{r.left, r.top, r.right, r.bottom}; }
inline bool PointInRect(const TRect& r, int x, int y) {
  return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
}

// ---- fonts, brushes, pens --------------------------------------------------

// A drawing object whose platform handle is made on first use. A change
// makes a new handle: OnChange runs while the previous handle still exists,
// so that a canvas holding it selected can select the new one before the old
// one is deleted.
class TGraphicsObject : public TObject {
 public:
  TGraphicsObject() = default;
  ~TGraphicsObject() override;
  TGraphicsObject(const TGraphicsObject&) = delete;
  TGraphicsObject& operator=(const TGraphicsObject&) = delete;

  TNotifyEvent OnChange;

 protected:
  HGDIOBJ CachedHandle() const { return handle_; }
  void SetCachedHandle(HGDIOBJ handle) const { handle_ = handle; }
  void Changed();

 private:
  mutable HGDIOBJ handle_ = nullptr;
};

enum : unsigned { fsBold = 1u << 0, fsItalic = 1u << 1, fsUnderline = 1u << 2, fsStrikeOut = 1u << 3 };
using TFontStyles = unsigned;

class TFont : public TGraphicsObject {
 public:
  TFont();

  const std::wstring& Name() const { return name_; }
  void SetName(std::wstring_view name);
  // Character height in pixels; negative as the platform's font heights
  // are (a cell height when positive).
  int Height() const { return height_; }
  void SetHeight(int height);
  // In points at the screen's pixels per inch.
  int Size() const;
  void SetSize(int points);
  TColor Color() const { return color_; }
  // The colour is not part of the handle; it changes no handle.
  void SetColor(TColor colour);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  BYTE Charset() const { return charset_; }
  void SetCharset(BYTE charset);

  void Assign(const TFont& source);
  bool SameAs(const TFont& other) const;
  HFONT Handle() const;

 private:
  std::wstring name_;
  int height_;
  TColor color_;
  TFontStyles style_ = 0;
  BYTE charset_ = DEFAULT_CHARSET;
};

// Pixels per inch of the screen (vertical), read once.
int ScreenPixelsPerInch();

enum TBrushStyle { bsSolid, bsClear };

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor colour);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle style);
  void Assign(const TBrush& source);
  HBRUSH Handle() const;

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

enum TPenStyle { psSolid, psDash, psDot, psClear, psInsideFrame };
enum TPenMode { pmCopy, pmXor, pmNotXor, pmNot };

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor colour);
  int Width() const { return width_; }
  void SetWidth(int width);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle style);
  // The raster mode of lines (applied by the canvas, not part of the handle).
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode mode);
  void Assign(const TPen& source);
  HPEN Handle() const;

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

// ---- canvas ----------------------------------------------------------------

class TGraphic;

// TSavedDC and the GDI object and selection guards: graphics/sk_guards_gdi.h.

// Draws on a device context with its own font, brush and pen. The objects
// are selected on first use and the context's previous objects are selected
// back when the canvas lets go of the context (a new handle, FreeHandle or
// destruction), so a context handed in (a paint context) leaves as it came.
//
// A canvas without a handle gets one from AcquireHandle for the duration of
// each drawing call, or until FreeHandle when Handle() is asked for.
class TCanvas : public TObject {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TFont& Font() { return font_; }
  TBrush& Brush() { return brush_; }
  TPen& Pen() { return pen_; }

  // The device context; acquires and keeps one when none is set.
  HDC Handle();
  bool HandleAllocated() const { return dc_ != nullptr; }
  // Hands the canvas a context it does not own (nullptr lets go).
  void SetHandle(HDC dc);
  // Lets go of the current context (releasing an acquired one).
  void FreeHandle();

  void FillRect(const TRect& rect);
  // A one-pixel frame in the brush's colour.
  void FrameRect(const TRect& rect);
  // Outline with the pen, filled with the brush.
  void Rectangle(const TRect& rect);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  // Text in the font's colour; the background is the brush's colour unless
  // the brush is clear. (The platform's headers turn the names TextOut and
  // DrawText into their ANSI variants' for every user of this header alike;
  // the calls are wide all the same.)
  void TextOut(int x, int y, std::wstring_view text);
  // TextOut clipped to rect.
  void TextRect(const TRect& rect, int x, int y, std::wstring_view text);
  TSize TextExtent(std::wstring_view text);
  int TextWidth(std::wstring_view text) { return TextExtent(text).Width; }
  int TextHeight(std::wstring_view text) { return TextExtent(text).Height; }
  void Draw(int x, int y, const TGraphic& graphic);
  void StretchDraw(const TRect& rect, const TGraphic& graphic);
  // Copies source's rectangle into rect (scaled).
  void CopyRect(const TRect& rect, TCanvas& source, const TRect& sourceRect);
  TColor Pixel(int x, int y);
  void SetPixel(int x, int y, TColor colour);
  // The clipping box in logical coordinates.
  TRect ClipRect();
  // The platform's DrawText with the canvas's font in its colour over a
  // transparent background; with DT_CALCRECT rect receives the text's
  // extent. Returns the text height.
  int DrawText(std::wstring_view text, TRect& rect, UINT flags);
  // Runs draw with the canvas's context (font, brush and pen selected), for
  // drawing the canvas has no call for.
  void WithHandle(const std::function<void(HDC)>& draw);

 protected:
  // Supplies a context when none is set; the base has none to give.
  virtual HDC AcquireHandle();
  virtual void ReleaseHandle(HDC dc) {}

 private:
  class TScope;
  enum : unsigned { kFont = 1, kBrush = 2, kPen = 4 };
  void Require(unsigned objects);
  void Deselect();
  void Reselect(unsigned object);

  TFont font_;
  TBrush brush_;
  TPen pen_;
  HDC dc_ = nullptr;
  bool acquired_ = false;  // dc_ came from AcquireHandle
  unsigned selected_ = 0;
  HGDIOBJ oldFont_ = nullptr;
  HGDIOBJ oldBrush_ = nullptr;
  HGDIOBJ oldPen_ = nullptr;
};

// ---- pictures --------------------------------------------------------------

class TGraphic : public TObject {
 public:
  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Reads the picture's file form from the stream's current position.
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void Draw(HDC dc, const TRect& rect) const = 0;

  TNotifyEvent OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

// A device-independent bitmap. Whatever the file's format, the picture is
// held as 32 bits per pixel, top row first; the fourth byte is the file's
// alpha for 32-bit files and 255 otherwise.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  bool Empty() const override { return handle_ == nullptr; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // A new, black picture (alpha 255); 0 for either side empties it.
  void SetSize(int width, int height);
  void Assign(const TBitmap& source);
  void Clear();

  // A bitmap file: the file header, an information header of any of the
  // platform's versions, the colour table and the pixels at the header's
  // offset. A stream that ends early fails with EReadError "Stream read
  // error"; bytes that are not such a file with EInvalidGraphic "Bitmap image
  // is not valid". On failure the picture is unchanged.
  void LoadFromStream(TStream& stream) override;
  void Draw(HDC dc, const TRect& rect) const override;

  // The DIB section; the bitmap is never left selected into a context, so
  // the handle may be selected by its user.
  HBITMAP Handle() const { return handle_; }
  // Direct pixel access: 0xAARRGGBB, row y at Pixels() + y * Width().
  uint32_t* Pixels() const { return bits_; }
  uint32_t PixelAt(int x, int y) const;
  // A canvas on a memory context holding the bitmap.
  TCanvas& Canvas();

  // Drawn with TransparentColor left out.
  bool Transparent = false;
  // The colour of the bottom-left pixel; clNone when empty.
  TColor TransparentColor() const;

 private:
  void Adopt(HBITMAP handle, uint32_t* bits, int width, int height);

  HBITMAP handle_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::unique_ptr<TCanvas> canvas_;
};

// An icon file with one or more images. The form and the application use
// two of them: the large and the small icon of the platform's metrics, each
// the best-fitting image of the file.
class TIcon : public TGraphic {
 public:
  TIcon() = default;
  ~TIcon() override;

  bool Empty() const override { return large_ == nullptr; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Assign(const TIcon& source);
  void Clear();

  // An icon file. A stream that ends early fails with EReadError "Stream
  // read error"; bytes that are not an icon file with EInvalidGraphic "Icon
  // image is not valid". On failure the icon is unchanged.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const;
  void Draw(HDC dc, const TRect& rect) const override;

  // The large (SM_CXICON) and small (SM_CXSMICON) icons; nullptr when empty.
  HICON Handle() const { return large_; }
  HICON SmallHandle() const { return small_; }

 private:
  void LoadFromBytes(std::vector<uint8_t> bytes);

  std::vector<uint8_t> data_;  // the icon file
  HICON large_ = nullptr;
  HICON small_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Holds one picture of either kind.
class TPicture : public TObject {
 public:
  TGraphic* Graphic() const { return graphic_.get(); }
  // The picture as a bitmap / icon; replaces a picture of the other kind by
  // an empty one.
  TBitmap& Bitmap();
  TIcon& Icon();
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  // A bitmap or icon file, told apart by its first bytes; anything else
  // fails with EInvalidGraphic "Unknown picture format".
  void LoadFromStream(TStream& stream);
  void Clear();

  TNotifyEvent OnChange;

 private:
  template <class T>
  T& Take(std::unique_ptr<T> graphic);
  void Changed() {
    if (OnChange) OnChange(this);
  }

  std::unique_ptr<TGraphic> graphic_;
};
