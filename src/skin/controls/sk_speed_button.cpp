#include "skin/controls/sk_speed_button.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <array>

#include "runtime/scope_exit.h"
#include "graphics/sk_effect.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"
#include "skin/menus/sk_menus.h"

namespace {

constexpr unsigned kRepeatFirstDelay = 400;  // ms before the first repeat
constexpr unsigned kRepeatInterval = 100;    // ms between repeats
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

// One axis of the layout: where glyph and caption start along it, given the
// room, the two extents along it, the margin and the spacing.
struct TAxisPlacement {
  int Glyph;
  int Caption;
};

TAxisPlacement PlaceAlong(int room, int glyph, int caption, bool glyphFirst, int margin, int spacing) {
  // Spacing only separates two things.
  if (glyph == 0 || caption == 0) spacing = 0;
  if (margin == -1) {
    if (spacing == -1) {
      const int gap = (room - glyph - caption) / 3;
      margin = gap;
      spacing = gap;
    } else {
      margin = (room - glyph - spacing - caption) / 2;
    }
  } else if (spacing == -1) {
    spacing = (room - margin - glyph - caption) / 2;
  }
  TAxisPlacement placement{};
  if (glyphFirst) {
    placement.Glyph = margin;
    placement.Caption = placement.Glyph + glyph + spacing;
  } else {
    placement.Glyph = room - margin - glyph;
    placement.Caption = placement.Glyph - spacing - caption;
  }
  return placement;
}

// The sub-picture of a glyph of numGlyphs side-by-side pictures a state
// shows.
int SubPictureIndex(int numGlyphs, bool enabled, uint8_t pressState) {
  int index = 0;
  if (!enabled && numGlyphs > 1) index += 1;
  if (pressState == kPressLatched && numGlyphs == 4) index += 3;
  if (pressState == kPressDown && numGlyphs > 2) index += 2;
  // A disabled latched button of four pictures would address a fifth; it
  // shows the last one there is.
  return std::min(index, numGlyphs - 1);
}

uint32_t PixelOfColor(TColor colour) {
  const TColor rgb = ColorToRGB(colour);
  return (static_cast<uint32_t>(GetRValue(rgb)) << 16) | (static_cast<uint32_t>(GetGValue(rgb)) << 8) |
         GetBValue(rgb);
}

}  // namespace

// ---- layout -------------------------------------------------------------------

TSkButtonLayoutResult CalcSpeedButtonLayout(const TRect& client, TSize glyphSize, TSize captionSize,
                                            TSkButtonLayout layout, int margin, int spacing) {
  const int width = static_cast<int>(RectWidth(client));
  const int height = static_cast<int>(RectHeight(client));
  TPoint glyph{0, 0};
  TPoint caption{0, 0};
  if (glyphSize.Width == 0 || glyphSize.Height == 0) {
    glyphSize = TSize{0, 0};
    caption = TPoint{(width - captionSize.Width) / 2, (height - captionSize.Height) / 2};
  } else if (layout == blGlyphLeft || layout == blGlyphRight) {
    glyph.Y = (height - glyphSize.Height) / 2;
    caption.Y = (height - captionSize.Height) / 2;
    const TAxisPlacement along =
        PlaceAlong(width, glyphSize.Width, captionSize.Width, layout == blGlyphLeft, margin, spacing);
    glyph.X = along.Glyph;
    caption.X = along.Caption;
  } else {
    glyph.X = (width - glyphSize.Width) / 2;
    caption.X = (width - captionSize.Width) / 2;
    const TAxisPlacement along =
        PlaceAlong(height, glyphSize.Height, captionSize.Height, layout == blGlyphTop, margin, spacing);
    glyph.Y = along.Glyph;
    caption.Y = along.Caption;
  }
  TSkButtonLayoutResult result;
  result.GlyphRect = TRect{client.Left + glyph.X, client.Top + glyph.Y, client.Left + glyph.X + glyphSize.Width,
                           client.Top + glyph.Y + glyphSize.Height};
  result.CaptionRect =
      TRect{client.Left + caption.X, client.Top + caption.Y, client.Left + caption.X + captionSize.Width,
            client.Top + caption.Y + captionSize.Height};
  return result;
}

