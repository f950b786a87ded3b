#include "skin/sk_theme.h"

#include <algorithm>
#include <utility>

#include "forms/std_components.h"
#include "runtime/ansi.h"
#include "graphics/sk_api_win.h"

namespace {

// ---- small drawing helpers -------------------------------------------------

// One colour: fill, then a one-pixel outline; kSkNoColor leaves either out.
void Placeholder(TCanvas& canvas, const TRect& rect, TColor fill, TColor outline) {
  if (IsRectEmpty(rect)) return;
  canvas.WithHandle([&](HDC dc) {
    if (fill != kSkNoColor) FillRectColor(dc, rect, fill);
    if (outline != kSkNoColor) FrameRectColor(dc, rect, outline);
  });
}

TRect Shrink(const TRect& rect, int dx, int dy) {
  return TRect{rect.Left + dx, rect.Top + dy, rect.Right - dx, rect.Bottom - dy};
}

void DrawBitmapAt(TCanvas& canvas, const TskBitmap* bitmap, int x, int y) {
  if (bitmap == nullptr || bitmap->IsEmpty()) return;
  canvas.WithHandle([&](HDC dc) { bitmap->Draw(dc, x, y); });
}

void DrawBitmapCentred(TCanvas& canvas, const TskBitmap* bitmap, const TRect& rect) {
  if (bitmap == nullptr || bitmap->IsEmpty()) return;
  const TRect at = CentreRect(bitmap->Bounds(), rect);
  DrawBitmapAt(canvas, bitmap, at.Left, at.Top);
}

// Runs draw with a solid pen and brush of one colour selected into dc.
template <class TDraw>
void WithSolidInk(HDC dc, TColor colour, TDraw draw) {
  const TGdiBrush brush = SolidBrush(ColorRef(colour));
  const TGdiPen pen = SolidPen(ColorRef(colour));
  const TSelectObject selectBrush(dc, brush.Get());
  const TSelectObject selectPen(dc, pen.Get());
  draw();
}

void FillPolygon(HDC dc, const POINT* points, int count, TColor colour) {
  WithSolidInk(dc, colour, [&] { Polygon(dc, points, count); });
}

// Text through the wide call when the platform has it, else in the ANSI
// code page.
int PlatformDrawText(HDC dc, const std::wstring& text, TRect& rect, UINT format) {
  RECT r = ToRECT(rect);
  int height;
  if (PlatformFunctions().IsNT) {
    height = DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
  } else {
    const std::string ansi = WideToAnsi(text);
    height = DrawTextA(dc, ansi.c_str(), static_cast<int>(ansi.size()), &r, format);
  }
  rect = ToTRect(r);
  return height;
}

// Draws text turned a quarter into target: laid out horizontally in a
// key-coloured bitmap of the transposed size, then turned pixel by pixel
// into a second key-coloured bitmap drawn with the key transparent.
void DrawRotatedText(HDC dc, HFONT font, COLORREF colour, const std::wstring& text, const TRect& target,
                     UINT format, uint8_t orientation) {
  const int64_t width = RectWidth(target);
  const int64_t height = RectHeight(target);
  if (width <= 0 || height <= 0 || width * height > TskBitmap::kMaxPixels) return;
  TskBitmap horizontal;
  horizontal.SetSize(static_cast<int32_t>(height), static_cast<int32_t>(width));
  horizontal.Fill(kKeyPixel);
  HDC textDc = horizontal.DC();
  {
    const TSelectObject selectFont(textDc, font);
    SetTextColor(textDc, colour);
    SetBkMode(textDc, TRANSPARENT);
    TRect box{0, 0, static_cast<int32_t>(height), static_cast<int32_t>(width)};
    PlatformDrawText(textDc, text, box, format);
  }
  GdiFlush();

  TskBitmap turned;
  turned.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  turned.Fill(kKeyPixel);
  RotateTextPixels(horizontal, turned, orientation);
  turned.Transparent = true;
  turned.Draw(dc, target.Left, target.Top);
}

// ---- process-wide state ----------------------------------------------------

std::unique_ptr<TskThemeManager>& ManagerSlot() {
  static std::unique_ptr<TskThemeManager> manager;
  return manager;
}

struct TPainterEntry {
  std::shared_ptr<const TskControlClass> Class;
  TskBackgroundPainter Painter;
};
std::vector<TPainterEntry>& Painters() {
  static std::vector<TPainterEntry> painters;
  return painters;
}

std::vector<const TControl*>& PaintingCopies() {
  static std::vector<const TControl*> controls;
  return controls;
}

struct TRememberedFont {
  TFont* Font;
  std::unique_ptr<TFont> Copy;
};
std::vector<TRememberedFont>& RememberedFonts() {
  static std::vector<TRememberedFont> fonts;
  return fonts;
}

std::unique_ptr<TskBitmap>& ScratchGlyph() {
  static std::unique_ptr<TskBitmap> bitmap;
  return bitmap;
}

// The platform's own group box (a "Button" window of the group-box style).
// It is no class of the framework, so it is recognised by its window.
class TPlatformGroupBoxClass final : public TskControlClass {
 public:
  struct TTag {};
  bool IsInstance(const TControl& control) const override {
    auto* windowed = dynamic_cast<TWinControl*>(const_cast<TControl*>(&control));
    if (windowed == nullptr || !windowed->HandleAllocated()) return false;
    HWND window = windowed->Handle();
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpiW(name, L"Button") == 0 &&
           (static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & BS_TYPEMASK) == BS_GROUPBOX;
  }
  void ThrowNull() const override { throw static_cast<TTag*>(nullptr); }
  bool CatchesNullOf(const TskControlClass& source) const override {
    try {
      source.ThrowNull();
    } catch (TTag*) {
      return true;
    } catch (...) {
      return false;
    }
    return false;
  }
};

class TPaintCopyScope {
 public:
  explicit TPaintCopyScope(const TControl* control) : control_(control) { PaintingCopies().push_back(control); }
  ~TPaintCopyScope() {
    auto& list = PaintingCopies();
    auto it = std::find(list.rbegin(), list.rend(), control_);
    if (it != list.rend()) list.erase(std::next(it).base());
  }
  TPaintCopyScope(const TPaintCopyScope&) = delete;
  TPaintCopyScope& operator=(const TPaintCopyScope&) = delete;

