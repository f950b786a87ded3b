#include "skin/controls/sk_scroll_bar.h"

#include <vssym32.h>

#include <algorithm>

#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"

namespace {

// A thumb never gets shorter than this, so that it stays easy to grab on a
// long range.
constexpr int kMinThumbLength = 8;
// Holding an arrow or the track repeats its step: first after a pause, then
// at a steady pace.
constexpr unsigned kRepeatDelay = 400;
constexpr unsigned kRepeatInterval = 100;

// The theme's scroll-bar parts (the low byte of the record; the high byte
// carries the button state). Tracks: 0 vertical, 1 horizontal.
constexpr uint8_t kThemeArrowUp = 0;
constexpr uint8_t kThemeArrowDown = 1;
constexpr uint8_t kThemeArrowLeft = 4;
constexpr uint8_t kThemeArrowRight = 5;
constexpr uint8_t kThemeThumbHorizontal = 8;
constexpr uint8_t kThemeThumbVertical = 9;
constexpr uint8_t kThemeTrackVertical = 0;
constexpr uint8_t kThemeTrackHorizontal = 1;

constexpr uint8_t kStateNormal = 0;
constexpr uint8_t kStateHot = 1;
constexpr uint8_t kStatePressed = 2;
constexpr uint8_t kStateDisabled = 3;

RECT ToRect(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

}  // namespace

TSkScrollBar::TSkScrollBar(TComponent* owner) : TSkGraphicControl(owner) {
  SetBounds(0, 0, GetSystemMetrics(SM_CXVSCROLL), 121);
  repeatTimer_ = std::make_unique<TTimer>(nullptr);
  repeatTimer_->SetEnabled(false);
  repeatTimer_->OnTimer = [this](TObject* sender) { OnRepeatTimer(sender); };
}

TSkScrollBar::~TSkScrollBar() { repeatTimer_->SetEnabled(false); }

void TSkScrollBar::SetKind(TSkScrollBarKind value) {
  if (kind_ == value) return;
  kind_ = value;
  Invalidate();
}

void TSkScrollBar::SetFlat(bool value) {
  if (flat_ == value) return;
  flat_ = value;
  Invalidate();
}

int TSkScrollBar::MaxPosition() const {
  const int64_t last = int64_t{max_} - std::max(pageSize_ - 1, 0);
  return static_cast<int>(std::max<int64_t>(last, min_));
}

void TSkScrollBar::SetParams(int position, int min, int max) {
  max = std::max(max, min);
  const bool rangeChanged = min != min_ || max != max_;
  min_ = min;
  max_ = max;
  position = std::clamp(position, min_, MaxPosition());
  if (!rangeChanged && position == position_) return;
  position_ = position;
  Invalidate();
}

void TSkScrollBar::SetPageSize(int value) {
  value = std::max(value, 0);
  if (pageSize_ == value) return;
  pageSize_ = value;
  position_ = std::clamp(position_, min_, MaxPosition());
  Invalidate();
}

// ---- geometry -------------------------------------------------------------------

int TSkScrollBar::ArrowLength() const {
  const int platform = GetSystemMetrics(Vertical() ? SM_CYVSCROLL : SM_CXHSCROLL);
  return std::min(platform, Length() / 2);
}

TRect TSkScrollBar::ArrowRect(bool lineUp) const {
  const int arrow = ArrowLength();
  if (Vertical()) {
    return lineUp ? TRect{0, 0, Width(), arrow} : TRect{0, Height() - arrow, Width(), Height()};
  }
  return lineUp ? TRect{0, 0, arrow, Height()} : TRect{Width() - arrow, 0, Width(), Height()};
}

TRect TSkScrollBar::TrackRect() const {
  const int arrow = ArrowLength();
  return Vertical() ? TRect{0, arrow, Width(), Height() - arrow} : TRect{arrow, 0, Width() - arrow, Height()};
}

int TSkScrollBar::ThumbLength() const {
  const TRect track = TrackRect();
  const int trackLength = static_cast<int>(Vertical() ? RectHeight(track) : RectWidth(track));
  if (MaxPosition() <= min_ || trackLength <= 0) return 0;
  int length = 0;
  if (pageSize_ > 0) {
    // The thumb shows the page's share of the whole range.
    const int64_t range = int64_t{max_} - min_ + 1;
    length = static_cast<int>(int64_t{trackLength} * pageSize_ / range);
  } else {
    length = GetSystemMetrics(Vertical() ? SM_CYVTHUMB : SM_CXHTHUMB);
  }
  length = std::max(length, kMinThumbLength);
  return length <= trackLength ? length : 0;
}

TRect TSkScrollBar::ThumbRect() const {
  const int length = ThumbLength();
  if (length == 0) return TRect{};
  const TRect track = TrackRect();
  const int trackStart = Vertical() ? track.Top : track.Left;
  const int trackLength = static_cast<int>(Vertical() ? RectHeight(track) : RectWidth(track));
  const int64_t steps = int64_t{MaxPosition()} - min_;
  const int start = trackStart + static_cast<int>((int64_t{trackLength} - length) * (position_ - min_) / steps);
  return Vertical() ? TRect{0, start, Width(), start + length} : TRect{start, 0, start + length, Height()};
}

TSkScrollBarPart TSkScrollBar::PartAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return sbpNone;
  if (PointInRect(ArrowRect(true), x, y)) return sbpLineUp;
  if (PointInRect(ArrowRect(false), x, y)) return sbpLineDown;
  const TRect thumb = ThumbRect();
  // Without a thumb nothing can scroll, so the track takes no clicks.
  if (IsRectEmpty(thumb)) return sbpNone;
  if (PointInRect(thumb, x, y)) return sbpThumb;
  const int along = Along(x, y);
  return along < (Vertical() ? thumb.Top : thumb.Left) ? sbpPageUp : sbpPageDown;
}