bool IsAcceleratorOf(wchar_t character, const std::wstring& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    // "&&" is a literal ampersand.
    if (caption[i + 1] == L'&') {
      ++i;
      continue;
    }
    const auto upper = [](wchar_t c) {
      return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)))));
    };
    return upper(caption[i + 1]) == upper(character);
  }
  return false;
}

// ---- TSkSpeedButton -------------------------------------------------------------

TSkSpeedButton::TSkSpeedButton(TComponent* owner) : TSkGraphicControl(owner) {
  // The button decides what a click is (groups, the chevron, the timer), so
  // the framework's own click detection is off.
  SetControlStyle(csCaptureMouse | csDoubleClicks | csOpaque);
  SetBounds(0, 0, 29, 29);
}

TSkSpeedButton::~TSkSpeedButton() = default;

void TSkSpeedButton::SetGlyph(const TBitmap& value) {
  if (value.Empty()) {
    glyph_.Clear();
  } else {
    glyph_.Assign(value);
    if (glyph_.Height() > 0 && glyph_.Width() % glyph_.Height() == 0) {
      const int count = glyph_.Width() / glyph_.Height();
      numGlyphs_ = count < 5 ? std::max(count, 1) : 1;
    }
  }
  Invalidate();
}

void TSkSpeedButton::LoadGlyphFromStream(TStream& stream) {
  if (stream.Size() - stream.Position() <= 0) {
    SetGlyph(TBitmap());
    return;
  }
  TBitmap picture;
  picture.LoadFromStream(stream);
  SetGlyph(picture);
}

void TSkSpeedButton::SetNumGlyphs(int value) {
  value = std::clamp(value, 1, 4);
  if (numGlyphs_ == value) return;
  numGlyphs_ = value;
  Invalidate();
}

void TSkSpeedButton::SetImageIndex(int value) {
  if (imageIndex_ == value) return;
  imageIndex_ = value;
  Invalidate();
}

void TSkSpeedButton::SetImages(TImageList* value) {
  if (images_ == value) return;
  images_ = value;
  Invalidate();
}

void TSkSpeedButton::Notification(TComponent* component, TOperation operation) {
  TSkGraphicControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == images_) {
    images_ = nullptr;
    Invalidate();
  }
  if (component == chevronMenu_) chevronMenu_ = nullptr;
  if (component == dropDownMenu_) dropDownMenu_ = nullptr;
}

void TSkSpeedButton::SetLayout(TSkButtonLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  Invalidate();
}

void TSkSpeedButton::SetMargin(int value) {
  value = std::max(value, -1);
  if (margin_ == value) return;
  margin_ = value;
  Invalidate();
}

void TSkSpeedButton::SetSpacing(int value) {
  value = std::max(value, -1);
  if (spacing_ == value) return;
  spacing_ = value;
  Invalidate();
}

void TSkSpeedButton::SetFlat(bool value) {
  if (flat_ == value) return;
  flat_ = value;
  Invalidate();
}

void TSkSpeedButton::SetDown(bool value) {
  if (!value) {
    pressState_ = kPressUp;
  } else if (groupIndex_ != 0) {
    pressState_ = kPressLatched;
  } else {
    pressState_ = MouseInControl() ? kPressDown : kPressUp;
  }
  down_ = value;
  if (value) NotifyGroup();
  Invalidate();
}

void TSkSpeedButton::SetGroupIndex(int value) {
  if (groupIndex_ == value) return;
  groupIndex_ = value;
  if (down_ && groupIndex_ != 0) SetDown(true);
}

void TSkSpeedButton::SetAllowAllUp(bool value) {
  if (allowAllUp_ == value) return;
  allowAllUp_ = value;
  // The whole group shares the setting.
  NotifyGroup();
}

void TSkSpeedButton::NotifyGroup() {
  if (groupIndex_ == 0 || Parent() == nullptr) return;
  TMessage message{CM_SKBUTTONPRESSED, static_cast<WPARAM>(groupIndex_), reinterpret_cast<LPARAM>(this), 0};
  Parent()->Broadcast(message);
}

void TSkSpeedButton::GroupButtonPressed(int groupIndex, TSkSpeedButton* sender) {
  if (sender == this || groupIndex != groupIndex_) return;
  if (sender->Down() && down_) {
    down_ = false;
    pressState_ = kPressUp;
    Invalidate();
  }
  allowAllUp_ = sender->AllowAllUp();
}

