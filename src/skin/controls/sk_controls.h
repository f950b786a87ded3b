// The themed controls' common ground: the graphic and the windowed base
// class, buffered painting, the bevelled frame of a windowed control, font
// options, and the three levels every control paints an element at.
//
// Each control names a theme object (ThemeObject, "default" unless set) and
// asks, per element it draws, whether the theme in use defines that element
// for the object. If it does, the control paints through the theme's
// operations of that family; else, with the platform's visual styles
// active, it paints the matching visual-style part; else it draws its
// classic look in system colours. The controls register as clients of the
// theme manager for their whole life and repaint on SKM_THEMECHANGE.
//
// Painting runs on the window thread only. SharedBuffer() is one
// process-wide bitmap shared by every control without a lock, which holds
// because painting is never re-entered from another thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "forms/controls.h"
#include "graphics/sk_bitmap.h"
#include "skin/sk_theme.h"

enum TSkPerformance : uint8_t { qvpNoBuffer, qvpSharedBuffer, qvpDoubleBuffer };
enum TSkBevelCut : uint8_t { kbvNone, kbvLowered, kbvRaised, kbvSpace, kbvBorder, kbvFlatBorder };
enum : unsigned { kbsLeft = 1u << 0, kbsTop = 1u << 1, kbsRight = 1u << 2, kbsBottom = 1u << 3 };
using TSkBevelSides = unsigned;
constexpr TSkBevelSides kbsAll = kbsLeft | kbsTop | kbsRight | kbsBottom;
enum TSkBevelKind : uint8_t { kbkNone, kbkSingle, kbkTile, kbkSoft, kbkBorder, kbkFlat };
enum TSkLeftRight : uint8_t { kalLeftJustify, kalRightJustify };
enum TSkCheckBoxState : uint8_t { kcbsUnChecked, kcbsChecked, kcbsMixed };
// Where a button's glyph sits relative to its caption.
enum TSkButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// "No colour": the font keeps the colour the control chose.
constexpr TColor kSkNoFontColor = static_cast<TColor>(0x1FFFFFFF);
// The colour a windowed control fills the shared buffer with first.
constexpr TColor kSkBufferKeyColor = static_cast<TColor>(0x7F007F);

// Adjustments a button or an edit applies to the font it has chosen (its
// own, or the theme's for its state).
class TSkFontOptions {
 public:
  bool Bold() const { return bold_; }
  void SetBold(bool value) { Change(bold_, value); }
  bool Italic() const { return italic_; }
  void SetItalic(bool value) { Change(italic_, value); }
  bool Underline() const { return underline_; }
  void SetUnderline(bool value) { Change(underline_, value); }
  bool StrikeOut() const { return strikeOut_; }
  void SetStrikeOut(bool value) { Change(strikeOut_, value); }
  // Points added to the font's size.
  int SizeDelta() const { return sizeDelta_; }
  void SetSizeDelta(int value) { Change(sizeDelta_, value); }
  const std::wstring& FontName() const { return fontName_; }
  void SetFontName(const std::wstring& value) { Change(fontName_, value); }
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor value) { Change(fontColor_, value); }

  // Adds each set style (none is removed), grows the size by SizeDelta,
  // replaces the name when one is given and the colour when it is one.
  void ApplyTo(TFont& font) const;
  void Assign(const TSkFontOptions& source);

  // The owner repaints.
  std::function<void()> OnChange;

 private:
  template <class T>
  void Change(T& field, const T& value) {
    if (field == value) return;
    field = value;
    if (OnChange) OnChange();
  }

  bool bold_ = false;
  bool italic_ = false;
  bool underline_ = false;
  bool strikeOut_ = false;
  int sizeDelta_ = 0;
  std::wstring fontName_;
  TColor fontColor_ = kSkNoFontColor;
};

// The process-wide 32-bit paint buffer of qvpSharedBuffer: the screen's size
// plus 500 in each direction, given its pixels at first use.
TskBitmap& SharedBuffer();

// A canvas over a device context someone else owns (a buffer's, a paint
// context); it never frees the context.
class TSkBorrowedCanvas : public TCanvas {
 public:
  explicit TSkBorrowedCanvas(HDC dc) { SetHandle(dc); }
  ~TSkBorrowedCanvas() override { SetHandle(nullptr); }
};

// What every themed control shares, over either framework base (the
// graphic control or the windowed one): registration with the theme
// manager for the control's whole life, the theme object and link (the link
// forgotten when it is destroyed), the hot flag, the theme notifications and
// painting through a buffering mode. Written once so that how a control
// follows the theme changes in one place; instantiated for TGraphicControl
// and TCustomControl only (in sk_controls.cpp).
template <class TBase>
class TSkThemedControl : public TBase {
 public:
  explicit TSkThemedControl(TComponent* owner);
  ~TSkThemedControl() override;

  TSkPerformance Performance() const { return performance_; }
  void SetPerformance(TSkPerformance value) { performance_ = value; }
  bool MouseInControl() const { return mouseInControl_; }
  const std::string& ThemeObject() const { return themeObject_; }
  void SetThemeObject(const std::string& value);
  TskCustomThemeLink* ThemeLink() const { return themeLink_; }
  void SetThemeLink(TskCustomThemeLink* link);
  // The theme painting goes through (may be nullptr).
  TskTheme* Theme() const { return ThemeOf(themeLink_); }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  // The copy of the control's font painting works with.
  TFont& PaintFont() { return paintFont_; }
  void SetMouseInControl(bool value) { mouseInControl_ = value; }