 private:
  const TControl* control_;
};

// A parent painted as it paints itself: background erase, then paint, both
// into the given context.
void PaintControlInto(TWinControl* parent, HDC dc) {
  parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
}

}  // namespace

// ---- records ---------------------------------------------------------------

TskGlyphRecord MakeImageListGlyphRecord(const TRect& rect, const TImageList& list, int index, bool transparent,
                                        uint8_t state) {
  TskGlyphRecord record{rect, nullptr, gkBitmap, state};
  auto& scratch = ScratchGlyph();
  scratch = std::make_unique<TskBitmap>();
  if (index < 0 || index >= list.Count() || list.Width() <= 0 || list.Height() <= 0) return record;
  scratch->SetSize(list.Width(), list.Height());
  scratch->Fill(kKeyPixel);
  TCanvas canvas;
  canvas.SetHandle(scratch->DC());
  list.Draw(canvas, 0, 0, index);
  canvas.SetHandle(nullptr);
  GdiFlush();
  scratch->Transparent = transparent;
  record.Bitmap = scratch.get();
  return record;
}

// ---- fonts -----------------------------------------------------------------

TskThemeFonts::TskThemeFonts(TskTheme* theme) : theme_(theme) {
  fonts_.reserve(kThemeFontCount);
  for (int i = 0; i < kThemeFontCount; ++i) {
    auto font = std::make_unique<TFont>();
    font->SetName(L"Tahoma");
    fonts_.push_back(std::move(font));
  }
}

TFont& TskThemeFonts::FontFor(int index, const std::string& objectName) {
  if (theme_ == nullptr || objectName == kDefaultObjectName) return Font(index);
  scratch_.Assign(Font(index));
  theme_->GetObjectFont(scratch_, index, objectName);
  return scratch_;
}

void TskThemeFonts::Assign(const TskThemeFonts& source) {
  for (size_t i = 0; i < fonts_.size(); ++i) fonts_[i]->Assign(*source.fonts_[i]);
}

TskFontRecord TskThemeFonts::Record(int index) const {
  const TFont& font = Font(index);
  TskFontRecord record;
  record.Face = WideToAnsi(font.Name());
  record.Size = font.Size();
  record.Charset = font.Charset();
  record.Color = font.Color();
  record.Style = font.Style();
  return record;
}

void TskThemeFonts::SetRecord(int index, const TskFontRecord& record) {
  TFont& font = Font(index);
  font.SetName(AnsiToWide(record.Face));
  font.SetSize(record.Size);
  font.SetCharset(record.Charset);
  font.SetColor(record.Color);
  font.SetStyle(record.Style);
}

void TskThemeFonts::WriteToStream(TStream& stream) const {
  std::vector<TskFontRecord> records;
  for (int i = 0; i < kThemeFontCount; ++i) records.push_back(Record(i));
  WriteFontTable(stream, records);
}

void TskThemeFonts::ReadFromStream(TStream& stream) {
  std::vector<TskFontRecord> records;
  for (int i = 0; i < kThemeFontCount; ++i) records.push_back(Record(i));
  records = ReadFontTable(stream, records);
  for (int i = 0; i < kThemeFontCount; ++i) SetRecord(i, records[static_cast<size_t>(i)]);
}

// ---- the theme: general operations -----------------------------------------

TskTheme::TskTheme()
    : colors_(std::make_unique<TskThemeColors>(this)),
      sysColors_(std::make_unique<TskThemeSysColors>(this)),
      fonts_(std::make_unique<TskThemeFonts>(this)),
      metrics_(std::make_unique<TskThemeMetrics>(this)),
      drawing_(std::make_unique<TskThemeDrawing>(this)),
      options_(std::make_unique<TskThemeOptions>(this)) {
  Reset();
}

TskTheme::~TskTheme() = default;

const TskThemeClass& TskTheme::BaseClass() {
  static const TskThemeClass kind{"Default", TskThemeConfig{}, nullptr,
                                  [] { return std::make_unique<TskTheme>(); }};
  return kind;
}

bool TskTheme::SetDeltaHue(int value) { return SetDeltaHueAndBrightness(value, deltaBrightness_); }

bool TskTheme::SetDeltaBrightness(int value) { return SetDeltaHueAndBrightness(deltaHue_, value); }

bool TskTheme::SetDeltaHueAndBrightness(int hue, int brightness) {
  if (hue == deltaHue_ && brightness == deltaBrightness_) return false;
  deltaHue_ = hue;
  deltaBrightness_ = brightness;
  // Rebuilt from the defaults: shifts never add up.
  Reset();
  return true;
}