void TSkSpeedButton::SetAllowTimer(bool value) {
  allowTimer_ = value;
  if (!value) StopRepeat();
}

void TSkSpeedButton::SetShowCaption(bool value) {
  if (showCaption_ == value) return;
  showCaption_ = value;
  Invalidate();
}

void TSkSpeedButton::SetShowGlyph(bool value) {
  if (showGlyph_ == value) return;
  showGlyph_ = value;
  Invalidate();
}

void TSkSpeedButton::SetShowChevron(bool value) {
  if (showChevron_ == value) return;
  showChevron_ = value;
  Invalidate();
}

void TSkSpeedButton::SetBlackAndWhiteGlyph(bool value) {
  if (blackAndWhiteGlyph_ == value) return;
  blackAndWhiteGlyph_ = value;
  Invalidate();
}

void TSkSpeedButton::SetTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  // Only an opaque button may have its parent skip the area under it.
  SetControlStyle(value ? (ControlStyle() & ~csOpaque) : (ControlStyle() | csOpaque));
  Invalidate();
}

void TSkSpeedButton::Click() {
  if (pressState_ == kPressChevron) return;
  TSkGraphicControl::Click();
}

// ---- mouse --------------------------------------------------------------------------

void TSkSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TSkGraphicControl::MouseDown(button, shift, x, y);
  mouseHeld_ = true;
  if (button != mbLeft || !Enabled()) return;
  if ((shift & ssDouble) != 0 && down_ && OnDblClick) OnDblClick(this);
  if (showChevron_ && x >= Width() - kSkChevronWidth) {
    pressState_ = kPressChevron;
    Invalidate();
    if (OnChevronClick) OnChevronClick(this);
    return;
  }
  pressState_ = kPressDown;
  Invalidate();
  if (allowTimer_) StartRepeat();
}

void TSkSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TSkGraphicControl::MouseUp(button, shift, x, y);
  mouseHeld_ = false;
  StopRepeat();
  const bool inside = x >= 0 && x < Width() && y >= 0 && y <= Height();
  // Only the left button that pressed the button clicks it: a right-button
  // release over a latched button must not run its click.
  const bool click = button == mbLeft && Enabled() && inside &&
                     (pressState_ == kPressDown || pressState_ == kPressLatched);
  const bool chevronReleased = pressState_ == kPressChevron;
  if (chevronReleased || !down_) pressState_ = kPressUp;
  if (chevronReleased) {
    Invalidate();
    if (chevronMenu_ != nullptr) {
      const TPoint at = ClientToScreen(menuPosition_ == dmpRight ? TPoint{Width(), 0} : TPoint{0, Height()});
      chevronMenu_->Popup(at.X, at.Y);
    }
    return;
  }
  if (click) {
    if (!down_ && groupIndex_ != 0) {
      SetDown(true);
    } else if (allowAllUp_) {
      SetDown(false);
    } else if (groupIndex_ != 0) {
      pressState_ = kPressLatched;
    }
    Click();
    if (dropDownMenu_ != nullptr) {
      Invalidate();
      const TPoint at = ClientToScreen(TPoint{0, Height()});
      dropDownMenu_->Popup(at.X, at.Y);
    }
  }
  Invalidate();
}

void TSkSpeedButton::MouseEnter() {
  SetMouseInControl(true);
  // Pressed, dragged out and back: pressed again.
  if (mouseHeld_ && Enabled() && pressState_ != kPressChevron && HoldsCapture()) pressState_ = kPressDown;
  if (OnMouseEnter) OnMouseEnter(this);
  Invalidate();
}

void TSkSpeedButton::MouseLeave() {
  SetMouseInControl(false);
  if (down_ && groupIndex_ != 0) {
    pressState_ = kPressLatched;
  } else if (pressState_ != kPressChevron) {
    pressState_ = kPressUp;
  }
  if (OnMouseLeave) OnMouseLeave(this);
  Invalidate();
}

bool TSkSpeedButton::HoldsCapture() const {
  TPoint offset;
  TWinControl* host = HostWindow(&offset);
  return host != nullptr && host->HandleAllocated() && GetCapture() == host->Handle();
}