// ---- scrolling ------------------------------------------------------------------

void TSkScrollBar::Report(int code) {
  if (OnScroll) OnScroll(this, code, position_);
}

bool TSkScrollBar::Step(int delta, int code) {
  const int target = static_cast<int>(std::clamp<int64_t>(int64_t{position_} + delta, min_, MaxPosition()));
  if (target == position_) return false;
  position_ = target;
  Invalidate();
  Report(code);
  return true;
}

void TSkScrollBar::RepeatHeldPart() {
  // Steps only while the mouse stays on the part it pressed: a page step
  // ends when the thumb has reached the mouse.
  if (PartAt(lastMouse_.X, lastMouse_.Y) != heldPart_) return;
  const int page = pageSize_ > 0 ? pageSize_ : std::max(1, (max_ - min_ + 1) / 10);
  switch (heldPart_) {
    case sbpLineUp: Step(-1, SB_LINEUP); break;
    case sbpLineDown: Step(1, SB_LINEDOWN); break;
    case sbpPageUp: Step(-page, SB_PAGEUP); break;
    case sbpPageDown: Step(page, SB_PAGEDOWN); break;
    case sbpNone:
    case sbpThumb: break;
  }
}

void TSkScrollBar::StartRepeat() {
  repeatTimer_->SetInterval(kRepeatDelay);
  repeatTimer_->SetEnabled(true);
}

void TSkScrollBar::StopRepeat() { repeatTimer_->SetEnabled(false); }

void TSkScrollBar::OnRepeatTimer(TObject*) {
  if (heldPart_ == sbpNone || heldPart_ == sbpThumb) {
    StopRepeat();
    return;
  }
  repeatTimer_->SetInterval(kRepeatInterval);
  RepeatHeldPart();
}

void TSkScrollBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TSkGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled()) return;
  lastMouse_ = TPoint{x, y};
  heldPart_ = PartAt(x, y);
  if (heldPart_ == sbpThumb) {
    const TRect thumb = ThumbRect();
    thumbGrab_ = Along(x, y) - (Vertical() ? thumb.Top : thumb.Left);
  } else if (heldPart_ != sbpNone) {
    RepeatHeldPart();
    StartRepeat();
  }
  Invalidate();
}