void TskTheme::Assign(const TskTheme& source) {
  if (&source == this) return;
  Name = source.Name;
  colors_->Assign(*source.colors_);
  sysColors_->Assign(*source.sysColors_);
  fonts_->Assign(*source.fonts_);
  options_->Assign(*source.options_);
}

void TskTheme::ResetColors() {
  colors_->SetDefaults();
  colors_->Shift(deltaHue_, deltaBrightness_);
}

void TskTheme::ResetSysColors() { sysColors_->Shift(deltaHue_, deltaBrightness_); }

void TskTheme::ResetFonts() {
  // Every entry is rebuilt, those without a default of their own from the
  // construction font, so that a new shift starts from unshifted colours.
  for (int i = 0; i < kThemeFontCount; ++i) {
    TskFontRecord record = DefaultThemeFont(i);
    record.Color = ShiftFontColor(record.Color, deltaHue_, deltaBrightness_);
    fonts_->SetRecord(i, record);
  }
}

void TskTheme::GetObjectFont(TFont& font, int fontIndex, const std::string&) {
  font.Assign(fonts_->Font(fontIndex));
}

bool TskTheme::LoadFromStream(TStream&) { return false; }
bool TskTheme::SaveToStream(TStream&) { return false; }
bool TskTheme::LoadFromFile(const std::string&) { return false; }
void TskTheme::SaveToFile(const std::string&) {}

void TskTheme::Reset() {
  ResetColors();
  ResetSysColors();
  ResetFonts();
}

void TskTheme::DrawText(TCanvas& canvas, const TskTextInfo& info) {
  uint8_t align = info.Align;
  UINT format = 0;
  if ((info.Options & txoRtlReading) != 0) {
    // Right-to-left text starts at the right.
    if (align == talTopLeft) align = talTopRight;
    if (align == talMiddleLeft) align = talMiddleRight;
    if (align == talBottomLeft) align = talBottomRight;
    format |= DT_RTLREADING;
  }
  if ((info.Options & txoNoPrefix) != 0) format |= DT_NOPREFIX;
  if ((info.Options & txoWordBreak) != 0) format |= DT_WORDBREAK;
  if ((info.Options & txoSingleLine) != 0) format |= DT_SINGLELINE;
  const UINT measureFormat = format | DT_CALCRECT;

  canvas.WithHandle([&](HDC dc) {
    const COLORREF colour = ColorRef(canvas.Font().Color());
    const COLORREF oldColour = SetTextColor(dc, colour);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    if (info.Orientation == torHorizontal) {
      TRect box = info.Rect;
      if (align != talTopLeft) {
        TRect measured = info.Rect;
        PlatformDrawText(dc, info.Text, measured, measureFormat);
        box = AlignTextBox(info.Rect, static_cast<int32_t>(RectWidth(measured)),
                           static_cast<int32_t>(RectHeight(measured)), align);
      }
      PlatformDrawText(dc, info.Text, box, format);
    } else if (info.Orientation == torDownward || info.Orientation == torUpward) {
      HFONT font = canvas.Font().Handle();
      if (align == talTopLeft) {
        DrawRotatedText(dc, font, colour, info.Text, info.Rect, format, info.Orientation);
      } else if (align == talCenter) {
        const TRect& r = info.Rect;
        TRect measured{r.Left, r.Top, static_cast<int32_t>(r.Left + RectHeight(r)),
                       static_cast<int32_t>(r.Top + RectWidth(r))};
        PlatformDrawText(dc, info.Text, measured, measureFormat);
        const TRect box = CentreRotatedTextBox(r, static_cast<int32_t>(RectWidth(measured)),
                                               static_cast<int32_t>(RectHeight(measured)));
        DrawRotatedText(dc, font, colour, info.Text, box, format, info.Orientation);
      }
      // Other alignments of rotated text are not laid out.
    }
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColour);
  });
}

// ---- Window ----------------------------------------------------------------

bool TskTheme::DefinesWindow(int, const std::string&) { return false; }
HRGN TskTheme::WindowRegion(int, const TRect&, const std::string&) { return nullptr; }

TskHitCode TskTheme::WindowHitTest(int kind, const TskWindowInfo& info, const std::string& objectName, int x, int y) {
  TskFrameGeometry geometry;
  geometry.Window = info.Rect;
  geometry.Content = WindowContentRect(kind, info, objectName);
  geometry.Caption = WindowCaptionRect(kind, info, objectName);
  geometry.Buttons = info.Buttons;
  geometry.ButtonRect = [&](TskWindowButton button) { return WindowButtonRect(kind, info, objectName, button); };
  return HitTestFrame(static_cast<uint8_t>(kind), geometry, x, y);
}

TRect TskTheme::WindowContentRect(int, const TskWindowInfo& info, const std::string&) {
  return BaseWindowContentRect(info.Rect);
}

TRect TskTheme::WindowCaptionRect(int kind, const TskWindowInfo& info, const std::string& objectName) {
  return BaseWindowCaptionRect(WindowContentRect(kind, info, objectName));
}

TRect TskTheme::WindowButtonRect(int kind, const TskWindowInfo& info, const std::string& objectName,
                                 TskWindowButton button) {
  return BaseWindowButtonRect(WindowContentRect(kind, info, objectName), info.Buttons, button);
}