void TSkSpeedButton::StartRepeat() {
  repeatTimer_ = std::make_unique<TTimer>(nullptr);
  repeatTimer_->SetInterval(kRepeatFirstDelay);
  repeatTimer_->OnTimer = [this](TObject* sender) { RepeatTimer(sender); };
}

void TSkSpeedButton::StopRepeat() { repeatTimer_.reset(); }

void TSkSpeedButton::RepeatTimer(TObject*) {
  if (repeatTimer_ == nullptr) return;
  if (repeatTimer_->Interval() != kRepeatInterval) repeatTimer_->SetInterval(kRepeatInterval);
  if (pressState_ == kPressDown && mouseHeld_ && HoldsCapture()) {
    Click();
  } else if (!mouseHeld_) {
    StopRepeat();
  }
}

void TSkSpeedButton::WndProc(TMessage& message) {
  switch (message.Msg) {
    case CM_ENABLEDCHANGED:
      pressState_ = (down_ && groupIndex_ != 0) ? kPressLatched : kPressUp;
      if (!Enabled()) {
        mouseHeld_ = false;
        StopRepeat();
      }
      Invalidate();
      return;
    case CM_SKBUTTONPRESSED:
      GroupButtonPressed(static_cast<int>(message.WParam), reinterpret_cast<TSkSpeedButton*>(message.LParam));
      return;
    case CM_DIALOGCHAR:
      if (Enabled() && Visible() && Parent() != nullptr && Parent()->Showing() &&
          IsAcceleratorOf(static_cast<wchar_t>(message.WParam), Caption())) {
        Click();
        message.Result = 1;
        return;
      }
      break;
    default:
      break;
  }
  TSkGraphicControl::WndProc(message);
}

// ---- painting -------------------------------------------------------------------

uint8_t TSkSpeedButton::ToolItemState() const {
  if (!Enabled()) return 3;
  if (pressState_ == kPressDown) return 2;
  const bool latched = pressState_ == kPressLatched;
  if (MouseInControl()) return latched ? 6 : 1;
  return latched ? 5 : 0;
}

uint8_t TSkSpeedButton::ContentState() const {
  if (!Enabled()) return 3;
  if (flat_) {
    if (pressState_ == kPressDown || pressState_ == kPressLatched) return 2;
    return MouseInControl() ? 1 : 0;
  }
  return pressState_ == kPressDown ? 2 : 0;
}

int TSkSpeedButton::VisualStyleState() const {
  if (!Enabled()) return TS_DISABLED;
  const bool latched = pressState_ == kPressLatched;
  if (pressState_ == kPressDown) return TS_PRESSED;
  if (flat_) {
    if (MouseInControl()) return latched ? TS_HOTCHECKED : TS_HOT;
    return latched ? TS_CHECKED : TS_NORMAL;
  }
  return latched ? TS_CHECKED : TS_HOT;
}

TRect TSkSpeedButton::ButtonRect() const {
  TRect rect{0, 0, Width(), Height()};
  if (showChevron_) rect.Right = std::max(rect.Left, rect.Right - kSkChevronWidth);
  return rect;
}

TRect TSkSpeedButton::ChevronRect() const {
  return TRect{std::max(0, Width() - kSkChevronWidth), 0, Width(), Height()};
}

