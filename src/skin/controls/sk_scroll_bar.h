// The skinned scroll bar: two arrows, a track and a thumb, painted through
// the theme's ScrollBar element, the platform's "Scrollbar" visual style, or
// the platform's classic scroll-bar frame controls.
//
// The bar keeps its own Position in step with the user's actions and tells
// its owner about each step through OnScroll, with the codes of the
// platform's scroll messages (SB_LINEUP ... SB_ENDSCROLL) and the new
// position. Setting Position from code reports nothing, so an owner can
// follow its own scrolling without hearing back from the bar.
//
// With a PageSize the positions run from Min to Max − PageSize + 1 (the last
// page ends at Max), as for the platform's scroll bars.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "forms/std_components.h"
#include "skin/controls/sk_controls.h"

enum TSkScrollBarKind : uint8_t { sbHorizontal, sbVertical };

// What the mouse is on or holds.
enum TSkScrollBarPart : uint8_t { sbpNone, sbpLineUp, sbpLineDown, sbpPageUp, sbpPageDown, sbpThumb };

// code: SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_THUMBTRACK,
// SB_THUMBPOSITION or SB_ENDSCROLL (the "up" codes also serve left);
// position: the bar's position after the step.
using TSkScrollEvent = std::function<void(TObject* sender, int code, int position)>;

class TSkScrollBar : public TSkGraphicControl {
 public:
  explicit TSkScrollBar(TComponent* owner);
  ~TSkScrollBar() override;

  TSkScrollBarKind Kind() const { return kind_; }
  void SetKind(TSkScrollBarKind value);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int PageSize() const { return pageSize_; }
  int Position() const { return position_; }
  void SetMin(int value) { SetParams(position_, value, max_); }
  void SetMax(int value) { SetParams(position_, min_, value); }
  // Clamped to the positions the range and page allow.
  void SetPosition(int value) { SetParams(value, min_, max_); }
  void SetPageSize(int value);
  // Range and position at once (max below min is taken as min).
  void SetParams(int position, int min, int max);
  // The highest position: Max − PageSize + 1, never below Min.
  int MaxPosition() const;
  // Classic arrows and thumb drawn flat instead of raised.
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  // Disabling also lets go of a held part.
  void SetEnabled(bool enabled) override;

  // Geometry in the bar's own coordinates (empty thumb when the track is too
  // short for one or nothing can scroll).
  TRect ArrowRect(bool lineUp) const;
  TRect TrackRect() const;
  TRect ThumbRect() const;
  TSkScrollBarPart PartAt(int x, int y) const;

  TSkScrollEvent OnScroll;

 protected:
  void PaintContent(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseLeave() override;

 private:
  bool Vertical() const { return kind_ == sbVertical; }
  // Length along the bar and breadth across it.
  int Length() const { return Vertical() ? Height() : Width(); }
  int ArrowLength() const;
  int ThumbLength() const;
  // Moves by delta positions and reports code; false when nothing moved.
  bool Step(int delta, int code);
  void Report(int code);
  // One step of the part held: a line, or a page toward the mouse.
  void RepeatHeldPart();
  void StartRepeat();
  void StopRepeat();
  void OnRepeatTimer(TObject* sender);
  // Along-the-bar coordinate of a point.
  int Along(int x, int y) const { return Vertical() ? y : x; }

  void PaintThemed(TCanvas& canvas);
  void PaintStyled(HDC dc);
  void PaintClassic(HDC dc);
  // 0 normal, 1 hot, 2 pressed, 3 disabled (the theme's button states).
  uint8_t PartState(TSkScrollBarPart part) const;

  TSkScrollBarKind kind_ = sbVertical;
  int min_ = 0;
  int max_ = 100;
  int pageSize_ = 0;
  int position_ = 0;
  bool flat_ = false;
  TSkScrollBarPart hotPart_ = sbpNone;
  TSkScrollBarPart heldPart_ = sbpNone;
  TPoint lastMouse_;   // where the mouse was last seen
  int thumbGrab_ = 0;  // distance from the thumb's start to the grab point
  std::unique_ptr<TTimer> repeatTimer_;
};