void TskTheme::PaintWindow(int kind, TCanvas& canvas, const std::string& objectName, const TskWindowInfo& info) {
  const TRect w = info.Rect;
  if (IsRectEmpty(w)) return;
  const TRect c = WindowContentRect(kind, info, objectName);
  const bool captionSkipped = !IsRectEmpty(info.PaintRect) && info.PaintRect.Top != 0;
  const TColor face = (*colors_)[ciButtonNormal];
  canvas.WithHandle([&](HDC dc) {
    const TColor border = (*colors_)[ciWindowBorder];
    if (!captionSkipped) FillRectColor(dc, TRect{w.Left, w.Top, w.Right, c.Top}, border);
    FillRectColor(dc, TRect{w.Left, c.Top, c.Left, c.Bottom}, border);
    FillRectColor(dc, TRect{c.Right, c.Top, w.Right, c.Bottom}, border);
    FillRectColor(dc, TRect{w.Left, c.Bottom, w.Right, w.Bottom}, border);
    if (!captionSkipped) {
      const TColor caption = info.IsActive() ? (*colors_)[ciCaptionNormal] : (*colors_)[ciCaptionInactive];
      FillRectColor(dc, WindowCaptionRect(kind, info, objectName), caption);
    }
    FrameRectColor(dc, w, clBlack);
    Edge3D(dc, Shrink(w, 1, 1), LightenColor(face, 100), LightenColor(face, -100));
  });
}

void TskTheme::PaintWindowClient(int, TCanvas& canvas, const std::string&, const TRect& rect) {
  Placeholder(canvas, rect, (*colors_)[ciWindow], kSkNoColor);
}

void TskTheme::PaintWindowCaption(int, TCanvas& canvas, const std::string& objectName, const TRect& rect,
                                  const TskWindowInfo& info) {
  canvas.Font().Assign(fonts_->FontFor(info.IsActive() ? fiCaptionTextNormal : fiCaptionTextInactive, objectName));
  DrawText(canvas, MakeTextInfo(rect, info.Caption, DT_CENTER | DT_VCENTER | DT_SINGLELINE));
}

void TskTheme::PaintWindowButton(int, TCanvas& canvas, const std::string&, const TskPartRecord& record) {
  const TRect& r = record.Rect;
  if (record.Part == wbSysMenu) {
    DrawBitmapCentred(canvas, record.Glyph, r);
    return;
  }
  if (IsRectEmpty(r)) return;
  const bool hot = record.State == btsHot;
  const bool pressed = record.State == btsPressed;
  const TColor face = hot ? (*colors_)[ciButtonHot] : (*colors_)[ciButtonNormal];
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, r, face);
    const TColor light = LightenColor(face, 100);
    const TColor dark = LightenColor(face, -100);
    Edge3D(dc, r, pressed ? dark : light, pressed ? light : dark);
    UINT glyph = 0;
    switch (record.Part) {
      case wbClose: glyph = DFCS_CAPTIONCLOSE; break;
      case wbHelp: glyph = DFCS_CAPTIONHELP; break;
      case wbMinimize: glyph = DFCS_CAPTIONMIN; break;
      case wbMaximize: glyph = DFCS_CAPTIONMAX; break;
      case wbRestoreMin:
      case wbRestoreMax: glyph = DFCS_CAPTIONRESTORE; break;
      case wbRollUp:
      case wbRollDown: {
        const TRect t = Shrink(r, 4, 5);
        if (IsRectEmpty(t)) break;
        const int mid = static_cast<int>(t.Left + RectWidth(t) / 2);
        POINT up[3] = {{t.Left, t.Bottom - 1}, {t.Right - 1, t.Bottom - 1}, {mid, t.Top}};
        POINT down[3] = {{t.Left, t.Top}, {t.Right - 1, t.Top}, {mid, t.Bottom - 1}};
        FillPolygon(dc, record.Part == wbRollUp ? up : down, 3, clBlack);
        break;
      }
      case wbTray:
        FillRectColor(dc, TRect{r.Right - 7, r.Bottom - 7, r.Right - 4, r.Bottom - 4}, clBlack);
        break;
      default: break;
    }
    if (glyph != 0) DrawFrameGlyph(dc, r, DFC_CAPTION, clBlack, glyph);
  });
}

void TskTheme::PaintWindowSizeGrip(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  const TRect& r = record.Rect;
  if (IsRectEmpty(r)) return;
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, r, (*colors_)[ciWindowBorder]);
    if (record.State == 0) return;
    // Three diagonal grip lines from the bottom-right corner, each a grey
    // line with a black one beside it.
    for (int i = 1; i <= 3; ++i) {
      const int offset = 4 * i;
      for (int line = 0; line < 2; ++line) {
        const int o = offset - line;
        const TGdiPen pen = SolidPen(ColorRef(line == 0 ? clGray : clBlack));
        const TSelectObject selectPen(dc, pen.Get());
        MoveToEx(dc, r.Right - o, r.Bottom - 1, nullptr);
        LineTo(dc, r.Right, r.Bottom - 1 - o);
      }
    }
  });
}

// ---- Spare1 ----------------------------------------------------------------

bool TskTheme::DefinesSpare1(int, const std::string&) { return false; }
TRect TskTheme::Spare1ContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 10, 13); }
void TskTheme::PaintSpare1(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clYellow, clRed);
}

// ---- Label -----------------------------------------------------------------

bool TskTheme::DefinesLabel(int, const std::string&) { return false; }
bool TskTheme::LabelTransparent(int, const std::string&) { return true; }
void TskTheme::PaintLabelText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info) {
  DrawText(canvas, info);
}

// ---- Panel -----------------------------------------------------------------