void TSkSpeedButton::BuildGlyph(TskBitmap& target) const {
  if (!showGlyph_) return;
  // The working picture and the colour that stands for "no pixel" in it.
  TBitmap listImage;
  const TBitmap* picture = nullptr;
  int count = numGlyphs_;
  TColor transparentColor = clNone;
  if (!glyph_.Empty()) {
    picture = &glyph_;
    transparentColor = glyph_.TransparentColor();
  } else if (images_ != nullptr && imageIndex_ >= 0 && imageIndex_ < images_->Count()) {
    // An image list leaves its masked pixels as they were: magenta.
    listImage.SetSize(images_->Width(), images_->Height());
    listImage.Canvas().Brush().SetColor(clFuchsia);
    listImage.Canvas().FillRect(TRect{0, 0, listImage.Width(), listImage.Height()});
    images_->GetBitmap(imageIndex_, listImage);
    picture = &listImage;
    transparentColor = clFuchsia;
    count = 1;
  }
  if (picture == nullptr) return;
  const int subWidth = picture->Width() / count;
  const int subHeight = picture->Height();
  if (subWidth <= 0 || subHeight <= 0) return;
  const int index = SubPictureIndex(count, Enabled(), pressState_);
  const uint32_t transparent = transparentColor == clNone ? 0xFFFFFFFFu : PixelOfColor(transparentColor);
  const bool blackAndWhite = blackAndWhiteGlyph_ && !MouseInControl();
  const bool disabledGrey = count == 1 && !Enabled();
  target.SetSize(subWidth, subHeight);
  target.Fill(kKeyPixel);
  target.Transparent = true;
  target.AlphaBlend = false;
  const uint32_t* bits = picture->Pixels();
  for (int y = 0; y < subHeight; ++y) {
    const uint32_t* row = bits + static_cast<size_t>(y) * picture->Width() + static_cast<size_t>(index) * subWidth;
    TskPixel* out = target.Row(y);
    for (int x = 0; x < subWidth; ++x) {
      const uint32_t colour = row[x] & 0x00FFFFFFu;
      if (colour == transparent) continue;
      TskPixel pixel = 0xFF000000u | colour;
      if (blackAndWhite || disabledGrey) {
        const double lightness = RgbToHsl(pixel).Lightness;
        const int grey = blackAndWhite ? Near(lightness * 255) : 160 + Near(lightness * 50);
        pixel = MakePixel(grey, grey, grey, 255);
      }
      out[x] = pixel;
    }
  }
}

void TSkSpeedButton::PaintBackground(HDC dc) {
  if (transparent_) {
    PaintParentBackground(this, dc);
  } else {
    FillRectColor(dc, TRect{0, 0, Width(), Height()}, Color());
  }
}

void TSkSpeedButton::PaintChevronArrow(HDC dc, const TRect& rect, TColor colour) {
  // A small triangle pointing the way the menu opens.
  const int cx = static_cast<int>(rect.Left + RectWidth(rect) / 2);
  const int cy = static_cast<int>(rect.Top + RectHeight(rect) / 2);
  for (int i = 0; i < 3; ++i) {
    if (menuPosition_ == dmpRight) {
      FillRectColor(dc, TRect{cx - 1 + i, cy - 2 + i, cx + i, cy + 3 - i}, colour);
    } else {
      FillRectColor(dc, TRect{cx - 2 + i, cy - 1 + i, cx + 3 - i, cy + i}, colour);
    }
  }
}

void TSkSpeedButton::PaintContent(TCanvas& canvas) {
  // Painting the parent's background under the button paints the parent's
  // children too: the button's own copy there is hidden by what follows.
  if (IsPaintingCopy(this)) return;
  TskBitmap glyph;
  BuildGlyph(glyph);
  const TSize glyphSize = glyph.IsEmpty() ? TSize{0, 0} : TSize{glyph.Width(), glyph.Height()};
  TskTheme* theme = Theme();
  const bool themed = theme != nullptr && DefinesToolBarObject(1, ThemeObject(), ThemeLink());
  if (themed) {
    // The caption is measured in the font it is drawn with.
    static constexpr std::array<int, 4> kFonts{fiButtonTextNormal, fiButtonTextHot, fiButtonTextPressed,
                                               fiButtonTextDisabled};
    canvas.Font().Assign(theme->Fonts().FontFor(kFonts[ContentState()], ThemeObject()));
  }
  const std::wstring& caption = Caption();
  const TSize captionSize = showCaption_ ? CaptionExtent(canvas, caption) : TSize{0, 0};
  const TSkButtonLayoutResult layout =
      CalcSpeedButtonLayout(ButtonRect(), glyphSize, captionSize, layout_, margin_, spacing_);
  if (themed) {
    PaintThemed(canvas, *theme, glyph, layout);
  } else if (VisualStylesActive()) {
    PaintVisualStyle(canvas, glyph, layout);
  } else {
    PaintClassic(canvas, glyph, layout);
  }
}