  // Draws the control through its buffering mode: PaintInto renders it into
  // the buffer's device context (the shared buffer is first filled with
  // kSkBufferKeyColor for a windowed control).
  void Paint() override;
  // Renders the whole control (as Paint would) into dc at (0, 0).
  virtual void PaintInto(HDC dc) = 0;

  virtual void MouseEnter();
  virtual void MouseLeave();
  // Codes 0, 3, 4 and 5 arrive here; the default repaints.
  virtual void ThemeChanged(TskThemeChange code) { this->Invalidate(); }

  // Theme notifications, and the pointer entering and leaving.
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TSkPerformance performance_ = qvpNoBuffer;
  TFont paintFont_;
  bool mouseInControl_ = false;
  std::string themeObject_ = kDefaultObjectName;
  TskCustomThemeLink* themeLink_ = nullptr;
};

extern template class TSkThemedControl<TGraphicControl>;
extern template class TSkThemedControl<TCustomControl>;

// The graphic base: a control without a window of its own.
class TSkGraphicControl : public TSkThemedControl<TGraphicControl> {
 public:
  using TSkThemedControl::TSkThemedControl;

 protected:
  // Draws the content onto canvas, whose origin is the control's top-left.
  virtual void PaintContent(TCanvas& canvas) {}
  void PaintInto(HDC dc) override;
};

// The windowed base: the bevelled frame, focus, and the background-erase
// protocol of transparent children.
class TSkControl : public TSkThemedControl<TCustomControl> {
 public:
  using TSkThemedControl::TSkThemedControl;

  bool HasFocus() const { return focused_; }

  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int value);
  TSkBevelSides BevelSides() const { return bevelSides_; }
  void SetBevelSides(TSkBevelSides value);
  TSkBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TSkBevelCut value);
  TSkBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TSkBevelCut value);
  TSkBevelKind BevelKind() const { return bevelKind_; }
  void SetBevelKind(TSkBevelKind value);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int value);
  // Whether the frame may be drawn in the platform's edit-box visual style.
  bool EditFrameStyle() const { return editFrameStyle_; }
  void SetEditFrameStyle(bool value);

  // The bounds less border, bevels and the room of scroll bars, in the
  // control's own coordinates. Aligned children share this rectangle.
  virtual TRect ContentRect() const;

 protected:
  // The room scroll bars take beside the content: the width of a vertical
  // bar and the height of a horizontal one, zero when there is none. A
  // control that owns bars (the list box) reports them here; with both, the
  // square where they meet is painted by PaintFrame.
  virtual TSize ScrollBarRoom() const { return TSize{0, 0}; }

  // Frame and content into dc at (0, 0), as Paint draws them.
  void PaintInto(HDC dc) override;
  // The frame around ContentRect (nothing when there is none).
  virtual void PaintFrame(TCanvas& canvas);
  // Fills the content rectangle with the control's colour.
  virtual void PaintContent(TCanvas& canvas);

  virtual void FocusChanged(bool focused);

  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& message) override;
  void BoundsChanged(bool sizeChanged) override;
  void EraseBackground(HDC dc) override {}
  void AdjustClientRect(TRect& rect) override { rect = ContentRect(); }

 private:
  void FrameChanged();

  bool focused_ = false;
  int borderWidth_ = 0;
  TSkBevelSides bevelSides_ = kbsAll;
  TSkBevelCut bevelInner_ = kbvLowered;
  TSkBevelCut bevelOuter_ = kbvLowered;
  TSkBevelKind bevelKind_ = kbkNone;
  int bevelWidth_ = 0;
  bool editFrameStyle_ = true;
};

// ---- drawing helpers the controls share -------------------------------------

// The two colours of one ring of a bevel cut (top-left, bottom-right).
struct TSkBevelColors {
  TColor TopLeft;
  TColor BottomRight;
};
TSkBevelColors BevelOuterColors(TSkBevelCut cut);
TSkBevelColors BevelInnerColors(TSkBevelCut cut);

// One-pixel rectangle: top-left colour on the left and top, bottom-right on
// the right and bottom, only on the sides given.
void DrawBevelRing(HDC dc, const TRect& rect, TColor topLeft, TColor bottomRight, TSkBevelSides sides);

// Draws a visual-style part when the platform's visual styles are active;
// false when they are not or the class does not open (the caller falls back
// to its classic drawing).
bool DrawVisualStylePart(HDC dc, const wchar_t* className, int part, int state, const TRect& rect,
                         const TRect* clip = nullptr);

// Text drawn in the classic look: when disabled, once offset by one pixel in
// the highlight colour and once in the shadow colour.
void DrawClassicText(TCanvas& canvas, const std::wstring& text, TRect rect, UINT format, bool enabled);

// The text's size in the canvas's font ("Pq" for the height), or zero for
// an empty text.
TSize CaptionExtent(TCanvas& canvas, const std::wstring& text);
