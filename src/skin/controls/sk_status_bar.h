// The skinned status bar: a row of panels along the bottom of a form, each
// showing a text (shortened with an ellipsis), an image, or a hosted
// control such as a label.
//
// Panels are laid out whenever the bar is loaded, resized, or its panels or
// controls change: panels of low view priority give way when the bar is too
// narrow, panels with a stretch priority share the room left over, and a
// hosted control takes its panel's rectangle and is shown only while its
// panel is visible.
#pragma once

#include <functional>
#include <string>

#include "forms/components.h"
#include "forms/std_components.h"
#include "skin/controls/sk_controls.h"

class TImageList;
class TSkStatusBar;

enum TSkStatusPanelstyle : uint8_t { psText, psOwnerDraw };
enum TSkGlyphLayout : uint8_t { kglGlyphLeft, kglGlyphRight };

class TSkStatusPanel : public TCollectionItem {
 public:
  TSkStatusPanel() = default;
  ~TSkStatusPanel() override;

  const std::wstring& Text() const { return text_; }
  void SetText(const std::wstring& value);
  int Width() const { return width_; }
  void SetWidth(int value);
  int MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TSkStatusPanelstyle Style() const { return style_; }
  void SetStyle(TSkStatusPanelstyle value);
  bool Framed() const { return framed_; }
  void SetFramed(bool value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  bool ShowImage() const { return showImage_; }
  void SetShowImage(bool value);
  TSkGlyphLayout Layout() const { return layout_; }
  void SetLayout(TSkGlyphLayout value);
  int Margin() const { return margin_; }
  void SetMargin(int value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  // Percentages: panels of view priority 0 are hidden; below 100 they give
  // way when the bar is too narrow. Panels of stretch priority above 0 share
  // the room left over.
  int ViewPriority() const { return viewPriority_; }
  void SetViewPriority(int value);
  int StretchPriority() const { return stretchPriority_; }
  void SetStretchPriority(int value);

  // The control shown in the panel. Fails with EInvalidOperation "Can't
  // insert own parent" for the bar itself or one of its parents; a control
  // hosted by another panel moves here.
  TControl* Control() const { return control_; }
  void SetControl(TControl* control);

  // Where the last layout put the panel (bar coordinates); empty when hidden.
  const TRect& Rect() const { return rect_; }
  bool Showing() const { return showing_; }

 private:
  friend class TSkStatusBar;
  TSkStatusBar* Bar() const;
  void Changed();

  std::wstring text_;
  int width_ = 50;
  int maxWidth_ = 10000;
  TAlignment alignment_ = taLeftJustify;
  TSkStatusPanelstyle style_ = psText;
  bool framed_ = true;
  int imageIndex_ = -1;
  bool showImage_ = true;
  TSkGlyphLayout layout_ = kglGlyphLeft;
  int margin_ = 2;
  int spacing_ = 4;
  int viewPriority_ = 100;
  int stretchPriority_ = 0;
  TControl* control_ = nullptr;
  TRect rect_{};
  bool showing_ = false;
  int currentWidth_ = 0;  // during layout
};

class TSkStatusPanels : public TOwnedCollection<TSkStatusPanel> {
 public:
  explicit TSkStatusPanels(TSkStatusBar* bar);
  TSkStatusBar* Bar() const { return bar_; }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TSkStatusBar* bar_;
};

class TSkStatusBar : public TSkControl {
 public:
  explicit TSkStatusBar(TComponent* owner);
  ~TSkStatusBar() override;

  TSkStatusPanels& Panels() { return *panels_; }
  const TSkStatusPanels& Panels() const { return *panels_; }
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  bool SizeGrip() const { return sizeGrip_; }
  void SetSizeGrip(bool value);

  // The panel hosting control, or nullptr.
  TSkStatusPanel* PanelOf(const TControl* control) const;
  // Runs the panel layout now.
  void LayoutPanels();
  // Whether the size grip is drawn: the bar's bottom-right corner is that of
  // a resizable, not maximised form's client area. A form with a skinned
  // frame is resizable when its frame lets the reader size it (the form's
  // own border style belongs to the frame then).
  bool SizeGripShown() const;
  // The grip's rectangle in the bar's coordinates (empty when not shown).
  TRect ShownSizeGripRect() const;

  std::function<void(TSkStatusBar* bar, TSkStatusPanel* panel, TCanvas& canvas, const TRect& rect)> OnDrawPanel;

  TRect ContentRect() const override;

 protected:
  void PaintFrame(TCanvas& canvas) override;
  void PaintContent(TCanvas& canvas) override;
  void ThemeChanged(TskThemeChange code) override;
  void WndProc(TMessage& message) override;
  void BoundsChanged(bool sizeChanged) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  friend class TSkStatusPanel;
  friend class TSkStatusPanels;
  bool ThemeDefinesBar() const;
  void PaintPanel(TCanvas& canvas, TSkStatusPanel& panel, bool themed);
  void PaintSizeGrip(TCanvas& canvas, bool themed);
  TRect SizeGripRect() const;

  std::unique_ptr<TSkStatusPanels> panels_;
  TImageList* images_ = nullptr;
  bool sizeGrip_ = true;
  TSkStatusPanel* pressed_ = nullptr;
  bool layingOut_ = false;
};

// A text cut to fit width in the canvas's font, ending in "..." when cut.
std::wstring ShortenWithEllipsis(TCanvas& canvas, const std::wstring& text, int width);