bool TskTheme::DefinesPanel(int, const std::string&) { return false; }
bool TskTheme::PanelTransparent(int, const std::string&) { return false; }
TRect TskTheme::PanelContentRect(int, const TRect& rect, const std::string&) { return rect; }

void TskTheme::PaintPanel(int kind, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  const TRect& r = record.Rect;
  if (IsRectEmpty(r)) return;
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, r, clSilver);
    if (kind == pkSunken) {
      FrameRectColor(dc, r, clBlack);
      Edge3D(dc, Shrink(r, 1, 1), clBtnShadow, clBtnHighlight);
    } else {
      Edge3D(dc, r, clBtnHighlight, clBtnShadow);
    }
  });
}

void TskTheme::PaintPanelPart(int, TCanvas&, const std::string&, const TskCodedRecord&) {}

void TskTheme::PaintPanelText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                              const TskStateRecord&) {
  DrawText(canvas, info);
}

// ---- Button ----------------------------------------------------------------

bool TskTheme::DefinesButton(int, const std::string&) { return false; }
bool TskTheme::ButtonTransparent(int, const std::string&) { return false; }

void TskTheme::PaintButton(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  const TRect& r = record.Rect;
  if (IsRectEmpty(r)) return;
  int index = ciButtonNormal;
  bool pressed = false;
  switch (record.State) {
    // The states without a name of their own are drawn like a named one.
    case btsHot: case 5: case 7: index = ciButtonHot; break;
    case btsPressed: case 8: case 10: case 11: index = ciButtonPressed; pressed = true; break;
    case btsDisabled: case 9: index = ciButtonDisabled; break;
    case btsFocused: case btsDefault: index = ciButtonFocused; break;
    default: break;
  }
  const TColor face = (*colors_)[index];
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, r, face);
    const TColor light = LightenColor(face, 100);
    const TColor dark = LightenColor(face, -100);
    Edge3D(dc, r, pressed ? dark : light, pressed ? light : dark);
  });
}

void TskTheme::PaintButtonText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                               const TskStateRecord&) {
  DrawText(canvas, info);
}

void TskTheme::PaintButtonGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                const TskStateRecord&) {
  DrawBitmapAt(canvas, glyph.Bitmap, glyph.Rect.Left, glyph.Rect.Top);
}

// ---- CheckBox --------------------------------------------------------------

bool TskTheme::DefinesCheckBox(int, const std::string&) { return false; }
bool TskTheme::CheckBoxTransparent(int, const std::string&) { return true; }
void TskTheme::PaintCheckBox(int, TCanvas&, const std::string&, const TskStateRecord&) {}
void TskTheme::PaintCheckBoxText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskStateRecord&) {
  DrawText(canvas, info);
}
TSize TskTheme::CheckBoxSize(int) { return TSize{13, 13}; }

// ---- Spare2 ----------------------------------------------------------------

bool TskTheme::DefinesSpare2(int, const std::string&) { return false; }
bool TskTheme::Spare2Transparent(int, const std::string&) { return false; }
void TskTheme::PaintSpare2(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clYellow, clRed);
}

// ---- ScrollBar -------------------------------------------------------------

namespace {
TColor SubKindFill(uint8_t subKind) {
  switch (subKind) {
    case 1: return clBlue;
    case 2: return clRed;
    case 3: return clSilver;
    default: return clGray;
  }
}
}  // namespace

bool TskTheme::DefinesScrollBar(int, const std::string&) { return false; }
bool TskTheme::ScrollBarTransparent(int, const std::string&) { return false; }
TRect TskTheme::ScrollBarContentRect(int, const TRect& rect, const std::string&) { return rect; }

void TskTheme::PaintScrollBarPart(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  const TRect& r = record.Rect;
  Placeholder(canvas, r, SubKindFill(record.High()), clBlack);
  // A small mark in the middle tells the parts apart.
  const TRect mark = CentreRect(TRect{0, 0, 2, 2}, r);
  if (Contains(mark, r)) Placeholder(canvas, mark, clBlack, kSkNoColor);
}

void TskTheme::PaintScrollBarTrack(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, SubKindFill(record.High()), clBlack);
}

// ---- ProgressBar -----------------------------------------------------------

bool TskTheme::DefinesProgressBar(int, const std::string&) { return false; }
bool TskTheme::ProgressBarTransparent(int, const std::string&) { return false; }
TRect TskTheme::ProgressBarContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintProgressBar(int, TCanvas&, const std::string&, const TskCodedRecord&) {}

// ---- TrackBar --------------------------------------------------------------

bool TskTheme::DefinesTrackBar(int, const std::string&) { return false; }
bool TskTheme::TrackBarTransparent(int, const std::string&) { return true; }
void TskTheme::PaintTrackBar(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clBlue, clRed);
}
void TskTheme::PaintTrackBarTrack(int, TCanvas&, const std::string&, const TskStateRecord&) {}
void TskTheme::PaintTrackBarThumb(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, clYellow, clBlue);
}

// ---- Header ----------------------------------------------------------------

bool TskTheme::DefinesHeader(int, const std::string&) { return false; }
bool TskTheme::HeaderTransparent(int, const std::string&) { return false; }
void TskTheme::PaintHeader(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clWhite, clBlack);
}
void TskTheme::PaintHeaderSection(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, SubKindFill(record.High()), clBlack);
}
void TskTheme::PaintHeaderSectionText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                      const TskCodedRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintHeaderSectionGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                       const TskCodedRecord&) {
  DrawBitmapAt(canvas, glyph.Bitmap, glyph.Rect.Left, glyph.Rect.Top);
}