void TSkScrollBar::MouseMove(TShiftState shift, int x, int y) {
  TSkGraphicControl::MouseMove(shift, x, y);
  const bool wasInside = PartAt(lastMouse_.X, lastMouse_.Y) == heldPart_;
  lastMouse_ = TPoint{x, y};
  if (heldPart_ == sbpThumb) {
    const TRect track = TrackRect();
    const int trackStart = Vertical() ? track.Top : track.Left;
    const int free = static_cast<int>(Vertical() ? RectHeight(track) : RectWidth(track)) - ThumbLength();
    if (free <= 0) return;
    const int64_t offset = std::clamp<int64_t>(int64_t{Along(x, y)} - thumbGrab_ - trackStart, 0, free);
    const int64_t steps = int64_t{MaxPosition()} - min_;
    // Rounded to the nearest position, so the thumb lands where it is let go.
    const int target = min_ + static_cast<int>((offset * steps + free / 2) / free);
    if (target != position_) {
      position_ = target;
      Invalidate();
      Report(SB_THUMBTRACK);
    }
    return;
  }
  if (heldPart_ != sbpNone) {
    if ((PartAt(x, y) == heldPart_) != wasInside) Invalidate();
    return;
  }
  const TSkScrollBarPart hot = PartAt(x, y);
  if (hot != hotPart_) {
    hotPart_ = hot;
    Invalidate();
  }
}

void TSkScrollBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TSkGraphicControl::MouseUp(button, shift, x, y);
  if (button != mbLeft || heldPart_ == sbpNone) return;
  StopRepeat();
  if (heldPart_ == sbpThumb) Report(SB_THUMBPOSITION);
  heldPart_ = sbpNone;
  hotPart_ = PartAt(x, y);
  Invalidate();
  Report(SB_ENDSCROLL);
}

void TSkScrollBar::MouseLeave() {
  hotPart_ = sbpNone;
  TSkGraphicControl::MouseLeave();
}

void TSkScrollBar::SetEnabled(bool enabled) {
  if (!enabled) {
    StopRepeat();
    heldPart_ = sbpNone;
    hotPart_ = sbpNone;
  }
  TSkGraphicControl::SetEnabled(enabled);
}

// ---- painting -------------------------------------------------------------------

uint8_t TSkScrollBar::PartState(TSkScrollBarPart part) const {
  if (!Enabled()) return kStateDisabled;
  if (heldPart_ == part) {
    // A held arrow looks pressed only while the mouse is on it; a dragged
    // thumb always does.
    if (part == sbpThumb || PartAt(lastMouse_.X, lastMouse_.Y) == part) return kStatePressed;
    return kStateNormal;
  }
  if (heldPart_ == sbpNone && hotPart_ == part) return kStateHot;
  return kStateNormal;
}

void TSkScrollBar::PaintContent(TCanvas& canvas) {
  if (DefinesScrollBarObject(0, ThemeObject(), ThemeLink()) && Theme() != nullptr) {
    PaintThemed(canvas);
    return;
  }
  HDC dc = canvas.Handle();
  if (VisualStylesActive()) {
    PaintStyled(dc);
    return;
  }
  PaintClassic(dc);
}

void TSkScrollBar::PaintThemed(TCanvas& canvas) {
  TskTheme& theme = *Theme();
  const std::string& object = ThemeObject();
  if (theme.ScrollBarTransparent(0, object)) PaintParentBackground(this, canvas.Handle());
  theme.PaintScrollBarTrack(0, canvas, object,
                            MakeCodedRecord(TrackRect(), Vertical() ? kThemeTrackVertical : kThemeTrackHorizontal, 0));
  theme.PaintScrollBarPart(
      0, canvas, object,
      MakeCodedRecord(ArrowRect(true), Vertical() ? kThemeArrowUp : kThemeArrowLeft, PartState(sbpLineUp)));
  theme.PaintScrollBarPart(
      0, canvas, object,
      MakeCodedRecord(ArrowRect(false), Vertical() ? kThemeArrowDown : kThemeArrowRight, PartState(sbpLineDown)));
  const TRect thumb = ThumbRect();
  // The theme draws the gripper on the thumb when it fits there.
  if (!IsRectEmpty(thumb)) {
    theme.PaintScrollBarPart(
        0, canvas, object,
        MakeCodedRecord(thumb, Vertical() ? kThemeThumbVertical : kThemeThumbHorizontal, PartState(sbpThumb)));
  }
}