void TSkSpeedButton::PaintThemed(TCanvas& canvas, TskTheme& theme, const TskBitmap& glyph,
                                 const TSkButtonLayoutResult& layout) {
  const std::string& object = ThemeObject();
  const TRect bounds{0, 0, Width(), Height()};
  canvas.WithHandle([&](HDC dc) { PaintParentBackground(this, dc); });
  theme.PaintToolItem(1, canvas, object, MakePartRecord(bounds, showChevron_ ? tipSeparator : tipButton,
                                                        ToolItemState()));
  const TskPartRecord content = MakePartRecord(bounds, tipButton, ContentState());
  if (!glyph.IsEmpty()) {
    theme.PaintToolItemGlyph(1, canvas, object, MakeGlyphRecord(layout.GlyphRect, &glyph, gkBitmap), content);
  }
  if (showCaption_ && !Caption().empty()) {
    theme.PaintToolItemText(1, canvas, object, MakeTextInfo(layout.CaptionRect, Caption(), kCaptionFormat), content);
  }
  if (showChevron_) {
    theme.PaintToolItem(1, canvas, object,
                        MakePartRecord(ChevronRect(), tipDropDown, pressState_ == kPressChevron ? 2 : 0));
  }
}

void TSkSpeedButton::PaintVisualStyle(TCanvas& canvas, const TskBitmap& glyph, const TSkButtonLayoutResult& layout) {
  canvas.WithHandle([&](HDC dc) {
    PaintBackground(dc);
    DrawVisualStylePart(dc, L"Toolbar", TP_BUTTON, VisualStyleState(), ButtonRect());
    if (showChevron_) {
      DrawVisualStylePart(dc, L"Toolbar", TP_SPLITBUTTONDROPDOWN,
                          pressState_ == kPressChevron ? TS_PRESSED : VisualStyleState(), ChevronRect());
    }
    if (!glyph.IsEmpty()) glyph.Draw(dc, layout.GlyphRect.Left, layout.GlyphRect.Top);
  });
  if (showCaption_ && !Caption().empty()) {
    TRect rect = layout.CaptionRect;
    DrawClassicText(canvas, Caption(), rect, kCaptionFormat, Enabled());
  }
}

void TSkSpeedButton::PaintClassic(TCanvas& canvas, const TskBitmap& glyph, const TSkButtonLayoutResult& layout) {
  const TRect button = ButtonRect();
  const bool pushed = pressState_ == kPressDown || pressState_ == kPressLatched;
  canvas.WithHandle([&](HDC dc) {
    PaintBackground(dc);
    if (!flat_) {
      RECT r{button.Left, button.Top, button.Right, button.Bottom};
      DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    } else {
      if (Enabled() && pressState_ == kPressLatched && !MouseInControl()) {
        // The latched face: a checker of face and highlight.
        const TColor face = ColorToRGB(clBtnFace);
        const TColor light = ColorToRGB(clBtnHighlight);
        for (int y = button.Top + 1; y < button.Bottom - 1; ++y) {
          for (int x = button.Left + 1; x < button.Right - 1; ++x) {
            SetPixelV(dc, x, y, ((x + y) & 1) != 0 ? light : face);
          }
        }
      }
      const bool framed = Enabled() && (pushed || MouseInControl() || pressState_ == kPressChevron || mouseHeld_);
      if (framed) {
        if (pushed) {
          Edge3D(dc, button, clBtnShadow, clBtnHighlight);
        } else {
          Edge3D(dc, button, clBtnHighlight, clBtnShadow);
        }
      }
    }
    if (showChevron_) {
      const TRect chevron = ChevronRect();
      if (!flat_ || (Enabled() && (MouseInControl() || pressState_ == kPressChevron))) {
        if (pressState_ == kPressChevron) {
          Edge3D(dc, chevron, clBtnShadow, clBtnHighlight);
        } else {
          Edge3D(dc, chevron, clBtnHighlight, clBtnShadow);
        }
      }
      PaintChevronArrow(dc, chevron, Enabled() ? clBtnText : clBtnShadow);
    }
    if (!glyph.IsEmpty()) glyph.Draw(dc, layout.GlyphRect.Left, layout.GlyphRect.Top);
  });
  if (showCaption_ && !Caption().empty()) {
    TRect rect = layout.CaptionRect;
    DrawClassicText(canvas, Caption(), rect, kCaptionFormat, Enabled());
  }
}