// ---- StatusBar -------------------------------------------------------------

bool TskTheme::DefinesStatusBar(int, const std::string&) { return false; }
bool TskTheme::StatusBarTransparent(int, const std::string&) { return false; }
TRect TskTheme::StatusBarContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 5, 2); }
void TskTheme::PaintStatusBar(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clSilver, clBlack);
}
void TskTheme::PaintStatusPanel(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, clGray, clBlack);
}
void TskTheme::PaintStatusPanelText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                    const TskCodedRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintStatusPanelGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                     const TskCodedRecord&) {
  DrawBitmapAt(canvas, glyph.Bitmap, glyph.Rect.Left, glyph.Rect.Top);
}

// ---- Edit ------------------------------------------------------------------

bool TskTheme::DefinesEdit(int, const std::string&) { return false; }
bool TskTheme::EditTransparent(int, const std::string&) { return false; }
TRect TskTheme::EditContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 3, 3); }
void TskTheme::PaintEdit(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clBlue, clRed);
}
void TskTheme::PaintEditButton(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clGreen, clYellow);
}

// ---- GroupBox --------------------------------------------------------------

bool TskTheme::DefinesGroupBox(int, const std::string&) { return false; }
bool TskTheme::GroupBoxTransparent(int, const std::string&) { return true; }
TRect TskTheme::GroupBoxContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintGroupBox(int, TCanvas& canvas, const std::string&, const TskGroupBoxRecord& record) {
  TRect frame = Shrink(record.Rect, 5, 5);
  frame.Top += 4;
  Placeholder(canvas, frame, kSkNoColor, clBlack);
}
void TskTheme::PaintGroupBoxText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskStateRecord&) {
  DrawText(canvas, info);
}

// ---- ComboBox --------------------------------------------------------------

bool TskTheme::DefinesComboBox(int, const std::string&) { return false; }
bool TskTheme::ComboBoxTransparent(int, const std::string&) { return false; }
TRect TskTheme::ComboBoxContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintComboBox(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clBlue, clRed);
}
bool TskTheme::ComboBoxQuery1(int, const std::string&) { return false; }
bool TskTheme::ComboBoxQuery2(int, const std::string&) { return false; }
TRect TskTheme::ComboBoxButtonRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintComboBoxButton(int, TCanvas&, const std::string&, const TskStateRecord&) {}

// ---- Menu ------------------------------------------------------------------

bool TskTheme::DefinesMenu(int, const std::string&) { return false; }
bool TskTheme::MenuTransparent(int, const std::string&) { return false; }
TRect TskTheme::MenuContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 3, 5); }
void TskTheme::PaintMenu(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clWhite, clRed);
}

void TskTheme::PaintMenuItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  const TRect& r = record.Rect;
  if (record.Low() == mikSeparator) {
    const int middle = static_cast<int>(r.Top + RectHeight(r) / 2);
    Placeholder(canvas, TRect{r.Left + 3, middle, r.Right - 3, middle + 1}, clRed, kSkNoColor);
    return;
  }
  TColor fill = clSilver;
  switch (record.High()) {
    case 3: fill = clWhite; break;
    case 2: fill = clGray; break;
    case 1: fill = clYellow; break;
    default: break;
  }
  Placeholder(canvas, r, fill, clRed);
}

void TskTheme::PaintMenuItemText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskCodedRecord&) {
  DrawText(canvas, info);
}

void TskTheme::PaintMenuItemGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                  const TskCodedRecord&) {
  const TRect square = CentreRect(TRect{0, 0, 16, 16}, glyph.Rect);
  const TColor ink = canvas.Font().Color();
  switch (glyph.Kind) {
    case gkCheckMark:
      canvas.WithHandle([&](HDC dc) {
        // Two strokes of a tick around the square's centre, the second one
        // pixel lower so that the mark is two pixels thick.
        const TGdiPen pen = SolidPen(ColorRef(ink));
        const TSelectObject selectPen(dc, pen.Get());
        const int cx = square.Left + 8;
        const int cy = square.Top + 8;
        for (int dy = 0; dy < 2; ++dy) {
          POINT stroke[3] = {{cx - 4, cy - 1 + dy}, {cx - 1, cy + 2 + dy}, {cx + 5, cy - 4 + dy}};
          Polyline(dc, stroke, 3);
        }
      });
      break;
    case gkRadioDot:
      canvas.WithHandle([&](HDC dc) {
        const TRect dot = CentreRect(TRect{0, 0, 6, 6}, glyph.Rect);
        WithSolidInk(dc, ink, [&] { Ellipse(dc, dot.Left, dot.Top, dot.Right, dot.Bottom); });
      });
      break;
    case gkSubMenuArrow:
      canvas.WithHandle([&](HDC dc) {
        POINT arrow[3] = {{square.Left + 6, square.Top + 4}, {square.Left + 10, square.Top + 8},
                          {square.Left + 6, square.Top + 12}};
        FillPolygon(dc, arrow, 3, ink);
      });
      break;
    default:
      DrawBitmapCentred(canvas, glyph.Bitmap, glyph.Rect);
      break;
  }
}

// ---- Dock ------------------------------------------------------------------

bool TskTheme::DefinesDock(int, const std::string&) { return false; }
TRect TskTheme::DockContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintDock(int, TCanvas&, const std::string&, const TskStateRecord&) {}

// ---- ToolBar ---------------------------------------------------------------

