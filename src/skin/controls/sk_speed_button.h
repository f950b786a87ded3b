// The skinned speed button: a non-windowed tool-bar button with a caption,
// a glyph of up to four sub-pictures, group latching, a repeat timer and an
// optional chevron strip.
//
// Its press state moves between up (0), pressed (2), latched down (3) and
// chevron pressed (4); disabled (1) is only a drawing state. The state
// changes with real mouse messages: a left press inside presses it, leaving
// while held lets it up (or latched when it is down in a group) and coming
// back presses it again; a release inside clicks it. A button that goes
// down in a group tells its siblings of the same GroupIndex to go up.
//
// Painting follows the family's three levels: the theme's ToolBar element
// when the theme defines it for the button's ThemeObject, else the
// platform's "Toolbar" visual style, else the classic flat or raised look.
// The 32-bit glyph is rebuilt on each paint from the working picture (Glyph,
// else the image of Images), which keeps it right for every state without a
// cache to invalidate.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "forms/graphics.h"
#include "forms/std_components.h"
#include "skin/controls/sk_controls.h"
#include "graphics/sk_bitmap.h"

class TSkPopupMenu;

enum TSkChevronPos : uint8_t { dmpBottom, dmpRight };

// Sent to the parent's controls when a grouped button goes down: WParam the
// GroupIndex, LParam the button that went down.
constexpr UINT CM_SKBUTTONPRESSED = CM_BASE + 0x40;

// Press states of a speed button.
enum : uint8_t {
  kPressUp = 0,
  kPressDisabled = 1,
  kPressDown = 2,
  kPressLatched = 3,
  kPressChevron = 4,
};

// The strip at the right-hand edge that opens the chevron menu.
constexpr int kSkChevronWidth = 14;

// Where glyph and caption go inside a client area (see CalcSpeedButtonLayout).
struct TSkButtonLayoutResult {
  TRect GlyphRect;
  TRect CaptionRect;
};

// Places a glyph of glyphSize and a caption of captionSize (either may be
// zero) inside client: beside each other for the left and right layouts,
// above each other for top and bottom. margin -1 centres both together;
// spacing -1 spreads the free room into equal gaps (with margin -1) or
// centres the caption in the room after the glyph. Halves go toward zero.
TSkButtonLayoutResult CalcSpeedButtonLayout(const TRect& client, TSize glyphSize, TSize captionSize,
                                            TSkButtonLayout layout, int margin, int spacing);

// Whether the caption holds character as its accelerator ("&x").
bool IsAcceleratorOf(wchar_t character, const std::wstring& caption);

class TSkSpeedButton : public TSkGraphicControl {
 public:
  explicit TSkSpeedButton(TComponent* owner);
  ~TSkSpeedButton() override;

  // The caption is the control's text.