void TSkScrollBar::PaintStyled(HDC dc) {
  // The visual style's arrow states come in groups of four per direction:
  // normal, hot, pressed, disabled.
  const int upBase = Vertical() ? ABS_UPNORMAL : ABS_LEFTNORMAL;
  const int downBase = Vertical() ? ABS_DOWNNORMAL : ABS_RIGHTNORMAL;
  if (!DrawVisualStylePart(dc, L"Scrollbar", SBP_ARROWBTN, upBase + PartState(sbpLineUp), ArrowRect(true))) {
    PaintClassic(dc);
    return;
  }
  DrawVisualStylePart(dc, L"Scrollbar", SBP_ARROWBTN, downBase + PartState(sbpLineDown), ArrowRect(false));
  const TRect track = TrackRect();
  const TRect thumb = ThumbRect();
  const int trackState = Enabled() ? SCRBS_NORMAL : SCRBS_DISABLED;
  const int upperPart = Vertical() ? SBP_UPPERTRACKVERT : SBP_UPPERTRACKHORZ;
  const int lowerPart = Vertical() ? SBP_LOWERTRACKVERT : SBP_LOWERTRACKHORZ;
  if (IsRectEmpty(thumb)) {
    DrawVisualStylePart(dc, L"Scrollbar", upperPart, trackState, track);
    return;
  }
  TRect upper = track;
  TRect lower = track;
  if (Vertical()) {
    upper.Bottom = thumb.Top;
    lower.Top = thumb.Bottom;
  } else {
    upper.Right = thumb.Left;
    lower.Left = thumb.Right;
  }
  const int upperState = PartState(sbpPageUp) == kStatePressed ? SCRBS_PRESSED : trackState;
  const int lowerState = PartState(sbpPageDown) == kStatePressed ? SCRBS_PRESSED : trackState;
  if (!IsRectEmpty(upper)) DrawVisualStylePart(dc, L"Scrollbar", upperPart, upperState, upper);
  if (!IsRectEmpty(lower)) DrawVisualStylePart(dc, L"Scrollbar", lowerPart, lowerState, lower);
  const int thumbState = SCRBS_NORMAL + PartState(sbpThumb);
  DrawVisualStylePart(dc, L"Scrollbar", Vertical() ? SBP_THUMBBTNVERT : SBP_THUMBBTNHORZ, thumbState, thumb);
  DrawVisualStylePart(dc, L"Scrollbar", Vertical() ? SBP_GRIPPERVERT : SBP_GRIPPERHORZ, thumbState, thumb);
}

void TSkScrollBar::PaintClassic(HDC dc) {
  const UINT flat = flat_ ? DFCS_FLAT : 0;
  auto arrow = [&](TSkScrollBarPart part, UINT direction, const TRect& rect) {
    if (IsRectEmpty(rect)) return;
    UINT state = direction | flat;
    const uint8_t look = PartState(part);
    if (look == kStateDisabled) state |= DFCS_INACTIVE;
    // The platform's own bars show a held arrow pushed and flat.
    if (look == kStatePressed) state |= DFCS_PUSHED | DFCS_FLAT;
    RECT r = ToRect(rect);
    DrawFrameControl(dc, &r, DFC_SCROLL, state);
  };
  arrow(sbpLineUp, Vertical() ? DFCS_SCROLLUP : DFCS_SCROLLLEFT, ArrowRect(true));
  arrow(sbpLineDown, Vertical() ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT, ArrowRect(false));

  const TRect track = TrackRect();
  FillRectColor(dc, track, clScrollBar);
  const TRect thumb = ThumbRect();
  if (IsRectEmpty(thumb)) return;
  // The part of the track being paged through shows dark while held.
  if (PartState(sbpPageUp) == kStatePressed) {
    FillRectColor(dc, Vertical() ? TRect{track.Left, track.Top, track.Right, thumb.Top}
                                 : TRect{track.Left, track.Top, thumb.Left, track.Bottom},
                  cl3DDkShadow);
  } else if (PartState(sbpPageDown) == kStatePressed) {
    FillRectColor(dc, Vertical() ? TRect{track.Left, thumb.Bottom, track.Right, track.Bottom}
                                 : TRect{thumb.Right, track.Top, track.Right, track.Bottom},
                  cl3DDkShadow);
  }
  RECT r = ToRect(thumb);
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | flat);
}