bool TskTheme::DefinesToolBar(int, const std::string&) { return false; }
TRect TskTheme::ToolBarContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintToolBar(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clSilver, clGray);
}
void TskTheme::PaintToolItem(int, TCanvas& canvas, const std::string&, const TskPartRecord& record) {
  if (record.Part == tipSeparator) {
    const TRect& r = record.Rect;
    const int middle = static_cast<int>(r.Left + RectWidth(r) / 2);
    Placeholder(canvas, TRect{middle, r.Top + 2, middle + 1, r.Bottom - 2}, clGray, kSkNoColor);
    return;
  }
  Placeholder(canvas, record.Rect, record.State == 0 ? kSkNoColor : SubKindFill(record.State), clBlack);
}
void TskTheme::PaintToolItemText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskPartRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintToolItemGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                  const TskPartRecord&) {
  DrawBitmapCentred(canvas, glyph.Bitmap, glyph.Rect);
}

// ---- Spare3 ----------------------------------------------------------------

bool TskTheme::DefinesSpare3(int, const std::string&) { return false; }
TRect TskTheme::Spare3ContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 3, 3); }
void TskTheme::PaintSpare3(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clYellow, clRed);
}

// ---- ExplorerBar -----------------------------------------------------------

bool TskTheme::DefinesExplorerBar(int, const std::string&) { return false; }
bool TskTheme::ExplorerBarTransparent(int, const std::string&) { return false; }
TRect TskTheme::ExplorerBarContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintExplorerBar(int, TCanvas&, const std::string&, const TskStateRecord&) {}
void TskTheme::PaintExplorerGroupHead(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clGreen, clBlack);
}
void TskTheme::PaintExplorerGroupButton(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, clRed, clBlue);
}
void TskTheme::PaintExplorerGroup(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clGreen, clYellow);
}
void TskTheme::PaintExplorerText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskStateRecord&) {
  DrawText(canvas, info);
}

// ---- Tab -------------------------------------------------------------------

bool TskTheme::DefinesTab(int, const std::string&) { return false; }
bool TskTheme::TabTransparent(int, const std::string&) { return true; }
TRect TskTheme::TabContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintTabPane(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clSilver, clYellow);
}
void TskTheme::PaintTab(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, kSkNoColor, clBlue);
}
void TskTheme::PaintTabScrollButton(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, clYellow, clRed);
}
void TskTheme::PaintTabText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                            const TskCodedRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintTabGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                             const TskCodedRecord&) {
  DrawBitmapAt(canvas, glyph.Bitmap, glyph.Rect.Left, glyph.Rect.Top);
}

// ---- List ------------------------------------------------------------------

namespace {
TColor ListItemFill(uint8_t state) {
  switch (state) {
    case lisNormal: return clWhite;
    case lisHot: return clYellow;
    case lisSelected: return clNavy;
    case lisFocused: return clBlue;
    case lisDisabled: return clSilver;
    default: return kSkNoColor;
  }
}
}  // namespace

bool TskTheme::DefinesList(int, const std::string&) { return false; }
bool TskTheme::ListTransparent(int, const std::string&) { return false; }
TRect TskTheme::ListContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 4, 5); }
void TskTheme::PaintList(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, (*colors_)[ciList], clRed);
}
void TskTheme::PaintListPart(int, TCanvas&, const std::string&, const TskCodedRecord&) {}
void TskTheme::PaintListItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, ListItemFill(record.Low()), clBlue);
}
void TskTheme::PaintListItemText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskCodedRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintListItemCheck(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                  const TskCodedRecord&) {
  if (glyph.Kind == gkBitmap) {
    DrawBitmapCentred(canvas, glyph.Bitmap, glyph.Rect);
    return;
  }
  const TRect box = CentreRect(TRect{0, 0, 16, 16}, glyph.Rect);
  Placeholder(canvas, box, clRed, clBlack);
  const TRect inner = Shrink(box, 3, 3);
  if (glyph.Kind == 0) Placeholder(canvas, inner, clBlack, kSkNoColor);
  if (glyph.Kind == 2) Placeholder(canvas, inner, clGray, kSkNoColor);
}

// ---- Tree ------------------------------------------------------------------

bool TskTheme::DefinesTree(int, const std::string&) { return false; }
bool TskTheme::TreeTransparent(int, const std::string&) { return false; }
TRect TskTheme::TreeContentRect(int, const TRect& rect, const std::string&) { return rect; }
void TskTheme::PaintTree(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, (*colors_)[ciTree], kSkNoColor);
}
void TskTheme::PaintTreeItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, ListItemFill(record.Low()), clBlue);
}
void TskTheme::PaintTreeItemText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskCodedRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintTreeButton(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  Placeholder(canvas, record.Rect, clWhite, clBlack);
}

// ---- Grid ------------------------------------------------------------------

bool TskTheme::DefinesGrid(int, const std::string&) { return false; }
bool TskTheme::GridTransparent(int, const std::string&) { return false; }
TRect TskTheme::GridContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2, 2); }
void TskTheme::PaintGrid(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  Placeholder(canvas, record.Rect, clWhite, clRed);
}
void TskTheme::PaintGridCell(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  if (record.High() == gckFixed) {
    Placeholder(canvas, record.Rect, kSkNoColor, clGray);
    return;
  }
  Placeholder(canvas, record.Rect, ListItemFill(record.Low()), clSilver);
}
void TskTheme::PaintGridCellText(int, TCanvas& canvas, const std::string&, const TskTextInfo& info,
                                 const TskCodedRecord&) {
  DrawText(canvas, info);
}
void TskTheme::PaintGridCellGlyph(int, TCanvas& canvas, const std::string&, const TskGlyphRecord& glyph,
                                  const TskCodedRecord&) {
  DrawBitmapCentred(canvas, glyph.Bitmap, glyph.Rect);
}