  const TBitmap& Glyph() const { return glyph_; }
  // Copies the picture. A picture whose width is a multiple of its height
  // sets NumGlyphs to width ÷ height when that is below 5, else to 1. An
  // empty picture means no glyph.
  void SetGlyph(const TBitmap& value);
  // Reads a bitmap file at the stream's position; an empty rest of stream
  // clears the glyph (a stored empty picture is no error).
  void LoadGlyphFromStream(TStream& stream);
  int NumGlyphs() const { return numGlyphs_; }
  // 1 … 4.
  void SetNumGlyphs(int value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  TImageList* Images() const { return images_; }
  // Not owned. The reference is cleared when the list is freed by an owner
  // the button shares (the framework notifies within one owner's tree).
  void SetImages(TImageList* value);

  TSkButtonLayout Layout() const { return layout_; }
  void SetLayout(TSkButtonLayout value);
  // -1 centres glyph and caption together.
  int Margin() const { return margin_; }
  void SetMargin(int value);
  // -1 spreads the free room equally.
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  bool Down() const { return down_; }
  void SetDown(bool value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value);
  // Held down, the button clicks again after 400 ms and then every 100 ms.
  bool AllowTimer() const { return allowTimer_; }
  void SetAllowTimer(bool value);
  bool ShowCaption() const { return showCaption_; }
  void SetShowCaption(bool value);
  bool ShowGlyph() const { return showGlyph_; }
  void SetShowGlyph(bool value);
  bool ShowChevron() const { return showChevron_; }
  void SetShowChevron(bool value);
  TSkChevronPos MenuPosition() const { return menuPosition_; }
  void SetMenuPosition(TSkChevronPos value) { menuPosition_ = value; }
  // Shown when the chevron strip is released: below the button, or at its
  // right for dmpRight.
  TSkPopupMenu* ChevronMenu() const { return chevronMenu_; }
  void SetChevronMenu(TSkPopupMenu* value) { chevronMenu_ = value; }
  // Shown at the button's bottom-left corner after each click.
  TSkPopupMenu* DropDownMenu() const { return dropDownMenu_; }
  void SetDropDownMenu(TSkPopupMenu* value) { dropDownMenu_ = value; }
  bool BlackAndWhiteGlyph() const { return blackAndWhiteGlyph_; }
  void SetBlackAndWhiteGlyph(bool value);
  // The parent's background shows through where the button draws nothing.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);

  uint8_t PressState() const { return pressState_; }

  // Nothing while the chevron is pressed; otherwise OnClick.
  void Click() override;

  TNotifyEvent OnChevronClick;
  // A double click, counted only while the button is down.
  TNotifyEvent OnDblClick;

 protected:
  void PaintContent(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

  void SetPressState(uint8_t value) { pressState_ = value; }
  // Whether a mouse button went down on the button and is still held.
  bool MouseHeld() const { return mouseHeld_; }

  // The state byte of each drawing level for the current state.
  uint8_t ToolItemState() const;
  uint8_t ContentState() const;
  int VisualStyleState() const;

 private:
  // The 32-bit glyph for the current state; empty when there is no picture
  // or ShowGlyph is off.
  void BuildGlyph(TskBitmap& target) const;
  TRect ButtonRect() const;
  TRect ChevronRect() const;
  void PaintThemed(TCanvas& canvas, TskTheme& theme, const TskBitmap& glyph, const TSkButtonLayoutResult& layout);
  void PaintVisualStyle(TCanvas& canvas, const TskBitmap& glyph, const TSkButtonLayoutResult& layout);
  void PaintClassic(TCanvas& canvas, const TskBitmap& glyph, const TSkButtonLayoutResult& layout);
  void PaintBackground(HDC dc);
  void PaintChevronArrow(HDC dc, const TRect& rect, TColor colour);
  void StartRepeat();
  void StopRepeat();
  void RepeatTimer(TObject* sender);
  // Tells the siblings of the group that this button went down (those down
  // go up) and what its AllowAllUp is (all take it).
  void NotifyGroup();
  void GroupButtonPressed(int groupIndex, TSkSpeedButton* sender);
  bool HoldsCapture() const;

  TBitmap glyph_;
  int numGlyphs_ = 1;
  int imageIndex_ = -1;
  TImageList* images_ = nullptr;
  TSkButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
  bool flat_ = true;
  bool down_ = false;
  int groupIndex_ = 0;
  bool allowAllUp_ = false;
  bool allowTimer_ = false;
  bool showCaption_ = true;
  bool showGlyph_ = true;
  bool showChevron_ = false;
  TSkChevronPos menuPosition_ = dmpBottom;
  // The menus share the button's owner, whose removal notifications clear
  // these.
  TSkPopupMenu* chevronMenu_ = nullptr;
  TSkPopupMenu* dropDownMenu_ = nullptr;
  bool blackAndWhiteGlyph_ = false;
  bool transparent_ = false;

  uint8_t pressState_ = kPressUp;
  bool mouseHeld_ = false;
  std::unique_ptr<TTimer> repeatTimer_;
};