TskThemeManager& ThemeManager() {
  auto& slot = ManagerSlot();
  if (!slot) {
    slot = std::make_unique<TskThemeManager>();
    slot->RegisterThemeKind(TskTheme::BaseClass());
    RegisterBackgroundPainter(std::make_shared<TPlatformGroupBoxClass>(),
                              [](TCanvas& canvas, const TskBackgroundInfo& info) {
                                canvas.WithHandle([&](HDC dc) {
                                  FillRectColor(dc, info.Bounds, info.Parent->Color());
                                });
                              });
  }
  return *slot;
}

bool ThemeManagerExists() { return ManagerSlot() != nullptr; }

void UnregisterThemeClient(TObject* client) {
  if (ThemeManagerExists()) ThemeManager().UnregisterClient(client);
}

void FreeThemeLibrary() {
  Painters().clear();
  ManagerSlot().reset();
  FreeRememberedFonts();
  ScratchGlyph().reset();
  PaintingCopies().clear();
}

// ---- parent background -----------------------------------------------------

void RegisterBackgroundPainter(std::shared_ptr<const TskControlClass> controlClass, TskBackgroundPainter painter) {
  if (!controlClass || !painter) return;
  Painters().push_back(TPainterEntry{std::move(controlClass), std::move(painter)});
}

bool IsBackgroundPainterRegistered(const TskControlClass& controlClass) {
  const auto& painters = Painters();
  return std::any_of(painters.begin(), painters.end(),
                     [&](const TPainterEntry& entry) { return entry.Class.get() == &controlClass; });
}

TskBackgroundPainter FindBackgroundPainter(const TWinControl& parent) {
  const TPainterEntry* taken = nullptr;
  const auto& painters = Painters();
  for (auto it = painters.rbegin(); it != painters.rend(); ++it) {
    if (!it->Class->IsInstance(parent)) continue;
    // Searching from the last registration, a later-registered class wins
    // among equals, and a more derived one wins over its bases.
    if (taken == nullptr || (it->Class != taken->Class && it->Class->InheritsFrom(*taken->Class))) taken = &*it;
  }
  return taken != nullptr ? taken->Painter : TskBackgroundPainter{};
}

bool IsPaintingCopy(const TControl* control) {
  const auto& list = PaintingCopies();
  return std::find(list.begin(), list.end(), control) != list.end();
}

void PaintParentBackground(TControl* control, HDC dc) {
  if (control == nullptr || dc == nullptr) return;
  TWinControl* parent = control->Parent();
  if (parent == nullptr || control->Width() <= 0 || control->Height() <= 0 || IsPaintingCopy(control)) return;
  const TSavedDC saved(dc);
  // The parent's client coordinates line up with the control's context.
  OffsetViewportOrgEx(dc, -control->Left(), -control->Top(), nullptr);

  const TRect bounds = control->BoundsRect();
  if (TskBackgroundPainter painter = FindBackgroundPainter(*parent)) {
    TCanvas canvas;
    canvas.SetHandle(dc);
    TPaintCopyScope copying(control);
    painter(canvas, TskBackgroundInfo{bounds, bounds, control, parent});
    canvas.SetHandle(nullptr);
    return;
  }

  TPaintCopyScope copying(control);
  if (dynamic_cast<TWinControl*>(control) != nullptr) {
    PaintControlInto(parent, dc);
    return;
  }
  // A graphic control shares its parent's context: the parent is painted
  // into a buffer of the control's size, then only that area is copied.
  TskBitmap buffer;
  buffer.SetSize(control->Width(), control->Height());
  HDC bufferDc = buffer.DC();
  {
    const TSavedDC bufferSaved(bufferDc);
    SetViewportOrgEx(bufferDc, -control->Left(), -control->Top(), nullptr);
    PaintControlInto(parent, bufferDc);
  }
  GdiFlush();
  BitBlt(dc, control->Left(), control->Top(), control->Width(), control->Height(), bufferDc, 0, 0, SRCCOPY);
}

// ---- remembered fonts ------------------------------------------------------

void RememberFont(TFont* font) {
  if (font == nullptr) return;
  for (TRememberedFont& entry : RememberedFonts()) {
    if (entry.Font == font) {
      entry.Copy->Assign(*font);
      return;
    }
  }
  auto copy = std::make_unique<TFont>();
  copy->Assign(*font);
  RememberedFonts().push_back(TRememberedFont{font, std::move(copy)});
}

void ForgetFont(TFont* font) {
  auto& fonts = RememberedFonts();
  fonts.erase(std::remove_if(fonts.begin(), fonts.end(), [font](const TRememberedFont& e) { return e.Font == font; }),
              fonts.end());
}

void RestoreFont(TFont* font) {
  for (TRememberedFont& entry : RememberedFonts()) {
    if (entry.Font == font) {
      font->Assign(*entry.Copy);
      return;
    }
  }
}

void FreeRememberedFonts() { RememberedFonts().clear(); }

bool IsFontRemembered(const TFont* font) {
  for (const TRememberedFont& entry : RememberedFonts()) {
    if (entry.Font == font) return true;
  }
  return false;
}
